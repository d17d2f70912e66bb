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

ContainerWriter2004::ContainerWriter2004(std::span<const std::string> names, const WriteOptions2004& options,
                                         std::vector<uint8_t>& file, size_t reserveHint)
    : options_(options), file_(file) {
  file_.clear();
  for (size_t i = 0; i < names.size(); ++i) {
    const auto& name = names[i];
    if (name.empty() || name.size() >= kNameSize) status_ = Acad::eInvalidInput;
    for (size_t j = 0; j < i; ++j)
      if (names[j] == name) status_ = Acad::eInvalidInput;
  }
  if (status_ != Acad::eOk) return;

  // Known sections in the reference order, unknown ones after them in the caller's order; ids
  // count up in the reference id order.
  auto rank = [](const std::string_view (&list)[14], std::string_view name) {
    int i = indexIn(list, name);
    return i < 0 ? 100 : i;
  };
  for (const auto& name : names) {
    Planned p;
    p.name = name;
    p.compressed = indexIn(kStoredRaw, name) < 0;
    plan_.push_back(std::move(p));
  }
  std::vector<size_t> byId(plan_.size());
  for (size_t i = 0; i < byId.size(); ++i) byId[i] = i;
  std::stable_sort(byId.begin(), byId.end(),
                   [&](size_t a, size_t b) { return rank(kIdOrder, plan_[a].name) < rank(kIdOrder, plan_[b].name); });
  for (size_t i = 0; i < byId.size(); ++i) plan_[byId[i]].id = uint32_t(i + 1);
  std::stable_sort(plan_.begin(), plan_.end(),
                   [&](const Planned& a, const Planned& b) { return rank(kFileOrder, a.name) < rank(kFileOrder, b.name); });
  byId_.resize(plan_.size());
  for (size_t i = 0; i < plan_.size(); ++i) byId_[plan_[i].id - 1] = i;

  file_.reserve(std::max(reserveHint, kHeaderSize));
  file_.assign(kHeaderSize, 0);
}

std::vector<std::string> ContainerWriter2004::order() const {
  std::vector<std::string> names;
  for (const auto& p : plan_) names.push_back(p.name);
  return names;
}

// Grows the file by at most half again when it must, rather than doubling it: the file is the
// largest buffer held at the end of a write.
void ContainerWriter2004::grow(size_t extra) {
  const size_t need = file_.size() + extra;
  if (need > file_.capacity()) file_.reserve(std::max(need, file_.capacity() + file_.capacity() / 2));
}

// Data pages lie back to back from 0x100, numbered from 1 in file order. A page is compressed
// straight into the file behind a header that is filled in once its size is known.
void ContainerWriter2004::emitPage(Planned& p, std::span<const uint8_t> page) {
  const uint32_t number = uint32_t(pageMap_.size() + 1);
  const uint64_t address = file_.size();
  grow(kDataHeaderSize + page.size() + page.size() / 8 + 0x40);
  file_.resize(address + kDataHeaderSize);
  if (p.compressed) compress2004(page, file_);
  else file_.insert(file_.end(), page.begin(), page.end());
  const uint8_t* stored = file_.data() + address + kDataHeaderSize;
  const size_t storedSize = file_.size() - address - kDataHeaderSize;
  const size_t pageSize = roundUp(kDataHeaderSize + storedSize, 0x20);
  const uint32_t dataSum = checksum2004(0, stored, storedSize);
  uint8_t h[kDataHeaderSize] = {};
  putRl(h, kDataPageType);
  putRl(h + 4, p.id);
  putRl(h + 8, uint32_t(storedSize));
  putRl(h + 12, uint32_t(pageSize));
  putRll(h + 16, p.paged);
  putRl(h + 28, dataSum);
  putRl(h + 24, dataPageHeaderChecksum(h, dataSum));
  maskDataHeader(h, address);
  std::memcpy(file_.data() + address, h, sizeof h);
  grow(pageSize - kDataHeaderSize - storedSize);
  appendPadding(file_, pageSize - kDataHeaderSize - storedSize);
  if (p.paged == 0) p.firstDataAddress = address + kDataHeaderSize;
  p.pages.push_back({number, uint32_t(storedSize), p.paged});
  p.paged += page.size();
  pageMap_.emplace_back(number, uint32_t(pageSize));
}

// Every page carries its full capacity, the tail of the last one zero-filled. A stored section's
// page capacity follows its size, so it is paged only once it is complete.
void ContainerWriter2004::endSection() {
  if (!current_) return;
  Planned& p = *current_;
  current_ = nullptr;
  if (!p.compressed)
    p.maxPageSize = uint32_t(std::min<size_t>(kMaxPageData, roundUp(std::max<size_t>(pending_.size(), 1), 0x80)));
  for (size_t offset = 0; offset < pending_.size(); offset += p.maxPageSize) {
    const size_t n = std::min<size_t>(p.maxPageSize, pending_.size() - offset);
    if (n == p.maxPageSize) {
      emitPage(p, std::span<const uint8_t>(pending_).subspan(offset, n));
    } else {
      std::vector<uint8_t> last(p.maxPageSize, 0);
      std::memcpy(last.data(), pending_.data() + offset, n);
      emitPage(p, last);
    }
  }
  pending_.clear();
  if (pending_.capacity() > kMaxPageData) pending_.shrink_to_fit();
}

