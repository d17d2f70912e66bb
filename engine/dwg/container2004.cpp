#include "engine/dwg/container2004.h"

#include <algorithm>
#include <cstring>

#include "engine/dwg/crc.h"
#include "engine/dwg/lz77.h"

namespace kel::dwg {

namespace {

constexpr size_t kHeaderSize = 0x100;
constexpr size_t kMaskedOffset = 0x80;
constexpr size_t kMaskedSize = 0x6C;
constexpr size_t kSystemHeaderSize = 20;
constexpr size_t kDataHeaderSize = 32;
constexpr uint32_t kDataMaskSeed = 0x4164536B;
constexpr size_t kNameSize = 64;
constexpr size_t kSectionEntrySize = 8 + 6 * 4 + kNameSize;  // 96 bytes before its page list
constexpr size_t kSectionPageSize = 16;
// Limits on sizes the file declares, so a damaged or hostile file cannot make us allocate freely.
constexpr uint32_t kMaxSystemData = 0x1000000;  // 16 MB of page or section map
constexpr uint32_t kMaxPageDataLimit = 0x100000;
const char kSignature[12] = {'A', 'c', 'F', 's', 's', 'F', 'c', 'A', 'J', 'M', 'B', '\0'};

// The masking sequence: an LCG (multiplier 0x343FD, increment 0x269EC3) seeded with 1, taking
// bits 16..23 of each state. Page padding reuses its first bytes, so 0x8000 of them are kept.
struct MaskTable {
  std::array<uint8_t, 0x8000> bytes{};
  MaskTable() {
    uint32_t r = 1;
    for (auto& b : bytes) {
      r = r * 0x343FD + 0x269EC3;
      b = uint8_t(r >> 16);
    }
  }
};

const MaskTable& maskTable() {
  static const MaskTable table;
  return table;
}

uint32_t rl(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t rll(const uint8_t* p) { return uint64_t(rl(p)) | (uint64_t(rl(p + 4)) << 32); }
uint16_t rs(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

void putRl(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void putRll(uint8_t* p, uint64_t v) {
  putRl(p, uint32_t(v));
  putRl(p + 4, uint32_t(v >> 32));
}
void appendRl(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  putRl(b, v);
  out.insert(out.end(), b, b + 4);
}
void appendRll(std::vector<uint8_t>& out, uint64_t v) {
  appendRl(out, uint32_t(v));
  appendRl(out, uint32_t(v >> 32));
}

void appendPadding(std::vector<uint8_t>& out, size_t count) {
  const auto& m = maskTable().bytes;
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(count - done, m.size());
    out.insert(out.end(), m.begin(), m.begin() + ptrdiff_t(n));
    done += n;
  }
}

size_t roundUp(size_t v, size_t unit) { return (v + unit - 1) / unit * unit; }

bool isR2004Family(std::string_view v) {
  return v == "AC1018" || v == "AC1024" || v == "AC1027" || v == "AC1032";
}

// The page's 32-byte header is masked, one 32-bit word at a time, with a value tied to its address.
void maskDataHeader(uint8_t* h, uint64_t address) {
  uint32_t mask = kDataMaskSeed ^ uint32_t(address);
  for (size_t i = 0; i < kDataHeaderSize; i += 4) putRl(h + i, rl(h + i) ^ mask);
}

// Checksum of a system page: the header with its checksum zeroed, continued over the data.
uint32_t systemPageChecksum(const uint8_t* header, const uint8_t* data, size_t size) {
  uint8_t h[kSystemHeaderSize];
  std::memcpy(h, header, sizeof h);
  putRl(h + 16, 0);
  return checksum2004(checksum2004(0, h, sizeof h), data, size);
}

// Checksums of a data page: the data sum seeded with 0, then the header (its own checksum field
// zeroed) summed on from the data sum.
uint32_t dataPageHeaderChecksum(const uint8_t* plainHeader, uint32_t dataChecksum) {
  uint8_t h[kDataHeaderSize];
  std::memcpy(h, plainHeader, sizeof h);
  putRl(h + 24, 0);
  return checksum2004(dataChecksum, h, sizeof h);
}

}  // namespace

uint8_t maskByte2004(size_t i) {
  const auto& m = maskTable().bytes;
  return m[i % m.size()];
}

// -----------------------------------------------------------------------------------------------
// Reading

const Section2004* Container2004::find(std::string_view name) const {
  for (const auto& s : sections_)
    if (s.name == name) return &s;
  return nullptr;
}

const PageEntry2004* Container2004::findPage(uint32_t number) const {
  auto it = std::lower_bound(index_.begin(), index_.end(), std::make_pair(number, uint32_t(0)));
  if (it == index_.end() || it->first != number) return nullptr;
  return &pages_[it->second];
}

Acad::ErrorStatus Container2004::readSystemPage(uint64_t address, uint32_t type,
                                                std::vector<uint8_t>& out, bool& checksumOk) const {
  out.clear();
  if (address > file_.size() || file_.size() - address < kSystemHeaderSize)
    return Acad::eDwgNeedsRecovery;
  const uint8_t* h = file_.data() + address;
  uint32_t pageType = rl(h), dataSize = rl(h + 4), storedSize = rl(h + 8), method = rl(h + 12);
  uint32_t checksum = rl(h + 16);
  if (pageType != type || dataSize > kMaxSystemData) return Acad::eDwgNeedsRecovery;
  if (storedSize > file_.size() - address - kSystemHeaderSize) return Acad::eDwgNeedsRecovery;
  const uint8_t* data = h + kSystemHeaderSize;
  checksumOk = systemPageChecksum(h, data, storedSize) == checksum;
  if (method == 2) {
    out.resize(dataSize);
    DecompressResult r = decompress2004({data, storedSize}, out);
    if (!r.ok || r.produced != dataSize) {
      out.clear();
      return Acad::eDwgNeedsRecovery;
    }
  } else if (method == 1 && storedSize == dataSize) {
    out.assign(data, data + dataSize);
  } else {
    return Acad::eDwgNeedsRecovery;
  }
  return Acad::eOk;
}

Acad::ErrorStatus Container2004::open(std::span<const uint8_t> file) {
  file_ = file;
  header_ = FileHeader2004{};
  pages_.clear();
  index_.clear();
  sections_.clear();
  open_ = false;

  if (file.size() < 6) return Acad::eBadDwgHeader;
  header_.version.assign(reinterpret_cast<const char*>(file.data()), 6);
  if (!isR2004Family(header_.version)) return Acad::eInvalidDwgVersion;
  if (file.size() < kHeaderSize) return Acad::eBadDwgHeader;

  std::memcpy(header_.plain.data(), file.data(), header_.plain.size());
  header_.maintenance = file[0x0B];
  header_.codepage = rs(file.data() + 0x13);
  header_.securityFlags = rl(file.data() + 0x18);

  uint8_t h[kMaskedSize];
  for (size_t i = 0; i < kMaskedSize; ++i) h[i] = file[kMaskedOffset + i] ^ maskByte2004(i);
  if (std::memcmp(h, kSignature, sizeof kSignature) != 0) return Acad::eBadDwgHeader;
  header_.lastPageId = rl(h + 0x28);
  header_.lastPageEnd = rll(h + 0x2C);
  header_.secondHeaderAddress = rll(h + 0x34);
  header_.gapCount = rl(h + 0x3C);
  header_.pageCount = rl(h + 0x40);
  header_.pageMapId = rl(h + 0x50);
  header_.pageMapAddress = rll(h + 0x54);
  header_.sectionMapId = rl(h + 0x5C);
  header_.pageArraySize = rl(h + 0x60);
  header_.gapArraySize = rl(h + 0x64);
  header_.crc = rl(h + 0x68);
  putRl(h + 0x68, 0);
  bool checksumsOk = crc32(h, kMaskedSize) == header_.crc;

  // The page map: (number, size) pairs; a negative number marks a gap, followed by four more
  // words. Pages lie back to back from 0x100 in this order.
  if (header_.pageMapAddress > file.size()) return Acad::eDwgNeedsRecovery;
  std::vector<uint8_t> map;
  bool pageOk = false;
  Acad::ErrorStatus es =
      readSystemPage(header_.pageMapAddress + kHeaderSize, kPageMapType, map, pageOk);
  if (es != Acad::eOk) return es;
  checksumsOk = checksumsOk && pageOk;
  uint64_t address = kHeaderSize;
  for (size_t i = 0; i + 8 <= map.size();) {
    PageEntry2004 e;
    e.number = int32_t(rl(map.data() + i));
    e.size = rl(map.data() + i + 4);
    e.address = address;
    i += 8;
    if (e.number < 0) {
      if (map.size() - i < 16) return Acad::eDwgNeedsRecovery;
      i += 16;
    }
    address += e.size;
    if (e.number > 0) index_.emplace_back(uint32_t(e.number), uint32_t(pages_.size()));
    pages_.push_back(e);
  }
  // Looked up by number; when a number repeats, the first entry counts.
  std::stable_sort(index_.begin(), index_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  // The section map: a 20-byte head, then per section 96 bytes and 16 per page.
  const PageEntry2004* sm = findPage(header_.sectionMapId);
  if (!sm) return Acad::eDwgNeedsRecovery;
  es = readSystemPage(sm->address, kSectionMapType, map, pageOk);
  if (es != Acad::eOk) return es;
  checksumsOk = checksumsOk && pageOk;
  if (map.size() < 20) return Acad::eDwgNeedsRecovery;
  uint32_t count = rl(map.data());
  if (count > (map.size() - 20) / kSectionEntrySize) return Acad::eDwgNeedsRecovery;
  size_t at = 20;
  sections_.reserve(count);
  for (uint32_t k = 0; k < count; ++k) {
    if (map.size() - at < kSectionEntrySize) return Acad::eDwgNeedsRecovery;
    const uint8_t* p = map.data() + at;
    Section2004 s;
    s.size = rll(p);
    uint32_t pageCount = rl(p + 8);
    s.maxPageSize = rl(p + 12);
    s.compression = rl(p + 20);
    s.id = rl(p + 24);
    s.encryption = rl(p + 28);
    const char* name = reinterpret_cast<const char*>(p + 32);
    s.name.assign(name, strnlen(name, kNameSize));
    at += kSectionEntrySize;
    if (pageCount > (map.size() - at) / kSectionPageSize) return Acad::eDwgNeedsRecovery;
    s.pages.resize(pageCount);
    for (auto& pg : s.pages) {
      pg.number = rl(map.data() + at);
      pg.dataSize = rl(map.data() + at + 4);
      pg.offset = rll(map.data() + at + 8);
      at += kSectionPageSize;
    }
    sections_.push_back(std::move(s));
  }
  open_ = true;
  return checksumsOk ? Acad::eOk : Acad::eDwgCRCDoesNotMatch;
}

Acad::ErrorStatus Container2004::read(std::string_view name, std::vector<uint8_t>& out) const {
  out.clear();
  const Section2004* s = find(name);
  if (!s) return Acad::eKeyNotFound;
  return read(*s, out);
}

Acad::ErrorStatus Container2004::read(const Section2004& s, std::vector<uint8_t>& out) const {
  out.clear();
  if (!open_) return Acad::eDwgNeedsRecovery;
  if (s.pages.empty()) return Acad::eOk;
  if (s.encryption == 1) return Acad::eNotImplementedYet;
  if (s.compression != 1 && s.compression != 2) return Acad::eDwgNeedsRecovery;
  // Stored pages hold their data as is, so the file bounds them; compressed pages are small.
  uint64_t pageLimit = s.compression == 2 ? kMaxPageDataLimit : file_.size();
  if (s.maxPageSize == 0 || s.maxPageSize > pageLimit) return Acad::eDwgNeedsRecovery;
  // Every page delivers at most maxPageSize bytes, so a larger declared size cannot be covered.
  if (s.size > uint64_t(s.pages.size()) * s.maxPageSize) return Acad::eDwgNeedsRecovery;
  if (s.pages.size() > pages_.size()) return Acad::eDwgNeedsRecovery;
  // A page belongs to one place in one section: repeated page numbers are damage.
  std::vector<uint32_t> numbers;
  numbers.reserve(s.pages.size());
  for (const auto& pg : s.pages) numbers.push_back(pg.number);
  std::sort(numbers.begin(), numbers.end());
  if (std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end())
    return Acad::eDwgNeedsRecovery;

  std::vector<uint8_t> result(size_t(s.size));
  std::vector<uint8_t> page(s.compression == 2 ? s.maxPageSize : 0);
  std::vector<std::pair<uint64_t, uint64_t>> covered;  // [start, end) per page
  covered.reserve(s.pages.size());
  bool checksumsOk = true;
  auto fail = [&out]() {
    out.clear();
    return Acad::eDwgNeedsRecovery;
  };

  for (const auto& pg : s.pages) {
    const PageEntry2004* e = findPage(pg.number);
    if (!e) return fail();
    if (e->address > file_.size() || file_.size() - e->address < kDataHeaderSize) return fail();
    uint8_t h[kDataHeaderSize];
    std::memcpy(h, file_.data() + e->address, sizeof h);
    maskDataHeader(h, e->address);
    uint32_t type = rl(h), sectionId = rl(h + 4), dataSize = rl(h + 8);
    uint64_t start = rll(h + 16);
    uint32_t headerSum = rl(h + 24), dataSum = rl(h + 28);
    if (type != kDataPageType || sectionId != s.id || dataSize != pg.dataSize ||
        start != pg.offset)
      return fail();
    if (dataSize > file_.size() - e->address - kDataHeaderSize) return fail();
    if (uint64_t(dataSize) + kDataHeaderSize > e->size) return fail();
    if (pg.offset >= s.size) return fail();
    const uint8_t* data = file_.data() + e->address + kDataHeaderSize;
    uint32_t sum = checksum2004(0, data, dataSize);
    if (sum != dataSum || dataPageHeaderChecksum(h, sum) != headerSum) checksumsOk = false;

    size_t room = size_t(s.size - pg.offset);
    size_t produced;
    const uint8_t* from;
    if (s.compression == 2) {
      DecompressResult r = decompress2004({data, dataSize}, page);
      if (!r.ok) return fail();
      produced = r.produced;
      from = page.data();
    } else {
      produced = std::min<size_t>(dataSize, s.maxPageSize);
      from = data;
    }
    size_t n = std::min(produced, room);
    std::memcpy(result.data() + pg.offset, from, n);
    covered.emplace_back(pg.offset, pg.offset + n);
  }

  // The pages must leave no hole in the section.
  std::sort(covered.begin(), covered.end());
  uint64_t reached = 0;
  for (const auto& [begin, end] : covered) {
    if (begin > reached) return fail();
    reached = std::max(reached, end);
  }
  if (reached < s.size) return fail();
  out = std::move(result);
  return checksumsOk ? Acad::eOk : Acad::eDwgCRCDoesNotMatch;
}

// -----------------------------------------------------------------------------------------------
// Writing

namespace {

// Where the reference application puts each section in the file, and which it stores raw.
constexpr std::string_view kFileOrder[] = {
    kSectionSummaryInfo, kSectionPreview,   kSectionAppInfo,       kSectionAppInfoHistory,
    kSectionFileDepList, kSectionPrototype, kSectionRevHistory,    kSectionObjects,
    kSectionObjFreeSpace, kSectionTemplate, kSectionHandles,       kSectionClasses,
    kSectionAuxHeader,   kSectionHeader,
};
// Section ids count up in this order.
constexpr std::string_view kIdOrder[] = {
    kSectionHeader,      kSectionAuxHeader,    kSectionClasses,     kSectionHandles,
    kSectionTemplate,    kSectionObjFreeSpace, kSectionObjects,     kSectionRevHistory,
    kSectionSummaryInfo, kSectionPreview,      kSectionAppInfo,     kSectionAppInfoHistory,
    kSectionPrototype,   kSectionFileDepList,
};
constexpr std::string_view kStoredRaw[] = {kSectionSummaryInfo, kSectionPreview, kSectionAppInfo,
                                           kSectionAppInfoHistory, kSectionFileDepList};

template <size_t N>
int indexIn(const std::string_view (&list)[N], std::string_view name) {
  for (size_t i = 0; i < N; ++i)
    if (list[i] == name) return int(i);
  return -1;
}

struct PlannedSection {
  const SectionInput2004* input = nullptr;
  uint32_t id = 0;
  bool compressed = true;
  uint32_t maxPageSize = kMaxPageData;
  std::vector<SectionPage2004> pages;
  uint64_t firstDataAddress = 0;
};

void appendSystemPage(std::vector<uint8_t>& out, uint32_t type, const std::vector<uint8_t>& data,
                      const std::vector<uint8_t>& compressed) {
  uint8_t h[kSystemHeaderSize];
  putRl(h, type);
  putRl(h + 4, uint32_t(data.size()));
  putRl(h + 8, uint32_t(compressed.size()));
  putRl(h + 12, 2);
  putRl(h + 16, 0);
  putRl(h + 16, systemPageChecksum(h, compressed.data(), compressed.size()));
  out.insert(out.end(), h, h + sizeof h);
  out.insert(out.end(), compressed.begin(), compressed.end());
  // A blank system-page header follows each system page, as in the reference files.
  uint8_t blank[kSystemHeaderSize] = {};
  putRl(blank, type);
  putRl(blank + 12, 2);
  out.insert(out.end(), blank, blank + sizeof blank);
}

}  // namespace

Acad::ErrorStatus writeContainer2004(std::span<const SectionInput2004> sections,
                                     const WriteOptions2004& options, std::vector<uint8_t>& file) {
  file.clear();
  for (size_t i = 0; i < sections.size(); ++i) {
    const auto& name = sections[i].name;
    if (name.empty() || name.size() >= kNameSize) return Acad::eInvalidInput;
    for (size_t j = 0; j < i; ++j)
      if (sections[j].name == name) return Acad::eInvalidInput;
  }

  // Known sections in the reference order, unknown ones after them in the caller's order.
  std::vector<PlannedSection> plan;
  for (const auto& s : sections) {
    PlannedSection p;
    p.input = &s;
    p.compressed = indexIn(kStoredRaw, s.name) < 0;
    if (!p.compressed)
      p.maxPageSize = uint32_t(std::min<size_t>(kMaxPageData, roundUp(std::max<size_t>(s.data.size(), 1), 0x80)));
    plan.push_back(std::move(p));
  }
  auto rank = [](const std::string_view (&list)[14], const PlannedSection& p) {
    int i = indexIn(list, p.input->name);
    return i < 0 ? 100 : i;
  };
  std::vector<PlannedSection*> byId;
  for (auto& p : plan) byId.push_back(&p);
  std::stable_sort(byId.begin(), byId.end(), [&](const PlannedSection* a, const PlannedSection* b) {
    return rank(kIdOrder, *a) < rank(kIdOrder, *b);
  });
  for (size_t i = 0; i < byId.size(); ++i) byId[i]->id = uint32_t(i + 1);
  std::stable_sort(plan.begin(), plan.end(), [&](const PlannedSection& a, const PlannedSection& b) {
    return rank(kFileOrder, a) < rank(kFileOrder, b);
  });

  // Data pages, back to back from 0x100, numbered from 1 in file order. A page is compressed
  // straight from the section's data (only a short last page is copied, to zero-fill its tail)
  // and straight into the file behind a header filled in once its size is known.
  size_t total = kHeaderSize;
  for (const auto& p : plan) total += p.input->data.size() + kDataHeaderSize;
  file.reserve(total / 2);
  file.assign(kHeaderSize, 0);
  std::vector<std::pair<uint32_t, uint32_t>> pageMap;  // number, size
  std::vector<uint8_t> chunk, packed;
  for (auto& p : plan) {
    const auto data = p.input->data;
    for (size_t offset = 0; offset < data.size(); offset += p.maxPageSize) {
      size_t n = std::min<size_t>(p.maxPageSize, data.size() - offset);
      // Every page carries its full capacity, the tail zero-filled.
      std::span<const uint8_t> page = data.subspan(offset, n);
      if (n < p.maxPageSize) {
        chunk.assign(p.maxPageSize, 0);
        std::memcpy(chunk.data(), data.data() + offset, n);
        page = chunk;
      }
      const uint32_t number = uint32_t(pageMap.size() + 1);
      const uint64_t address = file.size();
      file.resize(address + kDataHeaderSize);
      if (p.compressed) compress2004(page, file);
      else file.insert(file.end(), page.begin(), page.end());
      const uint8_t* stored = file.data() + address + kDataHeaderSize;
      const size_t storedSize = file.size() - address - kDataHeaderSize;
      size_t pageSize = roundUp(kDataHeaderSize + storedSize, 0x20);
      uint32_t dataSum = checksum2004(0, stored, storedSize);
      uint8_t h[kDataHeaderSize] = {};
      putRl(h, kDataPageType);
      putRl(h + 4, p.id);
      putRl(h + 8, uint32_t(storedSize));
      putRl(h + 12, uint32_t(pageSize));
      putRll(h + 16, offset);
      putRl(h + 28, dataSum);
      putRl(h + 24, dataPageHeaderChecksum(h, dataSum));
      maskDataHeader(h, address);
      std::memcpy(file.data() + address, h, sizeof h);
      appendPadding(file, pageSize - kDataHeaderSize - storedSize);
      if (offset == 0) p.firstDataAddress = address + kDataHeaderSize;
      p.pages.push_back({number, uint32_t(storedSize), offset});
      pageMap.emplace_back(number, uint32_t(pageSize));
    }
  }

  // The section map: a nameless first entry, then the sections by descending id.
  std::vector<uint8_t> smap;
  uint32_t entryCount = uint32_t(plan.size() + 1);
  for (uint32_t v : {entryCount, 2u, kMaxPageData, 0u, entryCount}) appendRl(smap, v);
  auto appendEntry = [&smap](uint64_t size, uint32_t pages, uint32_t maxPage, uint32_t method,
                             uint32_t id, std::string_view name) {
    appendRll(smap, size);
    for (uint32_t v : {pages, maxPage, 1u, method, id, 0u}) appendRl(smap, v);
    size_t at = smap.size();
    smap.resize(at + kNameSize, 0);
    std::memcpy(smap.data() + at, name.data(), name.size());
  };
  appendEntry(0, 0, kMaxPageData, 2, 0, "");
  for (auto it = byId.rbegin(); it != byId.rend(); ++it) {
    const PlannedSection& p = **it;
    appendEntry(p.input->data.size(), uint32_t(p.pages.size()), p.maxPageSize, p.compressed ? 2 : 1,
                p.id, p.input->name);
    for (const auto& pg : p.pages) {
      appendRl(smap, pg.number);
      appendRl(smap, pg.dataSize);
      appendRll(smap, pg.offset);
    }
  }
  uint32_t sectionMapId = uint32_t(pageMap.size() + 1);
  uint32_t pageMapId = sectionMapId + 1;
  packed.clear();
  compress2004(smap, packed);
  size_t smStart = file.size();
  appendSystemPage(file, kSectionMapType, smap, packed);
  size_t smSize = roundUp(file.size() - smStart, 0x20);
  appendPadding(file, smStart + smSize - file.size());
  pageMap.emplace_back(sectionMapId, uint32_t(smSize));

  // The page map lists itself, so its declared size must be known before it is compressed: grow
  // the guess until the compressed page (with the blank header and the header copy behind it) fits.
  uint64_t pmStart = file.size();
  std::vector<uint8_t> pmap;
  uint32_t pmSize = 0x80;
  for (;;) {
    pmap.clear();
    for (const auto& [number, size] : pageMap) {
      appendRl(pmap, number);
      appendRl(pmap, size);
    }
    appendRl(pmap, pageMapId);
    appendRl(pmap, pmSize);
    packed.clear();
    compress2004(pmap, packed);
    uint32_t needed =
        uint32_t(roundUp(kSystemHeaderSize + packed.size() + kSystemHeaderSize + kMaskedSize, 0x20));
    if (needed <= pmSize) break;
    pmSize = needed;
  }

  // The header: plain fields, then the masked block and the tail of the masking sequence.
  auto addressOf = [&plan](std::string_view name) -> uint32_t {
    for (const auto& p : plan)
      if (p.input->name == name) return uint32_t(p.firstDataAddress);
    return 0;
  };
  uint8_t* f = file.data();
  std::memcpy(f, "AC1027", 6);
  f[0x0B] = options.maintenance;
  f[0x0C] = 0x03;
  putRl(f + 0x0D, addressOf(kSectionPreview));
  f[0x11] = options.appVersion;
  f[0x12] = options.appMaintenance;
  f[0x13] = uint8_t(options.codepage);
  f[0x14] = uint8_t(options.codepage >> 8);
  f[0x16] = options.appVersion;
  f[0x17] = options.appMaintenance;
  putRl(f + 0x20, addressOf(kSectionSummaryInfo));
  putRl(f + 0x28, 0x80);
  putRl(f + 0x2C, addressOf(kSectionAppInfo));

  uint64_t secondHeader = pmStart + kSystemHeaderSize + packed.size() + kSystemHeaderSize;
  uint8_t h[kMaskedSize] = {};
  std::memcpy(h, kSignature, sizeof kSignature);
  putRl(h + 0x10, uint32_t(kMaskedSize));
  putRl(h + 0x14, 4);
  putRl(h + 0x24, 1);
  putRl(h + 0x28, pageMapId);
  putRll(h + 0x2C, pmStart - kHeaderSize + pmSize);
  putRll(h + 0x34, secondHeader);
  putRl(h + 0x40, pageMapId);  // pages listed, the two system pages included
  putRl(h + 0x44, 0x20);
  putRl(h + 0x48, 0x80);
  putRl(h + 0x4C, 0x40);
  putRl(h + 0x50, pageMapId);
  putRll(h + 0x54, pmStart - kHeaderSize);
  putRl(h + 0x5C, sectionMapId);
  putRl(h + 0x60, pageMapId);
  putRl(h + 0x68, crc32(h, kMaskedSize));
  for (size_t i = 0; i < kMaskedSize; ++i) f[kMaskedOffset + i] = h[i] ^ maskByte2004(i);
  for (size_t i = kMaskedOffset + kMaskedSize; i < kHeaderSize; ++i) f[i] = maskByte2004(i);

  // The page map page, then the copy of the masked header block ends the file.
  appendSystemPage(file, kPageMapType, pmap, packed);
  std::vector<uint8_t> copy(file.begin() + kMaskedOffset, file.begin() + kMaskedOffset + kMaskedSize);
  file.insert(file.end(), copy.begin(), copy.end());
  return Acad::eOk;
}

}  // namespace kel::dwg
