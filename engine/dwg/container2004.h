// The file container of R2004-family drawings (AC1018, AC1024, AC1027, AC1032).
//
// Such a file is a 0x100-byte header (plain fields, then 0x6C bytes masked with a fixed
// pseudo-random sequence) followed by pages. Two system pages describe the rest: the page map
// (page number and size of every page, in file order, from address 0x100 on) and the section map
// (every named section with the pages that hold it). Data pages carry a masked 32-byte header and
// usually compressed data; each page holds up to 0x7400 bytes of its section.
//
// Container2004 reads such a file and reassembles each named section into one buffer, checking
// every size, offset and checksum. writeContainer2004 lays out an AC1027 file from section buffers.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/acadstrc.h"

namespace kel::dwg {

// Section names as the files spell them.
inline constexpr std::string_view kSectionHeader = "AcDb:Header";
inline constexpr std::string_view kSectionAuxHeader = "AcDb:AuxHeader";
inline constexpr std::string_view kSectionClasses = "AcDb:Classes";
inline constexpr std::string_view kSectionHandles = "AcDb:Handles";
inline constexpr std::string_view kSectionTemplate = "AcDb:Template";
inline constexpr std::string_view kSectionObjFreeSpace = "AcDb:ObjFreeSpace";
inline constexpr std::string_view kSectionObjects = "AcDb:AcDbObjects";
inline constexpr std::string_view kSectionRevHistory = "AcDb:RevHistory";
inline constexpr std::string_view kSectionSummaryInfo = "AcDb:SummaryInfo";
inline constexpr std::string_view kSectionPreview = "AcDb:Preview";
inline constexpr std::string_view kSectionAppInfo = "AcDb:AppInfo";
inline constexpr std::string_view kSectionAppInfoHistory = "AcDb:AppInfoHistory";
inline constexpr std::string_view kSectionPrototype = "AcDb:AcDsPrototype_1b";
inline constexpr std::string_view kSectionFileDepList = "AcDb:FileDepList";

inline constexpr uint32_t kPageMapType = 0x41630E3B;
inline constexpr uint32_t kSectionMapType = 0x4163003B;
inline constexpr uint32_t kDataPageType = 0x4163043B;
inline constexpr uint32_t kMaxPageData = 0x7400;

// The masking sequence of the file header and the filler of page padding: byte i of the
// sequence (an LCG seeded with 1).
uint8_t maskByte2004(size_t i);

// The header fields, plain and decrypted.
struct FileHeader2004 {
  std::array<uint8_t, 0x80> plain{};  // bytes 0x00-0x7F as stored
  std::string version;                // "AC1018" ...
  uint8_t maintenance = 0;            // byte 0x0B
  uint16_t codepage = 0;              // bytes 0x13-0x14
  uint32_t securityFlags = 0;         // bytes 0x18-0x1B
  // The decrypted block at 0x80.
  uint32_t lastPageId = 0;
  uint64_t lastPageEnd = 0;           // relative to 0x100
  uint64_t secondHeaderAddress = 0;   // file offset of the header copy
  uint32_t gapCount = 0;
  uint32_t pageCount = 0;
  uint32_t pageMapId = 0;
  uint64_t pageMapAddress = 0;        // relative to 0x100
  uint32_t sectionMapId = 0;
  uint32_t pageArraySize = 0;
  uint32_t gapArraySize = 0;
  uint32_t crc = 0;                   // CRC-32 of the block with this field zeroed
};

// One entry of the page map: a page (number > 0) or a gap (number < 0) and where it sits.
struct PageEntry2004 {
  int32_t number = 0;
  uint32_t size = 0;
  uint64_t address = 0;  // file offset
};

struct SectionPage2004 {
  uint32_t number = 0;
  uint32_t dataSize = 0;  // bytes stored in the page (compressed size for compressed sections)
  uint64_t offset = 0;    // where the page's data starts within the section
};

struct Section2004 {
  std::string name;
  uint32_t id = 0;
  uint64_t size = 0;          // declared size of the whole section
  uint32_t maxPageSize = 0;   // bytes of section data one page holds
  uint32_t compression = 0;   // 1 stored, 2 compressed
  uint32_t encryption = 0;    // 0 none, 1 encrypted, 2 unknown (treated as none)
  std::vector<SectionPage2004> pages;
};

class Container2004 {
 public:
  // Parses the header, the page map and the section map of the whole file `file`, which must stay
  // alive and unchanged while this object is used.
  // Results: eOk; eDwgCRCDoesNotMatch when all structures are usable but a checksum (header CRC,
  // system page) is wrong - the container can still be read; eInvalidDwgVersion for a file that
  // is not of the R2004 family; eBadDwgHeader when the header cannot be decoded; eDwgNeedsRecovery
  // when a map is missing, truncated or inconsistent (nothing can be read then).
  Acad::ErrorStatus open(std::span<const uint8_t> file);

