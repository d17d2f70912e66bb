// libFuzzer target for the DXF reader: any bytes are imported into a fresh drawing; whatever is
// accepted is written out as AC1027 and read back, which must succeed as well.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kel::engine;
  DrawingPtr d = newDrawing(false);
  Acad::ErrorStatus es = dxf::readDxfData(*d, std::string_view(reinterpret_cast<const char*>(data), size), nullptr);
  if (es != Acad::eOk && es != Acad::eDxfPartiallyRead) return 0;
  const std::string text = dxf::dxfText(*d, 16);
  DrawingPtr back = newDrawing(false);
  if (dxf::readDxfData(*back, text, nullptr) != Acad::eOk) __builtin_trap();  // our own output must read
  return 0;
}
