// libFuzzer target for the DXF reader: any bytes are imported into a fresh drawing; whatever is
// accepted is written out as AC1027 and read back, which must succeed as well. Every record of a
// modelled type also goes through its typed view (read, written, read again): odd values may
// change on the way, but nothing may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"
#include "engine/model/entities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kel::engine;
  DrawingPtr d = newDrawing(false);
  Acad::ErrorStatus es = dxf::readDxfData(*d, std::string_view(reinterpret_cast<const char*>(data), size), nullptr);
  if (es != Acad::eOk && es != Acad::eDxfPartiallyRead) return 0;
  std::string why;
  d->forEachObject([&](const Object& o) {
    if (const ViewInfo* v = viewOf(o.type)) v->roundTrip(o, why);
  });
  const std::string text = dxf::dxfText(*d, 16);
  DrawingPtr back = newDrawing(false);
  if (dxf::readDxfData(*back, text, nullptr) != Acad::eOk) __builtin_trap();  // our own output must read
  return 0;
}
