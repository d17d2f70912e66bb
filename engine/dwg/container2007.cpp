#include "engine/dwg/container2007.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

namespace kel::dwg {

namespace {

using Bytes = std::span<const uint8_t>;

uint16_t le16(Bytes b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t le32(Bytes b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
int64_t le64(Bytes b, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
  return int64_t(v);
}

void note(Acad::ErrorStatus& acc, Acad::ErrorStatus es) {
  if (acc == Acad::eOk) acc = es;
}

// ---- decompression -------------------------------------------------------------------------

// A literal run is not stored in order. Runs of 32 bytes or more go in 32-byte blocks whose four
// 8-byte quarters are stored last to first; the remaining 0..31 bytes are stored as listed below:
// for each output piece, where it starts in the stored bytes, how long it is, and whether its
// bytes are reversed. kLiteralOrder expands this into a source index per output byte.
struct Piece {
  uint8_t from, count;
  bool reversed;
};
constexpr Piece kEnd{0, 0, false};
constexpr Piece kTailPieces[32][6] = {
    {kEnd},
    {{0, 1, false}, kEnd},
    {{0, 2, true}, kEnd},
    {{0, 3, true}, kEnd},
    {{0, 4, false}, kEnd},
    {{4, 1, false}, {0, 4, false}, kEnd},
    {{5, 1, false}, {1, 4, false}, {0, 1, false}, kEnd},
    {{5, 2, true}, {1, 4, false}, {0, 1, false}, kEnd},
    {{0, 8, false}, kEnd},
    {{8, 1, false}, {0, 8, false}, kEnd},
    {{9, 1, false}, {1, 8, false}, {0, 1, false}, kEnd},
    {{9, 2, true}, {1, 8, false}, {0, 1, false}, kEnd},
    {{8, 4, false}, {0, 8, false}, kEnd},
    {{12, 1, false}, {8, 4, false}, {0, 8, false}, kEnd},
    {{13, 1, false}, {9, 4, false}, {1, 8, false}, {0, 1, false}, kEnd},
    {{13, 2, true}, {9, 4, false}, {1, 8, false}, {0, 1, false}, kEnd},
    {{8, 8, false}, {0, 8, false}, kEnd},
    {{9, 8, false}, {8, 1, false}, {0, 8, false}, kEnd},
    {{17, 1, false}, {9, 8, false}, {1, 8, false}, {0, 1, false}, kEnd},
    {{16, 3, true}, {8, 8, false}, {0, 8, false}, kEnd},
    {{16, 4, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{20, 1, false}, {16, 4, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{20, 2, true}, {16, 4, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{20, 3, true}, {16, 4, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{16, 8, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{17, 8, false}, {16, 1, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{25, 1, false}, {17, 8, false}, {16, 1, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{25, 2, true}, {17, 8, false}, {16, 1, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{24, 4, false}, {16, 8, false}, {8, 8, false}, {0, 8, false}, kEnd},
    {{28, 1, false}, {24, 4, false}, {16, 8, false}, {8, 8, false}, {0, 8, false}},
    {{28, 2, true}, {24, 4, false}, {16, 8, false}, {8, 8, false}, {0, 8, false}},
    {{30, 1, false}, {26, 4, false}, {18, 8, false}, {10, 8, false}, {2, 8, false}, {0, 2, true}},
};

struct LiteralOrder {
  uint8_t index[32][32]{};
  bool valid = true;  // every tail is a permutation of its stored bytes
  constexpr LiteralOrder() {
    for (unsigned n = 1; n < 32; ++n) {
      unsigned out = 0;
      bool seen[32]{};
      for (const Piece& p : kTailPieces[n]) {
        for (unsigned k = 0; k < p.count; ++k) {
          unsigned src = p.reversed ? p.from + p.count - 1 - k : p.from + k;
          if (out >= n || src >= n || seen[src]) valid = false;
          if (out < 32 && src < 32) {
            index[n][out++] = uint8_t(src);
            seen[src] = true;
          }
        }
      }
      if (out != n) valid = false;
    }
  }
};
constexpr LiteralOrder kLiteralOrder;
static_assert(kLiteralOrder.valid, "literal order table must permute each tail");

class Lz2007 {
 public:
  Lz2007(Bytes src, std::span<uint8_t> dst) : src_(src), dst_(dst) {}

  bool run() {
    uint8_t op = 0;
    if (!next(op)) return false;
    uint32_t literal = 0;
    if ((op & 0xF0) == 0x20) {
      uint8_t b = 0;
      if (!skip(2) || !next(b)) return false;
      literal = b & 7;
      if (literal == 0) return false;
    }
    while (sp_ < src_.size()) {
      if (literal == 0 && !literalLength(op, literal)) return false;
      if (!copyLiteral(literal)) return false;
      literal = 0;
      if (sp_ >= src_.size()) break;
      uint32_t offset = 0, length = 0;
      if (!next(op) || !match(op, offset, length)) return false;
      for (;;) {
        if (!copyMatch(offset, length)) return false;
        literal = op & 7;  // a few literals may follow the match directly
        if (literal != 0 || sp_ >= src_.size()) break;
        if (!next(op)) return false;
        if ((op >> 4) == 0) break;  // a literal run, its length coded in op
        if ((op >> 4) == 0x0F) op &= 0x0F;
        if (!match(op, offset, length)) return false;
      }
    }
    return true;
  }

  size_t produced() const { return dp_; }

 private:
  bool next(uint8_t& b) {
    if (sp_ >= src_.size()) return false;
    b = src_[sp_++];
    return true;
  }
  bool skip(size_t n) {
    if (src_.size() - sp_ < n) return false;
    sp_ += n;
    return true;
  }

  bool literalLength(uint8_t op, uint32_t& length) {
    length = uint32_t(op) + 8;
    if (length != 0x17) return true;
    uint8_t b = 0;
    if (!next(b)) return false;
    length += b;
    if (b != 0xFF) return true;
    for (;;) {
      uint8_t lo = 0, hi = 0;
      if (!next(lo) || !next(hi)) return false;
      uint32_t n = uint32_t(lo | (hi << 8));
      length += n;
      if (length > dst_.size()) return false;  // cannot fit: stop before the sum can wrap
      if (n != 0xFFFF) return true;
    }
  }

  // Decodes a match opcode (and the bytes that follow it); leaves in `op` the byte whose low bits
  // tell how many literals come next.
  bool match(uint8_t& op, uint32_t& offset, uint32_t& length) {
    uint8_t a = 0, b = 0;
    switch (op >> 4) {
      case 0:
        if (!next(a) || !next(b)) return false;
        length = uint32_t(op & 0x0F) + 0x13 + ((b >> 3) & 0x10);
        offset = (uint32_t(b & 0x78) << 5) + a + 1;
        op = b;
        return true;
      case 1:
        if (!next(a) || !next(b)) return false;
        length = uint32_t(op & 0x0F) + 3;
        offset = (uint32_t(b & 0xF8) << 5) + a + 1;
        op = b;
        return true;
      case 2: {
        if (!next(a) || !next(b)) return false;
        offset = uint32_t(a) | uint32_t(b) << 8;
        length = op & 7;
        uint8_t c = 0;
        if (!(op & 8)) {
          if (!next(c)) return false;
          length += c & 0xF8;
          op = c;
        } else {
          uint8_t d = 0;
          if (!next(c) || !next(d)) return false;
          offset += 1;
          length += (uint32_t(c) << 3) + (uint32_t(d & 0xF8) << 8) + 0x100;
          op = d;
        }
        return true;
      }
      default:
        if (!next(b)) return false;
        length = op >> 4;
        offset = uint32_t(op & 0x0F) + (uint32_t(b & 0xF8) << 1) + 1;
        op = b;
        return true;
    }
  }

  bool copyLiteral(uint32_t n) {
    if (n > src_.size() - sp_ || n > dst_.size() - dp_) return false;
    const uint8_t* s = src_.data() + sp_;
    uint8_t* d = dst_.data() + dp_;
    sp_ += n;
    dp_ += n;
    for (; n >= 32; n -= 32, s += 32, d += 32)
      for (unsigned q = 0; q < 4; ++q) std::memcpy(d + 8 * q, s + 8 * (3 - q), 8);
    for (uint32_t i = 0; i < n; ++i) d[i] = s[kLiteralOrder.index[n][i]];
    return true;
  }

  bool copyMatch(uint32_t offset, uint32_t length) {
    if (length == 0) return true;
    if (offset == 0 || offset > dp_ || length > dst_.size() - dp_) return false;
    // Byte by byte: a match may overlap the bytes it produces.
    for (uint32_t i = 0; i < length; ++i, ++dp_) dst_[dp_] = dst_[dp_ - offset];
    return true;
  }

  Bytes src_;
  std::span<uint8_t> dst_;
  size_t sp_ = 0;
  size_t dp_ = 0;
};

// ---- reading ---------------------------------------------------------------------------------

constexpr size_t kPlainHeaderSize = 0x80;
constexpr size_t kCodedHeaderSize = 0x3D8;
constexpr size_t kPagesStart = 0x480;
constexpr size_t kHeaderPrefix = 32;  // two check values, a key, the compressed length and one more
// Bounds that no sound file comes near; they keep products and sums far from overflow.
constexpr uint64_t kMaxCorrection = 0x10000;
constexpr uint64_t kMaxField = uint64_t(1) << 40;

class Reader {
 public:
  Reader(Bytes file, Container2007& out, uint64_t budget) : file_(file), out_(out), budget_(budget) {}

  Acad::ErrorStatus run();

 private:
  bool charge(uint64_t bytes) {
    if (bytes > budget_) return false;
    budget_ -= bytes;
    return true;
  }
  Acad::ErrorStatus readFileHeader();
  Acad::ErrorStatus readSystemPage(uint64_t address, int64_t compressed, int64_t uncompressed,
                                   int64_t correction, std::vector<uint8_t>& out);
  Acad::ErrorStatus readPagesMap();
  Acad::ErrorStatus readSectionsMap();
  Acad::ErrorStatus parseSectionsMap(Bytes map);
  Acad::ErrorStatus assemble(Section2007& s);
  const Page2007* page(int64_t id) const {
    auto it = pageIndex_.find(id);
    return it == pageIndex_.end() ? nullptr : &out_.pages[it->second];
  }

  Bytes file_;
  Container2007& out_;
  uint64_t budget_;
  std::unordered_map<int64_t, size_t> pageIndex_;
};

Acad::ErrorStatus Reader::readFileHeader() {
  Bytes plain = file_.first(kPlainHeaderSize);
  out_.maintenanceVersion = plain[0x0B];
  out_.previewAddress = le32(plain, 0x0D);
  out_.writerVersion = plain[0x11];
  out_.writerMaintenance = plain[0x12];
  out_.codePage = le16(plain, 0x13);
  out_.securityFlags = le32(plain, 0x18);
  out_.summaryInfoAddress = le32(plain, 0x20);
  out_.vbaProjectAddress = le32(plain, 0x24);
  out_.appInfoAddress = le32(plain, 0x2C);

  std::vector<uint8_t> data;
  rs::DecodeResult fix;
  rs::deinterleave(rs::Code::System, file_.subspan(kPlainHeaderSize, kCodedHeaderSize), 3, data, true,
                   &fix);
  out_.repairs.corrected += fix.corrected;
  out_.repairs.uncorrectable += fix.uncorrectable;
  if (fix.uncorrectable) note(out_.fileHeaderStatus, Acad::eDwgCRCDoesNotMatch);

  // A positive length: that many compressed bytes; otherwise the header is stored plain.
  const int32_t length = int32_t(le32(data, 24));
  std::array<uint8_t, sizeof(FileHeader2007)> raw{};
  if (length > 0) {
    size_t produced = 0;
    if (size_t(length) > data.size() - kHeaderPrefix ||
        !decompress2007(Bytes(data).subspan(kHeaderPrefix, size_t(length)), raw, &produced) ||
        produced != raw.size())
      return Acad::eBadDwgHeader;
  } else {
    std::memcpy(raw.data(), data.data() + kHeaderPrefix, raw.size());
  }
  int64_t fields[sizeof(FileHeader2007) / 8];
  for (size_t i = 0; i < std::size(fields); ++i) fields[i] = le64(raw, 8 * i);
  std::memcpy(&out_.header, fields, sizeof fields);

  const FileHeader2007& h = out_.header;
  for (int64_t v : {h.pagesMapOffset, h.pagesMapSizeCompressed, h.pagesMapSizeUncompressed,
                    h.sectionsMapSizeCompressed, h.sectionsMapSizeUncompressed, h.fileSize})
    if (v < 0 || uint64_t(v) > kMaxField) return Acad::eBadDwgHeader;
  for (int64_t v : {h.pagesMapCorrection, h.sectionsMapCorrection})
    if (v < 1 || uint64_t(v) > kMaxCorrection) return Acad::eBadDwgHeader;
  if (uint64_t(h.fileSize) > file_.size()) note(out_.fileHeaderStatus, Acad::eDwgNeedsRecovery);
  return Acad::eOk;
}

Acad::ErrorStatus Reader::readSystemPage(uint64_t address, int64_t compressed, int64_t uncompressed,
                                         int64_t correction, std::vector<uint8_t>& out) {
  out.clear();
  if (compressed <= 0 || uncompressed <= 0 || uint64_t(compressed) > kMaxField ||
      uint64_t(uncompressed) > kMaxField || correction < 1 || uint64_t(correction) > kMaxCorrection)
    return Acad::eDwgNeedsRecovery;
  // The compressed bytes, padded to 8, are written `correction` times before coding.
  const uint64_t coded = ((uint64_t(compressed) + 7) & ~uint64_t(7)) * uint64_t(correction);
  const uint64_t blocks = rs::blocksFor(rs::Code::System, coded);
  if (address > file_.size() || blocks > (file_.size() - address) / rs::kBlockSize)
    return Acad::eDwgNeedsRecovery;
  if (!charge(uint64_t(uncompressed)) || !charge(blocks * rs::dataBytes(rs::Code::System)))
    return Acad::eDwgNeedsRecovery;
  std::vector<uint8_t> data;
  rs::DecodeResult fix;
  rs::deinterleave(rs::Code::System, file_.subspan(size_t(address)), size_t(blocks), data, true, &fix);
  out_.repairs.corrected += fix.corrected;
  out_.repairs.uncorrectable += fix.uncorrectable;

  out.assign(size_t(uncompressed), 0);
  if (compressed < uncompressed) {
    size_t produced = 0;
    if (!decompress2007(Bytes(data).first(size_t(compressed)), out, &produced) ||
        produced != out.size())
      return fix.uncorrectable ? Acad::eDwgCRCDoesNotMatch : Acad::eDwgNeedsRecovery;
  } else {
    std::memcpy(out.data(), data.data(), out.size());
  }
  return fix.uncorrectable ? Acad::eDwgCRCDoesNotMatch : Acad::eOk;
}

Acad::ErrorStatus Reader::readPagesMap() {
  const FileHeader2007& h = out_.header;
  std::vector<uint8_t> map;
  Acad::ErrorStatus es = readSystemPage(kPagesStart + uint64_t(h.pagesMapOffset), h.pagesMapSizeCompressed,
                                        h.pagesMapSizeUncompressed, h.pagesMapCorrection, map);
  if (es != Acad::eOk && h.pagesMap2Offset >= 0 && uint64_t(h.pagesMap2Offset) <= kMaxField) {
    // The header also names a second copy of the pages map.
    std::vector<uint8_t> copy;
    if (readSystemPage(kPagesStart + uint64_t(h.pagesMap2Offset), h.pagesMapSizeCompressed,
                       h.pagesMapSizeUncompressed, h.pagesMapCorrection, copy) == Acad::eOk) {
      map.swap(copy);
      note(out_.fileHeaderStatus, es);  // damage repaired from the copy, still worth a report
      es = Acad::eOk;
    }
  }
  if (es != Acad::eOk) return es;
  if (map.size() % 16) return Acad::eDwgNeedsRecovery;

  uint64_t offset = kPagesStart;
  out_.pages.reserve(map.size() / 16);
  for (size_t at = 0; at < map.size(); at += 16) {
    const int64_t size = le64(map, at), id = le64(map, at + 8);
    if (size < 0 || uint64_t(size) > kMaxField) return Acad::eDwgNeedsRecovery;
    out_.pages.push_back({id, offset, uint64_t(size)});
    pageIndex_.emplace(id, out_.pages.size() - 1);  // the first of repeated ids wins
    offset += uint64_t(size);
  }
  return Acad::eOk;
}

Acad::ErrorStatus Reader::readSectionsMap() {
  const FileHeader2007& h = out_.header;
  Acad::ErrorStatus first = Acad::eOk;
  for (int64_t id : {h.sectionsMapId, h.sectionsMap2Id}) {
    const Page2007* p = page(id);
    std::vector<uint8_t> map;
    Acad::ErrorStatus es = p ? readSystemPage(p->offset, h.sectionsMapSizeCompressed,
                                              h.sectionsMapSizeUncompressed, h.sectionsMapCorrection, map)
                             : Acad::eDwgNeedsRecovery;
    if (es == Acad::eOk) {
      out_.sections.clear();
      es = parseSectionsMap(map);
    }
    if (es == Acad::eOk) {
      note(out_.fileHeaderStatus, first);  // read from the copy
      return Acad::eOk;
    }
    note(first, es);
  }
  return first;
}

Acad::ErrorStatus Reader::parseSectionsMap(Bytes map) {
  constexpr size_t kEntry = 64, kPageEntry = 56;
  size_t at = 0;
  while (map.size() - at >= kEntry) {
    Section2007 s;
    s.dataSize = uint64_t(le64(map, at));
    s.maxPageSize = uint64_t(le64(map, at + 8));
    s.encrypted = le64(map, at + 16);
    s.hash = le64(map, at + 24);
    const uint64_t nameBytes = uint64_t(le64(map, at + 32));
    s.encoding = le64(map, at + 48);
    const uint64_t pageCount = uint64_t(le64(map, at + 56));
    at += kEntry;
    if (nameBytes % 2 || nameBytes > map.size() - at) return Acad::eDwgNeedsRecovery;
    for (size_t i = 0; i < nameBytes; i += 2) s.name.push_back(char16_t(le16(map, at + i)));
    while (!s.name.empty() && s.name.back() == u'\0') s.name.pop_back();
    at += size_t(nameBytes);
    if (pageCount > (map.size() - at) / kPageEntry) return Acad::eDwgNeedsRecovery;
    s.pages.resize(size_t(pageCount));
    for (SectionPage2007& p : s.pages) {
      p.offset = uint64_t(le64(map, at));
      p.size = uint64_t(le64(map, at + 8));
      p.id = le64(map, at + 16);
      p.uncompressedSize = uint64_t(le64(map, at + 24));
      p.compressedSize = uint64_t(le64(map, at + 32));
      p.checksum = uint64_t(le64(map, at + 40));
      p.crc = uint64_t(le64(map, at + 48));
      at += kPageEntry;
    }
    out_.sections.push_back(std::move(s));
  }
  return at == map.size() ? Acad::eOk : Acad::eDwgNeedsRecovery;
}

Acad::ErrorStatus Reader::assemble(Section2007& s) {
  if (s.pages.empty()) return Acad::eOk;
  if (s.encrypted == 1) return Acad::eSecErrorDecryptingData;
  if (s.encoding != 1 && s.encoding != 4) return Acad::eDwgNeedsRecovery;
  if (s.dataSize > kMaxField || !charge(s.dataSize)) return Acad::eDwgNeedsRecovery;
  std::vector<uint8_t> data(size_t(s.dataSize), 0);
  std::vector<uint8_t> decoded;
  for (const SectionPage2007& sp : s.pages) {
    const Page2007* p = page(sp.id);
    if (!p || p->offset > file_.size() || p->size > file_.size() - p->offset)
      return Acad::eDwgNeedsRecovery;
    if (sp.offset > data.size() || sp.uncompressedSize > data.size() - sp.offset ||
        sp.compressedSize == 0 || sp.compressedSize > p->size)
      return Acad::eDwgNeedsRecovery;
    // Each page's work counts against the budget as well, so that a map naming the same large
    // page or region over and over cannot make the reading slow.
    if (!charge(sp.uncompressedSize) || !charge(sp.compressedSize)) return Acad::eDwgNeedsRecovery;
    Bytes stored = file_.subspan(size_t(p->offset), size_t(p->size));
    Bytes payload;
    bool damaged = false;
    if (s.encoding == 4) {
      const uint64_t blocks = rs::blocksFor(rs::Code::Data, (sp.compressedSize + 7) & ~uint64_t(7));
      if (blocks > stored.size() / rs::kBlockSize) return Acad::eDwgNeedsRecovery;
      decoded.clear();
      rs::DecodeResult fix;
      rs::deinterleave(rs::Code::Data, stored, size_t(blocks), decoded, true, &fix);
      out_.repairs.corrected += fix.corrected;
      out_.repairs.uncorrectable += fix.uncorrectable;
      damaged = fix.uncorrectable != 0;
      payload = Bytes(decoded).first(size_t(sp.compressedSize));
    } else {
      payload = stored.first(size_t(sp.compressedSize));
    }
    std::span<uint8_t> target(data.data() + sp.offset, size_t(sp.uncompressedSize));
    if (sp.compressedSize < sp.uncompressedSize) {
      size_t produced = 0;
      if (!decompress2007(payload, target, &produced) || produced != target.size())
        return damaged ? Acad::eDwgCRCDoesNotMatch : Acad::eDwgNeedsRecovery;
    } else {
      std::memcpy(target.data(), payload.data(), target.size());
    }
    if (damaged) return Acad::eDwgCRCDoesNotMatch;
  }
  s.data = std::move(data);
  return Acad::eOk;
}

Acad::ErrorStatus Reader::run() {
  Acad::ErrorStatus es = readFileHeader();
  if (es != Acad::eOk) return es;
  if ((es = readPagesMap()) != Acad::eOk) return es;
  if ((es = readSectionsMap()) != Acad::eOk) return es;
  for (Section2007& s : out_.sections) s.status = assemble(s);
  return Acad::eOk;
}

}  // namespace

bool decompress2007(std::span<const uint8_t> src, std::span<uint8_t> dst, size_t* produced) {
  Lz2007 lz(src, dst);
  bool ok = lz.run();
  if (produced) *produced = lz.produced();
  return ok;
}

const Section2007* Container2007::find(std::u16string_view name) const {
  for (const Section2007& s : sections)
    if (s.name == name) return &s;
  return nullptr;
}

std::span<const uint8_t> Container2007::sectionData(std::u16string_view name) const {
  const Section2007* s = find(name);
  return s && s->status == Acad::eOk ? std::span<const uint8_t>(s->data) : std::span<const uint8_t>();
}

std::vector<uint8_t> Container2007::takeSectionData(std::u16string_view name) {
  for (Section2007& s : sections)
    if (s.name == name) return s.status == Acad::eOk ? std::move(s.data) : std::vector<uint8_t>();
  return {};
}

Acad::ErrorStatus readContainer2007(std::span<const uint8_t> file, Container2007& out,
                                    const Limits2007& limits) {
  out = Container2007{};
  Version v{};
  if (!dwgVersionFromTag(file, &v)) return out.status = Acad::eBadDwgHeader;
  if (v != Version::R2007) return out.status = Acad::eInvalidDwgVersion;
  if (file.size() < kPagesStart) return out.status = Acad::eBadDwgHeader;

  uint64_t budget = limits.maxTotalBytes;
  if (budget == 0) budget = std::min<uint64_t>(uint64_t(file.size()) * 64 + (16u << 20), uint64_t(1) << 30);
  Reader reader(file, out, budget);
  if (Acad::ErrorStatus es = reader.run(); es != Acad::eOk) {
    note(out.fileHeaderStatus, es);
    return out.status = out.fileHeaderStatus;
  }
  note(out.status, out.fileHeaderStatus);

  // What a reader needs: header variables and classes (framed, as in R13-R2000), the object
  // map, and the objects it points into.
  struct Needed {
    const char16_t* name;
    const DwgSentinel* framing;
  };
  const Needed needed[] = {{u"AcDb:Header", &kSentinelHeaderVars},
                           {u"AcDb:Classes", &kSentinelClasses},
                           {u"AcDb:Handles", nullptr},
                           {u"AcDb:AcDbObjects", nullptr}};
  for (const Needed& n : needed) {
    const Section2007* s = out.find(n.name);
    if (!s || s->pages.empty()) {
      note(out.status, Acad::eFileMissingSections);
      continue;
    }
    note(out.status, s->status);
    if (s->status == Acad::eOk && n.framing) note(out.status, checkFramedRegion(s->data, *n.framing, nullptr));
  }
  const Section2007* handles = out.find(u"AcDb:Handles");
  const Section2007* objects = out.find(u"AcDb:AcDbObjects");
  if (handles && objects && handles->status == Acad::eOk && objects->status == Acad::eOk &&
      !handles->data.empty())
    note(out.status, decodeObjectMap(handles->data, objects->data.size(), out.objects));

  for (const Section2007& s : out.sections) {
    bool isNeeded = false;
    for (const Needed& n : needed) isNeeded = isNeeded || s.name == n.name;
    if (!isNeeded) note(out.optionalStatus, s.status);
  }
  return out.status;
}

}  // namespace kel::dwg
