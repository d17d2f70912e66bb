#include "engine/dwg/container2000.h"

#include <cstring>

#include "engine/dwg/crc.h"

namespace kel::dwg {

const DwgSentinel kSentinelFileHeaderEnd = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                            0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};
const DwgSentinel kSentinelHeaderVars = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                         0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const DwgSentinel kSentinelClasses = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                      0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
const DwgSentinel kSentinelPreview = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                      0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
const DwgSentinel kSentinelSecondHeader = {0xD4, 0x7B, 0x21, 0xCE, 0x28, 0x93, 0x9F, 0xBF,
                                           0x53, 0x24, 0x40, 0x09, 0x12, 0x3C, 0xAA, 0x01};

DwgSentinel complementOf(const DwgSentinel& s) {
  DwgSentinel r{};
  for (size_t i = 0; i < r.size(); ++i) r[i] = uint8_t(~s[i]);
  return r;
}

namespace {

using Bytes = std::span<const uint8_t>;

constexpr size_t kSentinelSize = 16;
// Start sentinel, 32-bit size, CRC, end sentinel.
constexpr size_t kFrameOverhead = 2 * kSentinelSize + 4 + 2;

uint16_t le16(Bytes b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint16_t be16(Bytes b, size_t at) { return uint16_t((b[at] << 8) | b[at + 1]); }
uint32_t le32(Bytes b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

bool matches(Bytes b, size_t at, const DwgSentinel& s) {
  return at <= b.size() && b.size() - at >= s.size() && std::memcmp(b.data() + at, s.data(), s.size()) == 0;
}

// Keeps the first failure.
void note(Acad::ErrorStatus& acc, Acad::ErrorStatus es) {
  if (acc == Acad::eOk) acc = es;
}

// The file-header CRC is XOR-ed with a constant chosen by the number of locator records.
bool locatorCrcMask(uint32_t count, uint16_t* mask) {
  switch (count) {
    case 3: *mask = 0xA598; return true;
    case 4: *mask = 0x8101; return true;
    case 5: *mask = 0x3CC4; return true;
    case 6: *mask = 0x8461; return true;
    default: return false;
  }
}

// Places a located region: it must lie within the file and after the file header.
void place(Bytes file, size_t headerEnd, const SectionLocator2000* loc, FileRegion& r) {
  r = FileRegion{};
  if (!loc || (loc->offset == 0 && loc->size == 0)) return;  // an unused record
  r.present = true;
  r.offset = loc->offset;
  if (loc->offset < headerEnd || loc->offset > file.size() || loc->size > file.size() - loc->offset ||
      loc->size == 0) {
    r.status = Acad::eDwgNeedsRecovery;
    return;
  }
  r.record = file.subspan(loc->offset, loc->size);
  r.data = r.record;
}

void readPreview(Bytes file, uint32_t address, size_t headerEnd, FileRegion& r) {
  r = FileRegion{};
  if (address == 0) return;
  r.present = true;
  r.offset = address;
  if (address < headerEnd || address > file.size() || file.size() - address < 2 * kSentinelSize + 4) {
    r.status = Acad::eDwgNeedsRecovery;
    return;
  }
  Bytes rest = file.subspan(address);
  if (!matches(rest, 0, kSentinelPreview)) {
    r.status = Acad::eDwgSentinelDoesNotMatch;
    return;
  }
  uint32_t size = le32(rest, kSentinelSize);
  if (size > rest.size() - (kSentinelSize + 4) - kSentinelSize) {
    r.status = Acad::eDwgNeedsRecovery;
    return;
  }
  r.record = rest.first(2 * kSentinelSize + 4 + size);
  r.data = rest.subspan(kSentinelSize + 4, size);
  if (!matches(rest, kSentinelSize + 4 + size, complementOf(kSentinelPreview)))
    r.status = Acad::eDwgSentinelDoesNotMatch;
}

// The second file header: sentinel, 32-bit size L (counting from the size field to the end
// sentinel), bit-coded content, CRC-16 (seed 0xC0C1, from the size field up to the CRC), then from
// R14 on 8 further bytes, then the end sentinel.
void readSecondHeader(Bytes file, size_t at, Version v, FileRegion& r) {
  r = FileRegion{};
  if (at > file.size() || !matches(file, at, kSentinelSecondHeader)) return;  // none: optional
  r.present = true;
  r.offset = at;
  Bytes rest = file.subspan(at);
  const size_t tail = v == Version::R13 ? 2 : 10;
  if (rest.size() < 2 * kSentinelSize + 4) {
    r.status = Acad::eDwgNeedsRecovery;
    return;
  }
  uint32_t size = le32(rest, kSentinelSize);
  if (size < 4 + tail || size > rest.size() - 2 * kSentinelSize) {
    r.status = Acad::eDwgNeedsRecovery;
    return;
  }
  const size_t endAt = kSentinelSize + size;
  const size_t crcAt = endAt - tail;
  r.record = rest.first(endAt + kSentinelSize);
  r.data = rest.subspan(kSentinelSize, crcAt - kSentinelSize);
  if (!matches(rest, endAt, complementOf(kSentinelSecondHeader)))
    r.status = Acad::eDwgSentinelDoesNotMatch;
  else if (crc16(kCrc16Seed, r.data) != le16(rest, crcAt))
    r.status = Acad::eDwgCRCDoesNotMatch;
}

}  // namespace

bool dwgVersionFromTag(std::span<const uint8_t> file, Version* v) {
  struct Tag {
    const char* text;
    Version version;
  };
  static const Tag kTags[] = {{"AC1012", Version::R13},   {"AC1014", Version::R14},
                              {"AC1015", Version::R2000}, {"AC1018", Version::R2004},
                              {"AC1021", Version::R2007}, {"AC1024", Version::R2010},
                              {"AC1027", Version::R2013}, {"AC1032", Version::R2018}};
  if (file.size() < 6) return false;
  for (const Tag& t : kTags) {
    if (std::memcmp(file.data(), t.text, 6) == 0) {
      if (v) *v = t.version;
      return true;
    }
  }
  return false;
}

Acad::ErrorStatus checkFramedRegion(std::span<const uint8_t> bytes, const DwgSentinel& start,
                                    std::span<const uint8_t>* payload) {
  if (payload) *payload = {};
  if (bytes.size() < kSentinelSize) return Acad::eDwgNeedsRecovery;
  if (!matches(bytes, 0, start)) return Acad::eDwgSentinelDoesNotMatch;
  if (bytes.size() < kFrameOverhead) return Acad::eDwgNeedsRecovery;
  uint32_t size = le32(bytes, kSentinelSize);
  if (size > bytes.size() - kFrameOverhead) return Acad::eDwgNeedsRecovery;
  const size_t crcAt = kSentinelSize + 4 + size;
  if (!matches(bytes, crcAt + 2, complementOf(start))) return Acad::eDwgSentinelDoesNotMatch;
  if (payload) *payload = bytes.subspan(kSentinelSize + 4, size);
  if (crc16(kCrc16Seed, bytes.subspan(kSentinelSize, 4 + size)) != le16(bytes, crcAt))
    return Acad::eDwgCRCDoesNotMatch;
  return Acad::eOk;
}

Acad::ErrorStatus decodeObjectMap(std::span<const uint8_t> map, uint64_t offsetLimit,
                                  std::vector<ObjectMapEntry>& out) {
  Acad::ErrorStatus result = Acad::eOk;
  size_t pos = 0;
  for (;;) {
    if (map.size() - pos < 2) return Acad::eDwgNeedsRecovery;  // no closing chunk
    const size_t chunk = be16(map, pos);                          // counts its own two bytes
    if (chunk < 2 || chunk > map.size() - pos - 2) return Acad::eDwgNeedsRecovery;
    if (crc16(kCrc16Seed, map.subspan(pos, chunk)) != be16(map, pos + chunk))
      note(result, Acad::eDwgCRCDoesNotMatch);
    if (chunk == 2) return result;  // the empty chunk closes the map

    // Both running values start from zero in every chunk; arithmetic is modular so that hostile
    // deltas cannot overflow, and the range checks below catch what wrapped.
    BitReader pairs(map.subspan(pos + 2, chunk - 2));
    uint64_t handle = 0, offset = 0;
    while (pairs.remainingBits() >= 8) {
      uint64_t dh = pairs.UMC();
      int64_t doff = pairs.MC();
      if (pairs.error()) return Acad::eDwgNeedsRecovery;
      handle += dh;
      offset += uint64_t(doff);
      if (!out.empty() && handle <= out.back().handle) return Acad::eDwgNeedsRecovery;
      if (offset >= offsetLimit) return Acad::eDwgNeedsRecovery;
      out.push_back({handle, offset});
    }
    pos += chunk + 2;
  }
}

Acad::ErrorStatus readObjectRecord(std::span<const uint8_t> bytes, uint64_t offset,
                                   std::span<const uint8_t>* record) {
  if (record) *record = {};
  if (offset >= bytes.size()) return Acad::eDwgNeedsRecovery;
  Bytes rest = bytes.subspan(size_t(offset));
  BitReader r(rest);
  uint32_t size = r.MS();
  if (r.error()) return Acad::eDwgNeedsRecovery;
  const size_t head = r.positionBits() / 8;
  if (size > rest.size() - head || rest.size() - head - size < 2) return Acad::eDwgNeedsRecovery;
  if (record) *record = rest.subspan(head, size);
  if (crc16(kCrc16Seed, rest.first(head + size)) != le16(rest, head + size))
    return Acad::eDwgCRCDoesNotMatch;
  return Acad::eOk;
}

Acad::ErrorStatus readContainer2000(std::span<const uint8_t> file, Container2000& out) {
  out = Container2000{};
  Version v{};
  if (!dwgVersionFromTag(file, &v)) return out.status = Acad::eBadDwgHeader;
  out.version = v;
  if (v != Version::R13 && v != Version::R14 && v != Version::R2000)
    return out.status = Acad::eInvalidDwgVersion;

  // Fixed part: 6-byte tag, 5 zero bytes, maintenance version, one byte, preview address,
  // writer version and maintenance, code page, record count.
  constexpr size_t kCountAt = 0x15, kRecordsAt = 0x19, kRecordSize = 9;
  if (file.size() < kRecordsAt) return out.status = Acad::eBadDwgHeader;
  out.maintenanceVersion = file[0x0B];
  out.previewAddress = le32(file, 0x0D);
  out.writerVersion = file[0x11];
  out.writerMaintenance = file[0x12];
  out.codePage = le16(file, 0x13);
  const uint32_t count = le32(file, kCountAt);
  uint16_t mask = 0;
  if (!locatorCrcMask(count, &mask)) return out.status = Acad::eBadDwgHeader;
  const size_t crcAt = kRecordsAt + count * kRecordSize;
  const size_t headerEnd = crcAt + 2 + kSentinelSize;
  if (file.size() < headerEnd) return out.status = Acad::eBadDwgHeader;

  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = kRecordsAt + i * kRecordSize;
    SectionLocator2000 loc{file[at], le32(file, at + 1), le32(file, at + 5)};
    for (const SectionLocator2000& seen : out.locators)
      if (seen.number == loc.number) note(out.fileHeaderStatus, Acad::eBadDwgHeader);
    out.locators.push_back(loc);
  }
  if (uint16_t(crc16(0, file.first(crcAt)) ^ mask) != le16(file, crcAt))
    note(out.fileHeaderStatus, Acad::eDwgCRCDoesNotMatch);
  if (!matches(file, crcAt + 2, kSentinelFileHeaderEnd))
    note(out.fileHeaderStatus, Acad::eDwgSentinelDoesNotMatch);

  auto find = [&](Locator2000 n) -> const SectionLocator2000* {
    for (const SectionLocator2000& l : out.locators)
      if (l.number == uint8_t(n)) return &l;
    return nullptr;
  };
  place(file, headerEnd, find(Locator2000::Header), out.header);
  place(file, headerEnd, find(Locator2000::Classes), out.classes);
  place(file, headerEnd, find(Locator2000::ObjectMap), out.objectMap);
  place(file, headerEnd, find(Locator2000::ObjFreeSpace), out.objFreeSpace);
  place(file, headerEnd, find(Locator2000::Template), out.templ);
  place(file, headerEnd, find(Locator2000::AuxHeader), out.auxHeader);

  for (auto [region, sentinel] : {std::pair{&out.header, &kSentinelHeaderVars},
                                  std::pair{&out.classes, &kSentinelClasses}}) {
    if (!region->present)
      region->status = Acad::eFileMissingSections;
    else if (region->status == Acad::eOk)
      region->status = checkFramedRegion(region->record, *sentinel, &region->data);
  }
  if (!out.objectMap.present)
    out.objectMap.status = Acad::eFileMissingSections;
  else if (out.objectMap.status == Acad::eOk)
    out.objectMap.status = decodeObjectMap(out.objectMap.record, file.size(), out.objects);

  readPreview(file, out.previewAddress, headerEnd, out.preview);
  if (out.objectMap.present && out.objectMap.status != Acad::eDwgNeedsRecovery) {
    // The second header follows the object map, or the free-space record where that comes next.
    size_t at = out.objectMap.offset + out.objectMap.record.size();
    if (out.objFreeSpace.present && out.objFreeSpace.offset == at && !out.objFreeSpace.record.empty())
      at += out.objFreeSpace.record.size();
    readSecondHeader(file, at, v, out.secondHeader);
  }

  note(out.status, out.fileHeaderStatus);
  note(out.status, out.header.status);
  note(out.status, out.classes.status);
  note(out.status, out.objectMap.status);
  for (const FileRegion* r : {&out.objFreeSpace, &out.templ, &out.auxHeader, &out.preview,
                              &out.secondHeader})
    note(out.optionalStatus, r->status);
  return out.status;
}

}  // namespace kel::dwg
