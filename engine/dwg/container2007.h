// The file container of R2007 drawings (AC1021).
//
// Layout of such a file:
//   0x000  version tag "AC1021" and a few plain fields (maintenance version, preview address,
//          writer version, code page, security flags, addresses of the summary info, VBA project
//          and application info pages)
//   0x080  the file header proper: 0x3D8 bytes holding three Reed-Solomon code words (see rs.h)
//          whose data bytes carry a 32-byte prefix and the (usually compressed) 0x110-byte header
//          of 34 little-endian 64-bit fields
//   0x480  pages, one after another: page k starts at 0x480 plus the sizes of the pages before it
//          in the pages map.
// The pages map and the sections map are system pages: compressed, written `correction` times
// over, then Reed-Solomon coded with 239 data bytes per word. The pages map lists (size, id) per
// page; the sections map lists each named section ("AcDb:Header", ...) with its pages, each page
// giving its offset in the section, its compressed and uncompressed sizes. Data pages are coded
// with 251 data bytes per word (encoding 4) or stored plain (encoding 1), and compressed when
// their compressed size is below their uncompressed size.
//
// R2007 has its own compression, unlike R2004's: see decompress2007.
//
// Nothing read from the file is trusted; every size, offset, count and id is checked against the
// file, and all decompressed output together is held to a budget tied to the file size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/container2000.h"
#include "engine/dwg/rs.h"

namespace kel::dwg {

// Decompresses one R2007 stream into `dst`. Returns false for a malformed stream or one that would
// write past `dst` or copy from before its start; `*produced` is the number of bytes written.
bool decompress2007(std::span<const uint8_t> src, std::span<uint8_t> dst, size_t* produced);

// The decoded file header, fields in file order.
struct FileHeader2007 {
  int64_t headerSize, fileSize, pagesMapCrcCompressed, pagesMapCorrection, pagesMapCrcSeed,
      pagesMap2Offset, pagesMap2Id, pagesMapOffset, pagesMapId, header2Offset,
      pagesMapSizeCompressed, pagesMapSizeUncompressed, pagesAmount, pagesMaxId, unknown20,
      unknown40, pagesMapCrcUncompressed, unknownF800, unknown4, unknown1, sectionsAmount,
      sectionsMapCrcUncompressed, sectionsMapSizeCompressed, sectionsMap2Id, sectionsMapId,
      sectionsMapSizeUncompressed, sectionsMapCrcCompressed, sectionsMapCorrection,
      sectionsMapCrcSeed, streamVersion, crcSeed, crcSeedEncoded, randomSeed, headerCrc;
};
static_assert(sizeof(FileHeader2007) == 0x110);

// A page of the pages map. Negative ids mark unused space.
struct Page2007 {
  int64_t id = 0;
  uint64_t offset = 0;  // file offset
  uint64_t size = 0;    // bytes in the file
};

// A page of a section, as the sections map describes it.
struct SectionPage2007 {
  uint64_t offset = 0;  // where its data goes in the section
  uint64_t size = 0;
  int64_t id = 0;
  uint64_t uncompressedSize = 0;
  uint64_t compressedSize = 0;
  uint64_t checksum = 0;
  uint64_t crc = 0;
};

struct Section2007 {
  std::u16string name;  // without the terminating NUL
  uint64_t dataSize = 0;
  uint64_t maxPageSize = 0;
  int64_t encrypted = 0;
  int64_t hash = 0;
  int64_t encoding = 0;  // 1: plain pages, 4: Reed-Solomon coded pages
  std::vector<SectionPage2007> pages;
  std::vector<uint8_t> data;  // reassembled and decompressed; empty when status is not eOk
  Acad::ErrorStatus status = Acad::eOk;
};

struct Limits2007 {
  // Most bytes all decompressed system pages and sections may take together, counting also the
  // bytes each page decodes on the way; 0 chooses 64 times the file size plus 16 MiB, at most 1 GiB.
  uint64_t maxTotalBytes = 0;
};

struct Container2007 {
  uint8_t maintenanceVersion = 0;
  uint32_t previewAddress = 0;
  uint8_t writerVersion = 0;
  uint8_t writerMaintenance = 0;
  uint16_t codePage = 0;
  uint32_t securityFlags = 0;
  uint32_t summaryInfoAddress = 0;
  uint32_t vbaProjectAddress = 0;
  uint32_t appInfoAddress = 0;

  FileHeader2007 header{};
  rs::DecodeResult repairs;  // Reed-Solomon repairs over everything read
  std::vector<Page2007> pages;
  std::vector<Section2007> sections;
  std::vector<ObjectMapEntry> objects;  // from AcDb:Handles; offsets into AcDb:AcDbObjects

  Acad::ErrorStatus fileHeaderStatus = Acad::eOk;  // file header, pages map, sections map
  // The first failure among the file header, the maps and the sections a reader needs (header
  // variables, classes, object map, objects) with their sentinels and CRCs.
  Acad::ErrorStatus status = Acad::eOk;
  // The first failure among the other sections.
  Acad::ErrorStatus optionalStatus = Acad::eOk;

  const Section2007* find(std::u16string_view name) const;
  // The reassembled bytes of a section; empty when absent or damaged.
  std::span<const uint8_t> sectionData(std::u16string_view name) const;
  // Moves a section's bytes out (for a reader that keeps them beyond the container); the section
  // is left empty. Empty when absent or damaged.
  std::vector<uint8_t> takeSectionData(std::u16string_view name);
};

// Reads the container of an R2007 file and reassembles all its sections. Returns `out.status`,
// or a fatal status (not a DWG file, another format family, unreadable header or maps) with `out`
// partly filled.
Acad::ErrorStatus readContainer2007(std::span<const uint8_t> file, Container2007& out,
                                    const Limits2007& limits = {});

}  // namespace kel::dwg
