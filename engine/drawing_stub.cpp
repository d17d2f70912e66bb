// Placeholder engine: a drawing that only knows its four save settings and its handle seed.
// The readers and writers answer eNotImplementedYet until the DXF and DWG engines land.
#include "engine/io.h"

namespace kel::engine {

class Drawing {
 public:
  SaveSettings settings;
  uint64_t seed = 1;
};

void DrawingDeleter::operator()(Drawing* d) const { delete d; }

DrawingPtr newDrawing(bool) { return DrawingPtr(new Drawing); }

Acad::ErrorStatus readDxf(Drawing&, const char16_t*, const char16_t*) { return Acad::eNotImplementedYet; }
Acad::ErrorStatus writeDxf(Drawing&, const char16_t*, int, int, bool) { return Acad::eNotImplementedYet; }
Acad::ErrorStatus readDwg(Drawing&, const char16_t*, int) { return Acad::eNotImplementedYet; }
Acad::ErrorStatus writeDwg(Drawing&, const char16_t*, int, bool) { return Acad::eNotImplementedYet; }

uint64_t handseed(const Drawing& d) { return d.seed; }
SaveSettings& saveSettings(Drawing& d) { return d.settings; }

}  // namespace kel::engine

#include "engine/info.h"
namespace kel::engine {
std::string describe(const AcDbDatabase& db, bool json) {
  return json ? "{\"handseed\":\"" + std::to_string(db.handseed().value()) + "\"}" : "handseed " + std::to_string(db.handseed().value());
}
}  // namespace kel::engine
