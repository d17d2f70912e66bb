// DXF in and out on memory, under the file operations of engine/io.h (readDxf, writeDxf). Used by
// the fuzz target and the benchmarks.
#pragma once
#include <string>
#include <string_view>

#include "engine/acadstrc.h"
#include "engine/model/drawing.h"

namespace kel::engine::dxf {

// Imports a whole DXF file's bytes; the same statuses and log lines as readDxf.
Acad::ErrorStatus readDxfData(Drawing& d, std::string_view data, const char16_t* logPath);
// The drawing as AC1027 ASCII DXF text with the given number of significant digits.
std::string dxfText(Drawing& d, int precision);

}  // namespace kel::engine::dxf
