// The sections of an AC1027 file other than the objects: header variables, classes, the object
// map, and the small bookkeeping sections (auxiliary header, preview, summary, application info,
// file dependencies, revision history, template, free space).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/dwg/bits.h"
#include "engine/dwg/objects.h"
#include "engine/dwg/objects_write.h"
#include "engine/model/drawing.h"

namespace kel::dwg {

// Header values the drawing's DXF variables do not carry: the handles of the records the file
// links from its header.
struct HeaderLinks {
  std::map<std::string, Handle> handles;  // "_BLOCK_CONTROL", "_DICTIONARY_LAYOUT", ... (def names)
  Handle seed = 1;                        // the next free handle
};

// The framed header-variables section (sentinels, sizes, CRC) in the variable order of
// header_vars_dwg.def.
std::vector<uint8_t> writeHeaderSection(const engine::Drawing& d, const HeaderLinks& links, const WriteContext& ctx);

// The framed classes section. Classes are numbered from 500 in list order.
std::vector<uint8_t> writeClassesSection(const std::vector<DwgClass>& classes, Version v);

// The object map: (handle, offset) pairs sorted by handle, in CRC-checked chunks.
std::vector<uint8_t> writeObjectMap(std::vector<std::pair<Handle, uint64_t>> entries);

// Julian day and milliseconds of a DXF date (days with fraction).
void julian(double dxfDate, uint32_t& day, uint32_t& ms);

struct FileInfo {
  double created = 2451544.5;   // DXF dates
  double updated = 2451544.5;
  Handle seed = 1;
  size_t objects = 0;
  int measurement = 0;
  std::string lastSavedBy;
  std::vector<uint8_t> thumbnail;  // BMP picture (without file header) or empty
};
std::vector<uint8_t> writeAuxHeader(const FileInfo& f);
std::vector<uint8_t> writePreview(const FileInfo& f);
std::vector<uint8_t> writeSummaryInfo(const FileInfo& f);
std::vector<uint8_t> writeAppInfo();
std::vector<uint8_t> writeFileDepList();
std::vector<uint8_t> writeRevHistory();
std::vector<uint8_t> writeTemplate(const FileInfo& f);
std::vector<uint8_t> writeObjFreeSpace(const FileInfo& f);

// A small picture of the drawing's model space (line work in black on white), as a device-
// independent bitmap of `size` x `size` pixels, 8 bits per pixel.
std::vector<uint8_t> renderThumbnail(const engine::Drawing& d, int size = 64);

}  // namespace kel::dwg
