// The file container of R13, R14 and R2000 drawings (AC1012, AC1014, AC1015).
//
// Layout of such a file:
//   0x00  version tag "AC1012" / "AC1014" / "AC1015", then a few bytes (maintenance version,
//         preview address, writer version, code page)
//   0x15  number of section locator records, then the records (number, file offset, size), a
//         CRC-16 of everything before it (seed 0, then XOR-ed with a constant that depends on the
//         record count) and the file-header end sentinel
//   ...   the sections the records point to: header variables (0), classes (1), object map (2),
//         and the optional object free space (3), template (4) and, from R2000, the auxiliary
//         header (5); the preview image at the preview address; the second file header right
//         after the object map (or after the free-space record where that follows the map).
//
// The header variables and classes are "framed": start sentinel, 32-bit size, payload, CRC-16
// (seed 0xC0C1, over size and payload), end sentinel. The object map is a run of chunks, each a
// big-endian 16-bit size (counting itself), pairs of modular values (handle delta, offset delta,
// both starting from 0 in every chunk) and a big-endian CRC-16 of size and pairs; a chunk of size
// 2 ends the map.
//
// Nothing read from the file is trusted: every offset and size is checked against the file, and
// every check that fails becomes a status. The views point into the caller's bytes, which must
// outlive the container.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/bits.h"

namespace kel::dwg {

// Record numbers of the section locator table.
enum class Locator2000 : uint8_t {
  Header = 0,
  Classes = 1,
  ObjectMap = 2,
  ObjFreeSpace = 3,
  Template = 4,
  AuxHeader = 5,
};

struct SectionLocator2000 {
  uint8_t number = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

// One region of the file and what its checks found. `record` is the whole region as located,
// `data` its payload (inside the framing where there is one). `status` is eOk when every check
// passed; when `present` is false the region is absent and the views are empty.
struct FileRegion {
  bool present = false;
  uint64_t offset = 0;
  std::span<const uint8_t> record;
  std::span<const uint8_t> data;
  Acad::ErrorStatus status = Acad::eOk;
};

// One entry of an object map: an object's handle and where its record starts (file offset for
// R13-R2000, offset in the objects section from R2004 on).
struct ObjectMapEntry {
  uint64_t handle = 0;
  uint64_t offset = 0;
  bool operator==(const ObjectMapEntry&) const = default;
};

// The sentinels of the framed regions (the end sentinel is the bytewise complement of the start).
using DwgSentinel = std::array<uint8_t, 16>;
extern const DwgSentinel kSentinelFileHeaderEnd;
extern const DwgSentinel kSentinelHeaderVars;
extern const DwgSentinel kSentinelClasses;
extern const DwgSentinel kSentinelPreview;
extern const DwgSentinel kSentinelSecondHeader;
DwgSentinel complementOf(const DwgSentinel& s);

// Checks a framed region (start sentinel, size, payload, CRC, end sentinel) held in `bytes`; bytes
// after the end sentinel are allowed (padding). On success or CRC failure `payload` is the payload.
Acad::ErrorStatus checkFramedRegion(std::span<const uint8_t> bytes, const DwgSentinel& start,
                              std::span<const uint8_t>* payload);

// Decodes an object map. Offsets must be below `offsetLimit`. Decoding goes on past a chunk with a
// bad CRC (the status then says so) but stops at the first structural fault; `out` holds the
// entries read so far. Handles must strictly increase.
Acad::ErrorStatus decodeObjectMap(std::span<const uint8_t> map, uint64_t offsetLimit,
                                  std::vector<ObjectMapEntry>& out);

// The record of the object at `offset` in `bytes`: modular-short size, data, CRC-16 (seed 0xC0C1).
// `record` receives the data bytes. The CRC is checked.
Acad::ErrorStatus readObjectRecord(std::span<const uint8_t> bytes, uint64_t offset,
                                 std::span<const uint8_t>* record);

struct Container2000 {
  Version version = Version::R2000;
  uint8_t maintenanceVersion = 0;
  uint32_t previewAddress = 0;
  uint8_t writerVersion = 0;
  uint8_t writerMaintenance = 0;
  uint16_t codePage = 0;
  std::vector<SectionLocator2000> locators;
  Acad::ErrorStatus fileHeaderStatus = Acad::eOk;

  FileRegion header;        // header variables (framed)
  FileRegion classes;       // classes (framed)
  FileRegion objectMap;     // object map; `data` is the whole map
  FileRegion objFreeSpace;  // raw
  FileRegion templ;         // raw
  FileRegion auxHeader;     // raw (R2000)
  FileRegion preview;       // `data`: between the size and the end sentinel
  FileRegion secondHeader;  // `data`: from its size field up to its CRC

  std::vector<ObjectMapEntry> objects;

  // The first failure among the file header, header variables, classes and object map: what a
  // reader needs. eOk means all of them are sound.
  Acad::ErrorStatus status = Acad::eOk;
  // The first failure among the optional regions (preview, auxiliary and second header, ...).
  Acad::ErrorStatus optionalStatus = Acad::eOk;
};

// The version of a file from its first six bytes, for AC1012..AC1032; false for anything else.
bool dwgVersionFromTag(std::span<const uint8_t> file, Version* v);

// Reads the container of an R13-R2000 file. Returns `out.status`, or a fatal status (not a
// DWG file, another format family, unreadable locator table) with `out` partly filled.
Acad::ErrorStatus readContainer2000(std::span<const uint8_t> file, Container2000& out);

}  // namespace kel::dwg