bool ContainerWriter2004::begin(std::string_view name) {
  if (status_ != Acad::eOk || finished_) return false;
  endSection();
  if (next_ >= plan_.size() || plan_[next_].name != name) {
    status_ = Acad::eInvalidInput;
    return false;
  }
  current_ = &plan_[next_++];
  return true;
}

void ContainerWriter2004::append(std::span<const uint8_t> data) {
  if (status_ != Acad::eOk) return;
  if (!current_) {
    if (!data.empty()) status_ = Acad::eInvalidInput;
    return;
  }
  Planned& p = *current_;
  p.size += data.size();
  if (!p.compressed) {
    pending_.insert(pending_.end(), data.begin(), data.end());
    return;
  }
  while (!data.empty()) {
    if (pending_.empty() && data.size() >= p.maxPageSize) {
      // A full page straight from the caller's buffer.
      emitPage(p, data.first(p.maxPageSize));
      data = data.subspan(p.maxPageSize);
      continue;
    }
    const size_t n = std::min<size_t>(p.maxPageSize - pending_.size(), data.size());
    pending_.insert(pending_.end(), data.begin(), data.begin() + ptrdiff_t(n));
    data = data.subspan(n);
    if (pending_.size() == p.maxPageSize) {
      emitPage(p, pending_);
      pending_.clear();
    }
  }
}

bool ContainerWriter2004::add(std::string_view name, std::span<const uint8_t> data) {
  if (!begin(name)) return false;
  append(data);
  return status_ == Acad::eOk;
}

Acad::ErrorStatus ContainerWriter2004::finish() {
  if (status_ != Acad::eOk) return status_;
  if (finished_) return Acad::eInvalidInput;
  endSection();
  if (next_ != plan_.size()) return status_ = Acad::eInvalidInput;

  // The section map: a nameless first entry, then the sections by descending id.
  std::vector<uint8_t> smap, packed;
  uint32_t entryCount = uint32_t(plan_.size() + 1);
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
  for (auto it = byId_.rbegin(); it != byId_.rend(); ++it) {
    const Planned& p = plan_[*it];
    appendEntry(p.size, uint32_t(p.pages.size()), p.maxPageSize, p.compressed ? 2 : 1, p.id, p.name);
    for (const auto& pg : p.pages) {
      appendRl(smap, pg.number);
      appendRl(smap, pg.dataSize);
      appendRll(smap, pg.offset);
    }
  }
  uint32_t sectionMapId = uint32_t(pageMap_.size() + 1);
  uint32_t pageMapId = sectionMapId + 1;
  compress2004(smap, packed);
  size_t smStart = file_.size();
  grow(smap.size() + packed.size() + 2 * kSystemHeaderSize + 0x20);
  appendSystemPage(file_, kSectionMapType, smap, packed);
  size_t smSize = roundUp(file_.size() - smStart, 0x20);
  appendPadding(file_, smStart + smSize - file_.size());
  pageMap_.emplace_back(sectionMapId, uint32_t(smSize));

  // The page map lists itself, so its declared size must be known before it is compressed: grow
  // the guess until the compressed page (with the blank header and the header copy behind it) fits.
  uint64_t pmStart = file_.size();
  std::vector<uint8_t> pmap;
  uint32_t pmSize = 0x80;
  for (;;) {
    pmap.clear();
    for (const auto& [number, size] : pageMap_) {
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
  auto addressOf = [this](std::string_view name) -> uint32_t {
    for (const auto& p : plan_)
      if (p.name == name) return uint32_t(p.firstDataAddress);
    return 0;
  };
  uint8_t* f = file_.data();
  std::memcpy(f, "AC1027", 6);
  f[0x0B] = options_.maintenance;
  f[0x0C] = 0x03;
  putRl(f + 0x0D, addressOf(kSectionPreview));
  f[0x11] = options_.appVersion;
  f[0x12] = options_.appMaintenance;
  f[0x13] = uint8_t(options_.codepage);
  f[0x14] = uint8_t(options_.codepage >> 8);
  f[0x16] = options_.appVersion;
  f[0x17] = options_.appMaintenance;
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
  grow(pmap.size() + packed.size() + 2 * kSystemHeaderSize + kMaskedSize);
  appendSystemPage(file_, kPageMapType, pmap, packed);
  uint8_t copy[kMaskedSize];
  std::memcpy(copy, file_.data() + kMaskedOffset, kMaskedSize);
  file_.insert(file_.end(), copy, copy + kMaskedSize);
  finished_ = true;
  return Acad::eOk;
}

Acad::ErrorStatus writeContainer2004(std::span<const SectionInput2004> sections,
                                     const WriteOptions2004& options, std::vector<uint8_t>& file) {
  std::vector<std::string> names;
  size_t total = kHeaderSize;
  for (const auto& s : sections) {
    names.push_back(s.name);
    total += s.data.size() + kDataHeaderSize;
  }
  ContainerWriter2004 w(names, options, file, total / 2);
  for (const std::string& name : w.order())
    for (const auto& s : sections)
      if (s.name == name) w.add(name, s.data);
  return w.finish();
}

}  // namespace kel::dwg
