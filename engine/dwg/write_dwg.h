// Writing a drawing as an AC1027 (R2013) DWG file.
//
// The drawing's records are encoded one by one (objects_write.h) into the objects section; the
// header variables, classes, object map and the small bookkeeping sections are built here, and
// container2004's writer lays the file out. The file is written beside the target under a
// temporary name and renamed into place only once it is complete.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/model/drawing.h"

namespace kel::dwg {

// What a write did, for logs and tests.
struct DwgWriteInfo {
  size_t written = 0;                      // object records in the file
  size_t skipped = 0;                      // records left out (no DWG form the writer knows)
  std::map<std::string, size_t> skippedTypes;
  std::vector<std::string> notes;          // one log line per kind of record left out
};

// Builds the complete file in memory.
Acad::ErrorStatus writeDwgBytes(engine::Drawing& d, std::vector<uint8_t>& file, DwgWriteInfo* info = nullptr);

// Writes `d` to `path` as a DWG file of `version` (only 31, AC1027, is written; others answer
// eInvalidDwgVersion). With `backupAndRename` an existing file becomes "<name>.bak" once the new
// file is complete. A failed save leaves the old file untouched.
Acad::ErrorStatus writeDwgFrom(engine::Drawing& d, const char16_t* path, int version, bool backupAndRename,
                               DwgWriteInfo* info = nullptr);

}  // namespace kel::dwg
