// Random drawings (the fuzz input read as DXF) through the AC1027 writer; the result must reopen
// with the R2004-family container reader and the DWG reader without a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/dwg/container2004.h"
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/dxf/dxf.h"
#include "engine/io.h"
#include "engine/model/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto d = kel::engine::newDrawing(false);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (kel::engine::dxf::readDxfData(*d, text, nullptr) != Acad::eOk) return 0;
  std::vector<uint8_t> file;
  if (kel::dwg::writeDwgBytes(*d, file) != Acad::eOk) return 0;
  kel::dwg::Container2004 c;
  if (c.open(file) != Acad::eOk) __builtin_trap();  // our own output must always reopen
  for (const auto& s : c.sections()) {
    std::vector<uint8_t> out;
    if (!s.name.empty() && c.read(s, out) != Acad::eOk) __builtin_trap();
  }
  kel::engine::Drawing back;
  kel::dwg::readDwgBytes(back, file);
  return 0;
}
