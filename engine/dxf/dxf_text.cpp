// DXF text conversions (see dxf_text.h).
#include "engine/dxf/dxf_text.h"

#include <iconv.h>

#include <cctype>
#include <cstdint>
#include <map>

namespace kel::engine::dxf {

namespace {

void putUtf8(std::string& out, uint32_t cp) {
  if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// CP1252's 0x80..0x9F row (the rest of the code page equals Latin-1).
const uint16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

uint32_t cp1252(unsigned char c) { return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c; }

bool allAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One iconv descriptor per code page, opened on first use (the engine is single-threaded) and
// closed when the process ends.
struct Converters {
  std::map<std::string, iconv_t> open;
  ~Converters() {
    for (auto& [name, cd] : open)
      if (cd != iconv_t(-1)) iconv_close(cd);
  }
};
iconv_t converter(const std::string& cp) {
  static Converters all;
  auto it = all.open.find(cp);
  if (it != all.open.end()) return it->second;
  iconv_t cd = iconv_open("UTF-8", cp.c_str());
  all.open[cp] = cd;
  return cd;
}

}  // namespace

std::string iconvName(std::string_view cp) {
  std::string u;
  for (char c : cp) u += char(std::toupper(static_cast<unsigned char>(c)));
  auto num = [&](size_t from) { return u.substr(from); };
  if (u.rfind("ANSI_", 0) == 0) return "CP" + num(5);
  if (u.rfind("DOS", 0) == 0) return "CP" + num(3);
  if (u.rfind("ISO8859-", 0) == 0) return "ISO-8859-" + num(8);
  if (u == "BIG5") return "BIG5";
  if (u == "GB2312") return "GBK";
  if (u == "KSC5601") return "CP949";
  if (u == "JOHAB") return "JOHAB";
  if (u == "UTF-8" || u == "UTF8") return "UTF-8";
  return "CP1252";
}

std::string dwgCodePageName(unsigned number) {
  switch (number) {
    case 28: return "ANSI_1250";
    case 29: return "ANSI_1251";
    case 30: return "ANSI_1252";
    case 31: return "ANSI_1253";
    case 32: return "ANSI_1254";
    case 33: return "ANSI_1255";
    case 34: return "ANSI_1256";
    case 35: return "ANSI_1257";
    case 36: return "ANSI_874";
    case 37: return "ANSI_932";
    case 38: return "ANSI_936";
    case 39: return "ANSI_949";
    case 40: return "ANSI_950";
    case 41: return "ANSI_1361";
    case 43: return "ANSI_1258";
    default: return "ANSI_1252";
  }
}

std::string toUtf8(std::string_view bytes, const std::string& cp) {
  if (allAscii(bytes)) return std::string(bytes);
  std::string out;
  if (cp == "CP1252" || cp == "UTF-8") {
    if (cp == "UTF-8") {
      std::string s(bytes);
      repairUtf8(s);
      return s;
    }
    for (unsigned char c : bytes) putUtf8(out, cp1252(c));
    return out;
  }
  iconv_t cd = converter(cp);
  if (cd == iconv_t(-1)) {
    for (unsigned char c : bytes) putUtf8(out, cp1252(c));
    return out;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in(bytes);
  char* src = in.data();
  size_t left = in.size();
  std::string buf(in.size() * 4 + 16, '\0');
  while (left > 0) {
    char* dst = buf.data();
    size_t room = buf.size();
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf.data(), size_t(dst - buf.data()));
    if (r == size_t(-1)) {
      if (left == 0) break;
      // A byte the code page cannot convert: replace it and go on.
      putUtf8(out, 0xFFFD);
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool repairUtf8(std::string& s) {
  size_t i = 0;
  auto seqLen = [&](size_t at) -> size_t {
    unsigned char c = static_cast<unsigned char>(s[at]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || at + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[at + k]) & 0xC0) != 0x80) return 0;
    if (n == 2 && c < 0xC2) return 0;  // overlong
    return n;
  };
  bool valid = true;
  for (; i < s.size();) {
    size_t n = seqLen(i);
    if (!n) {
      valid = false;
      break;
    }
    i += n;
  }
  if (valid) return true;
  std::string out = s.substr(0, i);
  while (i < s.size()) {
    size_t n = seqLen(i);
    if (n) {
      out.append(s, i, n);
      i += n;
    } else {
      putUtf8(out, cp1252(static_cast<unsigned char>(s[i])));
      ++i;
    }
  }
  s = std::move(out);
  return false;
}

void decodeEscapes(std::string& s) {
  if (s.find('\\') == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\\' && i + 7 <= s.size() && (s[i + 1] == 'U' || s[i + 1] == 'u') && s[i + 2] == '+') {
      int a = hexValue(s[i + 3]), b = hexValue(s[i + 4]), c = hexValue(s[i + 5]), d = hexValue(s[i + 6]);
      if (a >= 0 && b >= 0 && c >= 0 && d >= 0) {
        putUtf8(out, uint32_t(a << 12 | b << 8 | c << 4 | d));
        i += 7;
        continue;
      }
    }
    if (s[i] == '\\' && i + 8 <= s.size() && (s[i + 1] == 'M' || s[i + 1] == 'm') && s[i + 2] == '+' &&
        s[i + 3] >= '1' && s[i + 3] <= '5') {
      int a = hexValue(s[i + 4]), b = hexValue(s[i + 5]), c = hexValue(s[i + 6]), d = hexValue(s[i + 7]);
      if (a >= 0 && b >= 0 && c >= 0 && d >= 0) {
        static const char* pages[] = {"CP932", "BIG5", "CP949", "JOHAB", "GBK"};
        char bytes[2] = {char(a << 4 | b), char(c << 4 | d)};
        out += toUtf8(std::string_view(bytes, 2), pages[s[i + 3] - '1']);
        i += 8;
        continue;
      }
    }
    out += s[i++];
  }
  s = std::move(out);
}

void decodeCarets(std::string& s) {
  if (s.find('^') == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '^' && i + 1 < s.size()) {
      char n = s[i + 1];
      if (n == ' ') {
        out += '^';
        ++i;
        continue;
      }
      if (n >= '@' && n <= '_') {
        out += char(n - '@');
        ++i;
        continue;
      }
    }
    out += s[i];
  }
  s = std::move(out);
}

std::string encodeCarets(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 4);
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20) {
      out += '^';
      out += char(u + '@');
    } else if (c == '^') {
      out += "^ ";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kel::engine::dxf
