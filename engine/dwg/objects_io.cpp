// Text conversion, handle arithmetic and the value readers shared by all object descriptions.
#include "engine/dwg/objects_io.h"

#include <algorithm>

#include "engine/dxf/dxf_text.h"

namespace kel::dwg {

namespace {

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string codePageToUtf8(const std::string& bytes, uint16_t codePage) {
  // Some writers store the terminating NUL with the text.
  const std::string_view text(bytes.data(), std::min(bytes.size(), bytes.find('\0')));
  // The DXF reader's conversion, by the code page's name (converters are cached by name).
  static uint16_t lastPage = 0xFFFF;
  static std::string lastName;
  if (codePage != lastPage) {
    lastPage = codePage;
    lastName = engine::dxf::iconvName(engine::dxf::dwgCodePageName(codePage));
  }
  return engine::dxf::toUtf8(text, lastName);
}

std::string utf16ToUtf8(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

int lineweightFromIndex(int index) {
  static constexpr int kWeights[24] = {0,  5,  9,  13, 15, 18, 20,  25,  30,  35,  40,  50,
                                       53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  if (index >= 0 && index < 24) return kWeights[index];
  if (index == 29) return -1;  // by layer
  if (index == 30) return -2;  // by block
  return -3;                   // default
}

Handle absoluteHandle(const HandleRef& r, Handle self) {
  switch (r.code) {
    case 0x6: return self + 1;
    case 0x8: return self - 1;
    case 0xA: return self + r.value;
    case 0xC: return self - r.value;
    default: return r.value;
  }
}

bool locateStringStream(const BitReader& r, size_t startBit, size_t endBit, BitReader& out) {
  out = BitReader(r.data(), 0, r.version());
  if (endBit == 0 || endBit > r.sizeBits() || endBit <= startBit) return endBit == startBit;
  BitReader p(r.data(), (r.sizeBits() + 7) / 8, r.version());
  size_t pos = endBit - 1;
  p.setPositionBits(pos);
  if (!p.B()) return true;  // no strings
  if (pos < startBit + 16) return false;
  pos -= 16;
  p.setPositionBits(pos);
  size_t size = p.RS();
  if (size & 0x8000) {
    if (pos < startBit + 16) return false;
    pos -= 16;
    p.setPositionBits(pos);
    size_t hi = p.RS();
    size = (size & 0x7FFF) | (hi << 15);
  }
  if (p.error() || size > pos - startBit) return false;
  out = BitReader(r.data(), (r.sizeBits() + 7) / 8, r.version());
  out.setPositionBits(pos - size);
  out.limitBits(pos);
  return true;
}

std::string ObjectReader::readText() {
  if (v_ >= Version::R2007) {
    BitReader& r = s_.separateStrings ? s_.strings : s_.data;
    return utf16ToUtf8(r.TU());
  }
  return codePageToUtf8(s_.data.T(), codePage_);
}

std::string ObjectReader::longText(int last, int more) {
  std::string v = readText();
  // Pieces of 250 bytes, never splitting a UTF-8 sequence.
  size_t pos = 0;
  while (v.size() - pos > 250) {
    size_t n = 250;
    while (n > 0 && (static_cast<unsigned char>(v[pos + n]) & 0xC0) == 0x80) --n;
    if (n == 0) n = 250;
    out_.push_back(Tag::str(more, v.substr(pos, n)));
    pos += n;
  }
  out_.push_back(Tag::str(last, v.substr(pos)));
  return v;
}

int16_t ObjectReader::CMC(int code) {
  BitReader* strings = s_.separateStrings ? &s_.strings : nullptr;
  CmColor c = s_.data.CMC(strings);
  if (code) out_.push_back(Tag::integer(code, c.index));
  if (v_ >= Version::R2004 && code) {
    // The true colour word: its top byte 0xC2 marks an RGB colour, 0xC3 an index.
    if ((c.rgb >> 24) == 0xC2) out_.push_back(Tag::integer(code == 62 ? 420 : 420, int64_t(c.rgb & 0xFFFFFF)));
    if (!c.name.empty()) {
      std::string name = utf16ToUtf8(c.name);
      if (!c.bookName.empty()) name = utf16ToUtf8(c.bookName) + "$" + name;
      out_.push_back(Tag::str(430, name));
    }
  }
  return c.index;
}

std::string ObjectReader::bytes(size_t n, int code) {
  std::string v;
  if (n * 8 > s_.data.remainingBits()) {
    s_.data.setError();
    return v;
  }
  v.resize(n);
  for (size_t i = 0; i < n; ++i) v[i] = char(s_.data.RC());
  if (code) {
    for (size_t pos = 0; pos < v.size(); pos += 127) {
      Tag t;
      t.code = int16_t(code);
      t.kind = engine::ValueKind::Binary;
      t.s = v.substr(pos, 127);
      out_.push_back(std::move(t));
    }
  }
  return v;
}

}  // namespace kel::dwg