  bool isOpen() const { return open_; }
  const FileHeader2004& header() const { return header_; }
  const std::vector<PageEntry2004>& pages() const { return pages_; }
  const std::vector<Section2004>& sections() const { return sections_; }
  const Section2004* find(std::string_view name) const;

  // Reassembles a section into `out` (exactly its declared size).
  // Results: eOk; eDwgCRCDoesNotMatch when a page checksum is wrong (the data is still delivered);
  // eKeyNotFound for an unknown name; eNotImplementedYet for encrypted sections; eDwgNeedsRecovery
  // when a page is missing, lies outside the file, disagrees with the map or does not decompress,
  // or the pages do not cover the section (out is then empty). A section declared without pages
  // (some writers list AcDb:Template so) reads as empty with eOk.
  Acad::ErrorStatus read(const Section2004& section, std::vector<uint8_t>& out) const;
  Acad::ErrorStatus read(std::string_view name, std::vector<uint8_t>& out) const;

 private:
  Acad::ErrorStatus readSystemPage(uint64_t address, uint32_t type, std::vector<uint8_t>& out,
                                   bool& checksumOk) const;
  const PageEntry2004* findPage(uint32_t number) const;

  std::span<const uint8_t> file_;
  FileHeader2004 header_;
  std::vector<PageEntry2004> pages_;
  std::vector<std::pair<uint32_t, uint32_t>> index_;  // page number -> position in pages_, sorted
  std::vector<Section2004> sections_;
  bool open_ = false;
};

// A named section to be written. Which sections are stored compressed and where they go in the
// file follow the reference application's AC1027 files; unknown names are compressed and placed
// after the known ones.
struct SectionInput2004 {
  std::string name;
  std::span<const uint8_t> data;
};

struct WriteOptions2004 {
  // Readers expect the extra size field in the Header and Classes sections when this is above 3.
  uint8_t maintenance = 0x08;
  uint8_t appVersion = 0x1F;      // the writing application's format number (31 = AC1027)
  uint8_t appMaintenance = 0x08;
  uint16_t codepage = 30;         // ANSI_1252
};

// Lays out a complete AC1027 file from `sections` into `file` (replacing its contents).
// Results: eOk; eInvalidInput for an empty or duplicate name or a name longer than 63 bytes.
Acad::ErrorStatus writeContainer2004(std::span<const SectionInput2004> sections,
                                     const WriteOptions2004& options, std::vector<uint8_t>& file);

// Lays out an AC1027 file one section at a time, in file order, so that a large section can be
// handed over in pieces while it is being produced: each page is compressed into the file as soon
// as it is full, and neither the whole section nor a compressed copy of it is held. The file is the
// same, byte for byte, as writeContainer2004 makes of the same sections.
class ContainerWriter2004 {
 public:
  // `names` lists every section the file will hold (the section ids follow from the whole set);
  // `file` is cleared and receives the layout. `reserveHint` is the expected file size.
  ContainerWriter2004(std::span<const std::string> names, const WriteOptions2004& options,
                      std::vector<uint8_t>& file, size_t reserveHint = 0);

  // eOk, or eInvalidInput once a name is empty, repeated or longer than 63 bytes, or a section is
  // handed over out of order (every later call then does nothing and finish answers the same).
  Acad::ErrorStatus status() const { return status_; }
  // The section names in the order their data must be handed over.
  std::vector<std::string> order() const;

  // Starts the next section, which must be the one `name` names; the previous one ends.
  bool begin(std::string_view name);
  // Adds data to the section begun last.
  void append(std::span<const uint8_t> data);
  // A whole section at once.
  bool add(std::string_view name, std::span<const uint8_t> data);
  // Ends the last section and writes the section map, the page map and the file header. Every
  // section must have been handed over. Called once.
  Acad::ErrorStatus finish();

 private:
  struct Planned {
    std::string name;
    uint32_t id = 0;
    bool compressed = true;
    uint32_t maxPageSize = kMaxPageData;
    uint64_t size = 0;    // bytes handed over so far
    uint64_t paged = 0;   // bytes of them already in pages
    std::vector<SectionPage2004> pages;
    uint64_t firstDataAddress = 0;
  };
  void emitPage(Planned& p, std::span<const uint8_t> page);
  void endSection();
  void grow(size_t extra);

  const WriteOptions2004 options_;
  std::vector<uint8_t>& file_;
  std::vector<Planned> plan_;           // in file order
  std::vector<size_t> byId_;            // places in plan_, by ascending id
  size_t next_ = 0;                     // the section begin() expects
  Planned* current_ = nullptr;
  std::vector<uint8_t> pending_;        // a compressed section's unfilled page; a stored one whole
  std::vector<std::pair<uint32_t, uint32_t>> pageMap_;  // number, size
  Acad::ErrorStatus status_ = Acad::eOk;
  bool finished_ = false;
};

}  // namespace kel::dwg
