// Reading and writing DXF groups (see dxf_tags.h).
#include "engine/dxf/dxf_tags.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstring>

#include "engine/dxf/dxf_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kel::engine::dxf {

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool parseInt(std::string_view s, int64_t& v) {
  s = trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec == std::errc() && r.ptr == s.data() + s.size()) return true;
  // Some writers put reals where integers belong ("1.0"): take the integral part.
  double d = 0;
  auto r2 = std::from_chars(s.data(), s.data() + s.size(), d);
  if (r2.ec == std::errc() && r2.ptr == s.data() + s.size() && std::isfinite(d) && std::fabs(d) < 9.2e18) {
    v = int64_t(d);
    return true;
  }
  return false;
}

bool parseReal(std::string_view s, double& v) {
  s = trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool parseHex(std::string_view s, uint64_t& v) {
  s = trim(s);
  if (s.empty()) {
    v = 0;
    return true;
  }
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Value of a hexadecimal digit, or -1.
constexpr int8_t hexDigit(char c) {
  return c >= '0' && c <= '9' ? int8_t(c - '0')
         : c >= 'a' && c <= 'f' ? int8_t(c - 'a' + 10)
         : c >= 'A' && c <= 'F' ? int8_t(c - 'A' + 10)
                                : int8_t(-1);
}

// Binary chunks (310..319) are long runs of hex digit pairs: decoded by table, two digits a byte.
bool unhex(std::string_view s, TagText& out) {
  static const auto table = [] {
    std::array<int8_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[size_t(c)] = hexDigit(char(c));
    return t;
  }();
  s = trim(s);
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  const auto* in = reinterpret_cast<const unsigned char*>(s.data());
  char* o = out.data();
  for (size_t i = 0; i < out.size(); ++i) {
    const int hi = table[in[2 * i]], lo = table[in[2 * i + 1]];
    if ((hi | lo) < 0) return false;
    o[i] = char(hi << 4 | lo);
  }
  return true;
}

// Fills t's value from the ASCII text; false when the text is not a value of the code's kind
// (the value is then left at zero/empty).
bool setValue(Tag& t, std::string_view text) {
  switch (t.kind) {
    case ValueKind::String:
      t.s.assign(text);
      return true;
    case ValueKind::Double:
      return parseReal(text, t.d);
    case ValueKind::Int16:
    case ValueKind::Int32:
    case ValueKind::Int64:
    case ValueKind::Bool:
      return parseInt(text, t.i);
    case ValueKind::Handle: {
      uint64_t h = 0;
      bool ok = parseHex(text, h);
      t.i = int64_t(h);
      return ok;
    }
    case ValueKind::Binary:
      return unhex(text, t.s);
  }
  return false;
}

const char* kindName(ValueKind k) {
  switch (k) {
    case ValueKind::Double: return "a real";
    case ValueKind::Handle: return "a handle";
    case ValueKind::Binary: return "hex data";
    case ValueKind::String: return "text";
    default: return "an integer";
  }
}

// The usual form of a group code line: optional blanks, up to four digits, optional blanks.
// Anything else goes through parseInt, which also names what is wrong.
bool quickCode(std::string_view l, int& code) {
  const char* p = l.data();
  const char* e = p + l.size();
  while (p < e && (*p == ' ' || *p == '\t')) ++p;
  const char* d = p;
  int v = 0;
  while (p < e && p - d < 4 && unsigned(*p - '0') < 10) v = v * 10 + (*p++ - '0');
  if (p == d) return false;
  while (p < e && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
  if (p != e || !isKnownCode(v)) return false;
  code = v;
  return true;
}

void clearValue(Tag& t) {
  t.i = 0;  // the real shares this storage: 0.0 too
  t.s.clear();
}

}  // namespace

TagReader::TagReader(std::string_view data, DxfLog& log) : m_data(data), m_log(log) {
  if (data.size() >= kBinarySentinel.size() && data.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    m_binary = true;
    m_pos = kBinarySentinel.size();
    // R12 binary files give codes in one byte (255 escapes a two-byte code); later ones in two.
    m_wideCodes = data.size() >= m_pos + 2 && data[m_pos] == 0 && data[m_pos + 1] == 0;
  } else if (data.empty()) {
    fail(Acad::eUnknownDxfFileFormat);
  } else if (data.size() >= 3 && data.substr(0, 3) == "\xEF\xBB\xBF") {
    m_pos = 3;  // UTF-8 byte order mark
  }
}

bool TagReader::next(Tag& t, uint32_t& at) {
  if (m_done) return false;
  bool got = m_binary ? nextBinary(t, at) : nextAscii(t, at);
  if (got) ++m_count;
  else m_done = true;
  return got;
}

bool TagReader::line(std::string_view& l) {
  if (m_pos >= m_data.size()) return false;
  const char* start = m_data.data() + m_pos;
  const void* nl = std::memchr(start, '\n', m_data.size() - m_pos);
  size_t len = nl ? size_t(static_cast<const char*>(nl) - start) : m_data.size() - m_pos;
  l = std::string_view(start, len);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  m_pos += len + (nl ? 1 : 0);
  ++m_line;
  return true;
}

bool TagReader::nextAscii(Tag& t, uint32_t& at) {
  std::string_view codeLine, valueLine;
  while (true) {
    if (!line(codeLine)) return false;
    if (m_pos >= m_data.size() && trim(codeLine).empty()) return false;  // trailing empty line
    const uint32_t codeAt = m_line;
    int code = 0;
    if (!quickCode(codeLine, code)) {
      int64_t c = 0;
      if (!parseInt(codeLine, c) || trim(codeLine).find('.') != std::string_view::npos || !isKnownCode(int(c))) {
        if (m_count == 0) return fail(Acad::eUnknownDxfFileFormat);
        m_log.problem(codeAt, -1, "\"" + std::string(codeLine.substr(0, 40)) + "\" is not a valid group code",
                      "reading stopped");
        return fail(Acad::eInvalidDxfCode);
      }
      code = int(c);
    }
    if (!line(valueLine)) {
      m_log.problem(codeAt, code, "the file ends before the group's value", "reading stopped");
      return fail(Acad::eDxfReadAborted);
    }
    if (code == 999) continue;  // comment
    t.code = int16_t(code);
    t.kind = kindOf(code);
    clearValue(t);
    if (t.kind == ValueKind::String) {
      if (code == 0 || code == 9) {  // names: tolerate padding
        std::string_view v = trim(valueLine);
        if (code == 0 && v == "EOF") {
          m_sawEof = true;
          return false;
        }
        t.s.assign(v);
      } else {
        t.s.assign(valueLine);
      }
    } else if (t.kind == ValueKind::Handle && !setValue(t, valueLine)) {
      // Not a handle after all (R12 dimension styles name their arrow blocks with code 5).
      t.kind = ValueKind::String;
      t.i = 0;
      t.s.assign(valueLine);
    } else if (t.kind != ValueKind::Handle && !setValue(t, valueLine)) {
      m_log.problem(codeAt + 1, code,
                    "\"" + std::string(valueLine.substr(0, 40)) + "\" is not " + kindName(t.kind), "0 used");
      m_partial = true;
    }
    at = codeAt;
    return true;
  }
}

bool TagReader::nextBinary(Tag& t, uint32_t& at) {
  auto need = [&](size_t n) { return m_pos + n <= m_data.size(); };
  auto rd = [&](void* dst, size_t n) {
    std::memcpy(dst, m_data.data() + m_pos, n);
    m_pos += n;
  };
  while (m_pos < m_data.size()) {
    const uint32_t here = uint32_t(m_pos);
    int code = 0;
    if (m_wideCodes) {
      if (!need(2)) return fail(Acad::eDxfReadAborted);
      int16_t c;
      rd(&c, 2);
      code = c;
    } else {
      uint8_t c;
      rd(&c, 1);
      code = c;
      if (c == 255) {
        if (!need(2)) return fail(Acad::eDxfReadAborted);
        int16_t w;
        rd(&w, 2);
        code = w;
      }
    }
    if (!isKnownCode(code)) {
      m_log.problem(here, code, "not a valid group code", "reading stopped");
      return fail(m_count == 0 ? Acad::eUnknownDxfFileFormat : Acad::eInvalidDxfCode);
    }
    t.code = int16_t(code);
    t.kind = kindOf(code);
    clearValue(t);
    bool ok = true;
    switch (t.kind) {
      case ValueKind::String:
      case ValueKind::Handle: {
        const void* z = std::memchr(m_data.data() + m_pos, 0, m_data.size() - m_pos);
        if (!z) {
          m_log.problem(here, code, "the file ends inside a text value", "reading stopped");
          return fail(Acad::eDxfReadAborted);
        }
        std::string_view v(m_data.data() + m_pos, size_t(static_cast<const char*>(z) - (m_data.data() + m_pos)));
        m_pos += v.size() + 1;
        uint64_t h = 0;
        if (t.kind == ValueKind::Handle && parseHex(v, h)) {
          t.i = int64_t(h);
        } else {
          t.kind = ValueKind::String;  // not a handle after all (see the ASCII reader)
          t.s.assign(v);
        }
        break;
      }
      case ValueKind::Double:
        if (!need(8)) ok = false;
        else {
          rd(&t.d, 8);
          if (!std::isfinite(t.d)) {
            m_log.problem(here, code, "a real that is not finite", "0 used");
            m_partial = true;
            t.d = 0;
          }
        }
        break;
      case ValueKind::Int16: {
        int16_t v;
        if (!need(2)) ok = false;
        else rd(&v, 2), t.i = v;
        break;
      }
      case ValueKind::Int32: {
        int32_t v;
        if (!need(4)) ok = false;
        else rd(&v, 4), t.i = v;
        break;
      }
      case ValueKind::Int64:
        if (!need(8)) ok = false;
        else rd(&t.i, 8);
        break;
      case ValueKind::Bool: {
        uint8_t v;
        if (!need(1)) ok = false;
        else rd(&v, 1), t.i = v;
        break;
      }
      case ValueKind::Binary: {
        uint8_t n;
        if (!need(1)) {
          ok = false;
          break;
        }
        rd(&n, 1);
        if (!need(n)) ok = false;
        else t.s.assign(m_data.data() + m_pos, n), m_pos += n;
        break;
      }
    }
    if (!ok) {
      m_log.problem(here, code, "the file ends inside a value", "reading stopped");
      return fail(Acad::eDxfReadAborted);
    }
    if (code == 999) continue;
    if (code == 0 && t.s == "EOF") {
      m_sawEof = true;
      return false;
    }
    at = here;
    return true;
  }
  return false;
}

namespace {

// The line ends of a stretch of text, one after the other. Sixteen bytes are compared at a time
// where the processor offers it: the look-ahead passes over every line of a section, and most
// DXF lines are only a few bytes long, so a call per line would cost more than the comparing.
class LineEnds {
 public:
  LineEnds(const char* from, const char* to) : m_at(from), m_end(to) {}
  // The next '\n', or null at the end.
  const char* next() {
    while (m_mask == 0) {
      if (m_at >= m_end) return nullptr;
      m_block = m_at;
#if defined(__SSE2__)
      if (m_end - m_at >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_at));
        m_mask = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        m_at += 16;
        continue;
      }
#endif
      const std::ptrdiff_t n = std::min<std::ptrdiff_t>(16, m_end - m_at);
      for (std::ptrdiff_t k = 0; k < n; ++k)
        if (m_at[k] == '\n') m_mask |= 1u << k;
      m_at += n;
    }
    const int k = __builtin_ctz(m_mask);
    m_mask &= m_mask - 1;
    return m_block + k;
  }

 private:
  const char* m_at;
  const char* m_end;
  const char* m_block = nullptr;
  uint32_t m_mask = 0;
};

// True for a group code line that says 0 (blanks around it allowed).
bool isZeroCode(const char* p, const char* e) {
  while (p < e && (*p == ' ' || *p == '\t')) ++p;
  if (p == e || *p != '0') return false;
  for (++p; p < e; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  return true;
}

}  // namespace

void TagReader::scanRecords(bool (*f)(void*, std::string_view), void* ctx) const {
  if (m_done) return;
  if (m_binary) return scanBinary(f, ctx);
  // The reader stops after a whole group, so lines alternate from here: code, value, code, ...
  const char* e = m_data.data() + m_data.size();
  const char* line = m_data.data() + m_pos;
  LineEnds ends(line, e);
  bool codeLine = true;
  while (line < e) {
    const char* nl = ends.next();
    const char* end = nl ? nl : e;
    if (codeLine && isZeroCode(line, end)) {
      if (!nl) return;
      const char* nl2 = ends.next();
      if (!f(ctx, trim(std::string_view(nl + 1, size_t((nl2 ? nl2 : e) - (nl + 1)))))) return;
      if (!nl2) return;
      line = nl2 + 1;
      continue;
    }
    if (!nl) return;
    line = nl + 1;
    codeLine = !codeLine;
  }
}

void TagReader::scanBinary(bool (*f)(void*, std::string_view), void* ctx) const {
  const char* p = m_data.data() + m_pos;
  const char* e = m_data.data() + m_data.size();
  while (p < e) {
    int code = 0;
    if (m_wideCodes || uint8_t(*p) == 255) {
      if (!m_wideCodes) ++p;
      if (e - p < 2) return;
      int16_t c;
      std::memcpy(&c, p, 2);
      code = c;
      p += 2;
    } else {
      code = uint8_t(*p++);
    }
    if (!isKnownCode(code)) return;
    size_t size = 0;
    switch (kindOf(code)) {
      case ValueKind::String:
      case ValueKind::Handle: {
        const void* z = std::memchr(p, 0, size_t(e - p));
        if (!z) return;
        const char* v = p;
        p = static_cast<const char*>(z) + 1;
        if (code == 0 && !f(ctx, trim(std::string_view(v, size_t(p - 1 - v))))) return;
        continue;
      }
      case ValueKind::Double:
      case ValueKind::Int64: size = 8; break;
      case ValueKind::Int32: size = 4; break;
      case ValueKind::Int16: size = 2; break;
      case ValueKind::Bool: size = 1; break;
      case ValueKind::Binary:
        if (p >= e) return;
        size = 1 + uint8_t(*p);
        break;
    }
    if (size_t(e - p) < size) return;
    p += size;
  }
}

Acad::ErrorStatus readTags(std::string_view data, TagList& out, DxfLog& log) {
  TagReader r(data, log);
  out.binary = r.binary();
  Tag t;
  uint32_t at = 0;
  while (r.next(t, at)) {
    out.tags.push_back(std::move(t));
    out.lines.push_back(at);
  }
  out.sawEof = r.sawEof();
  out.partial = r.partial();
  return r.status();
}

namespace {

// Longest text writeReal produces for the precisions it formats itself.
constexpr int kMaxRealDigits = 40;
constexpr size_t kRealRoom = kMaxRealDigits + 16;

// The first p significant digits of |v| (p <= 17), rounded to nearest, and the decimal exponent
// of the first: N = round(|v| * 10^s) with 10^(p-1) <= N < 10^p, worked out exactly in 128-bit
// integers. This is the common case of a drawing's coordinates and costs a fraction of the general
// conversion; it answers false (and std::to_chars does the work) for magnitudes whose scaled value
// does not fit, subnormals and exact halfway cases.
bool exactDigits(double v, int p, char* digits, int& exp) {
  using U128 = unsigned __int128;
  static constexpr int kMaxScale = 22;  // 10^22 * 2^53 < 2^127
  static const auto kPow10 = [] {
    std::array<U128, kMaxScale + 1> t{};
    t[0] = 1;
    for (int i = 1; i <= kMaxScale; ++i) t[size_t(i)] = t[size_t(i - 1)] * 10;
    return t;
  }();
  if (p > 17) return false;
  const uint64_t bits = std::bit_cast<uint64_t>(v) & ~(uint64_t(1) << 63);
  const int biased = int(bits >> 52);
  if (biased == 0 || biased == 0x7FF) return false;
  const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
  const int q = biased - 1075;  // |v| = m * 2^q
  int e = ((biased - 1023) * 78913) >> 18;  // floor(log10(2^(biased-1023))): within one of the answer
  const U128 low = kPow10[size_t(p - 1)], high = kPow10[size_t(p)];
  for (int tries = 0; tries < 3; ++tries) {
    const int scale = p - 1 - e;
    if (scale < 0 || scale > kMaxScale) return false;
    const U128 scaled = U128(m) * kPow10[size_t(scale)];
    U128 n;
    if (q >= 0) {
      if (q > 10) return false;
      n = scaled << q;
    } else {
      const int shift = -q;
      if (shift >= 127) return false;
      n = scaled >> shift;
      const U128 rest = scaled & ((U128(1) << shift) - 1), half = U128(1) << (shift - 1);
      if (rest == half) return false;  // a tie: left to the general conversion's rule
      if (rest > half) ++n;
    }
    if (n >= high) {
      ++e;
      continue;
    }
    if (n < low) {
      --e;
      continue;
    }
    // Two digits at a time from the right.
    static constexpr char kPairs[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
        "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
    uint64_t w = uint64_t(n);
    int k = p;
    for (; k >= 2; k -= 2) {
      std::memcpy(digits + k - 2, kPairs + 2 * (w % 100), 2);
      w /= 100;
    }
    if (k) digits[0] = char('0' + w);
    exp = e;
    return true;
  }
  return false;
}

// The real in `%.*G` form followed by ".0" when the mantissa has no decimal point, written into
// buf (kRealRoom bytes); answers the length. The digits come from std::to_chars (exactly rounded
// like printf, but with no locale and no format parsing): P significant digits in scientific form
// give the decimal exponent X after rounding; %G then chooses fixed notation when -4 <= X < P,
// drops trailing zeros, and uses at least two exponent digits otherwise.
size_t writeReal(char* buf, double v, int precision) {
  if (!std::isfinite(v)) v = 0;
  if (v == 0) {
    std::memcpy(buf, "0.0", 3);
    return 3;
  }
  // Forty digits is far past what a double holds (17); larger requests are written with forty.
  const int p = precision < 1 ? 1 : precision > kMaxRealDigits ? kMaxRealDigits : precision;
  char* o = buf;
  if (v < 0) *o++ = '-';
  char digits[kMaxRealDigits + 1];
  int nd = p;
  int exp = 0;
  if (!exactDigits(v, p, digits, exp)) {
    char sci[kRealRoom];
    auto r = std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, p - 1);
    // sci: d[.ddd]e(+|-)xx
    nd = 0;
    const char* q = sci;
    for (; q < r.ptr && *q != 'e'; ++q)
      if (*q != '.') digits[nd++] = *q;
    std::from_chars(q + 1 + (q[1] == '+'), r.ptr, exp);
  }
  while (nd > 1 && digits[nd - 1] == '0') --nd;  // %G drops trailing zeros
  if (exp >= -4 && exp < p) {
    if (exp >= 0) {
      const int whole = exp + 1;
      for (int k = 0; k < whole; ++k) *o++ = k < nd ? digits[k] : '0';
      *o++ = '.';
      if (nd > whole) {
        std::memcpy(o, digits + whole, size_t(nd - whole));
        o += nd - whole;
      } else {
        *o++ = '0';
      }
    } else {
      *o++ = '0';
      *o++ = '.';
      for (int k = 0; k < -exp - 1; ++k) *o++ = '0';
      std::memcpy(o, digits, size_t(nd));
      o += nd;
    }
  } else {
    *o++ = digits[0];
    *o++ = '.';
    if (nd > 1) {
      std::memcpy(o, digits + 1, size_t(nd - 1));
      o += nd - 1;
    } else {
      *o++ = '0';
    }
    *o++ = 'E';
    *o++ = exp < 0 ? '-' : '+';
    const int ax = exp < 0 ? -exp : exp;
    if (ax < 10) *o++ = '0';
    o = std::to_chars(o, buf + kRealRoom, ax).ptr;
  }
  return size_t(o - buf);
}

// "%3d\r\n": the group code right-aligned in three columns.
char* putCode(char* p, int code) {
  if (code >= 0 && code < 1000) {
    p[0] = code >= 100 ? char('0' + code / 100) : ' ';
    p[1] = code >= 10 ? char('0' + code / 10 % 10) : ' ';
    p[2] = char('0' + code % 10);
    p += 3;
  } else {
    char tmp[8];
    char* e = std::to_chars(tmp, tmp + sizeof tmp, code).ptr;
    for (std::ptrdiff_t k = e - tmp; k < 3; ++k) *p++ = ' ';
    std::memcpy(p, tmp, size_t(e - tmp));
    p += e - tmp;
  }
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

// Right-aligned in `width` columns (as %*lld).
char* putInt(char* p, int64_t v, int width) {
  char tmp[24];
  char* e = std::to_chars(tmp, tmp + sizeof tmp, v).ptr;
  for (std::ptrdiff_t k = e - tmp; k < width; ++k) *p++ = ' ';
  std::memcpy(p, tmp, size_t(e - tmp));
  return p + (e - tmp);
}

// Upper-case hexadecimal (as %llX).
char* putHex(char* p, uint64_t v) {
  char* e = std::to_chars(p, p + 16, v, 16).ptr;
  for (char* c = p; c < e; ++c)
    if (*c >= 'a') *c = char(*c - 'a' + 'A');
  return e;
}

// True when the text must be written in caret notation (a control character or a caret).
bool needsCarets(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == '^') return true;
  return false;
}

}  // namespace

std::string formatReal(double v, int precision) {
  char buf[kRealRoom];
  return std::string(buf, writeReal(buf, v, precision));
}

void appendString(std::string& out, int code, std::string_view s) {
  char line[16];
  out.append(line, size_t(putCode(line, code) - line));
  if (needsCarets(s)) out += encodeCarets(s);
  else out.append(s);
  out.append("\r\n", 2);
}

void appendHandle(std::string& out, int code, uint64_t h) {
  char line[40];
  char* p = putHex(putCode(line, code), h);
  *p++ = '\r';
  *p++ = '\n';
  out.append(line, size_t(p - line));
}

void appendTag(std::string& out, const Tag& t, int precision) {
  if (t.kind == ValueKind::String) return appendString(out, t.code, t.s);
  char line[kRealRoom + 48];
  char* p = putCode(line, t.code);
  switch (t.kind) {
    case ValueKind::Double:
      p += writeReal(p, t.d, precision);
      break;
    case ValueKind::Int16:
    case ValueKind::Bool:
      p = putInt(p, t.i, 6);
      break;
    case ValueKind::Int32:
    case ValueKind::Int64:
      p = putInt(p, t.i, 0);
      break;
    case ValueKind::Handle:
      p = putHex(p, uint64_t(t.i));
      break;
    case ValueKind::Binary: {
      static const char* digits = "0123456789ABCDEF";
      out.append(line, size_t(p - line));
      const size_t at = out.size();
      out.resize(at + 2 * t.s.size());
      char* h = out.data() + at;
      for (unsigned char c : t.s) {
        *h++ = digits[c >> 4];
        *h++ = digits[c & 15];
      }
      out.append("\r\n", 2);
      return;
    }
    case ValueKind::String:
      break;
  }
  *p++ = '\r';
  *p++ = '\n';
  out.append(line, size_t(p - line));
}

}  // namespace kel::engine::dxf
