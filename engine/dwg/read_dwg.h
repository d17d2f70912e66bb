// Reading a DWG file (R13..R2018) into the drawing model, so that the model looks as if it had been
// read from the equivalent DXF file: header variables, classes, tables, blocks with their
// entities, model and paper space entities, objects, names where DXF uses names.
#pragma once
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/bits.h"
#include "engine/model/drawing.h"

namespace kel::dwg {

// What a read found, for tests and diagnostics.
struct DwgReadInfo {
  Version version = Version::R2000;
  size_t objects = 0;       // records in the object map
  size_t decoded = 0;       // records whose type part was understood
  size_t raw = 0;           // records kept as raw bits (no description, or it did not fit)
  size_t unreadable = 0;    // records whose common part could not be read (skipped)
  size_t crcErrors = 0;     // records with a bad CRC (still decoded)
  std::map<std::string, size_t> rawTypes;  // DWG type name -> records kept raw
  // Raw records by handle: their DWG type number and bytes, for a DWG re-save.
  std::map<kel::engine::Handle, std::pair<uint16_t, std::vector<uint8_t>>> rawRecords;
};

// Reads the DWG file at `path` (opened with `shareMode`, e.g. 32 = deny writers; when that lock
// cannot be taken the file is read anyway) into the empty drawing `d`.
// Results: eOk; eFileNotFound; eCantOpenFile; eInvalidDwgVersion (before R13, or not DWG);
// eBadDwgHeader; eDwgCRCDoesNotMatch / eDwgNeedsRecovery for damaged structures.
Acad::ErrorStatus readDwgInto(kel::engine::Drawing& d, const char16_t* path, int shareMode,
                              DwgReadInfo* info = nullptr);

// The same from the file's bytes.
Acad::ErrorStatus readDwgBytes(kel::engine::Drawing& d, std::span<const uint8_t> file, DwgReadInfo* info = nullptr);

}  // namespace kel::dwg
