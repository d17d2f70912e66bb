// The engine's DWG entry points: the DWG reader (R13..R2018) and the AC1027 writer.
#include "engine/dwg/read_dwg.h"
#include "engine/dwg/write_dwg.h"
#include "engine/io.h"

namespace kel::engine {

Acad::ErrorStatus readDwg(Drawing& d, const char16_t* path, int shareMode) {
  return kel::dwg::readDwgInto(d, path, shareMode);
}
Acad::ErrorStatus writeDwg(Drawing& d, const char16_t* path, int version, bool backupAndRename) {
  return kel::dwg::writeDwgFrom(d, path, version, backupAndRename);
}

}  // namespace kel::engine
