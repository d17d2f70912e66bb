// What AcDbDatabase asks of the engine proper: the drawing model and the four file operations.
// AcDbDatabase adds the test seam and the calling conventions around these.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/acdb.h"

namespace kel::engine {

class Drawing;

struct DrawingDeleter {
  void operator()(Drawing* d) const;
};

using DrawingPtr = std::unique_ptr<Drawing, DrawingDeleter>;

// A new drawing: empty (to be filled by a reader) or with the standard default content.
DrawingPtr newDrawing(bool defaultContent);

Acad::ErrorStatus readDxf(Drawing& d, const char16_t* path, const char16_t* logPath);
Acad::ErrorStatus writeDxf(Drawing& d, const char16_t* path, int precision, int version,
                           bool thumbnail);
Acad::ErrorStatus readDwg(Drawing& d, const char16_t* path, int shareMode);
Acad::ErrorStatus writeDwg(Drawing& d, const char16_t* path, int version, bool backupAndRename);

uint64_t handseed(const Drawing& d);

// The four header settings the conversions suspend around a write.
struct SaveSettings {
  int16_t saveProxyGraphics = 1;
  uint8_t indexCtl = 0;
  uint8_t drawOrderCtl = 3;
  uint8_t updateThumbnail = 0;
};
SaveSettings& saveSettings(Drawing& d);

}  // namespace kel::engine
