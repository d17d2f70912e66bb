// Reading and writing DXF groups (see dxf_tags.h).
#include "engine/dxf/dxf_tags.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/dxf/dxf_text.h"

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

bool unhex(std::string_view s, std::string& out) {
  s = trim(s);
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned v = 0;
    auto r = std::from_chars(s.data() + 2 * i, s.data() + 2 * i + 2, v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + 2 * i + 2) return false;
    out[i] = char(v);
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

Acad::ErrorStatus readAscii(std::string_view data, TagList& out, DxfLog& log) {
  size_t pos = 0;
  uint32_t line = 0;
  if (data.size() >= 3 && data.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;  // UTF-8 byte order mark
  auto nextLine = [&](std::string_view& l) -> bool {
    if (pos >= data.size()) return false;
    const char* start = data.data() + pos;
    const void* nl = std::memchr(start, '\n', data.size() - pos);
    size_t len = nl ? size_t(static_cast<const char*>(nl) - start) : data.size() - pos;
    l = std::string_view(start, len);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    pos += len + (nl ? 1 : 0);
    ++line;
    return true;
  };
  std::string_view codeLine, valueLine;
  while (true) {
    if (!nextLine(codeLine)) break;
    if (trim(codeLine).empty() && pos >= data.size()) break;  // trailing empty line
    uint32_t codeAt = line;
    int64_t code = 0;
    if (!parseInt(codeLine, code) || trim(codeLine).find('.') != std::string_view::npos ||
        !isKnownCode(int(code))) {
      if (out.tags.empty()) return Acad::eUnknownDxfFileFormat;
      log.problem(codeAt, -1, "\"" + std::string(codeLine.substr(0, 40)) + "\" is not a valid group code",
                  "reading stopped");
      return Acad::eInvalidDxfCode;
    }
    if (!nextLine(valueLine)) {
      log.problem(codeAt, int(code), "the file ends before the group's value", "reading stopped");
      return Acad::eDxfReadAborted;
    }
    if (code == 999) continue;  // comment
    Tag t;
    t.code = int16_t(code);
    t.kind = kindOf(int(code));
    if (t.kind == ValueKind::Handle && !setValue(t, valueLine)) {
      // Not a handle after all (R12 dimension styles name their arrow blocks with code 5).
      t.kind = ValueKind::String;
      t.i = 0;
      t.s.assign(valueLine);
    } else if (t.kind == ValueKind::String) {
      t.s.assign(valueLine);
    } else if (!setValue(t, valueLine)) {
      log.problem(codeAt + 1, int(code),
                  "\"" + std::string(valueLine.substr(0, 40)) + "\" is not " + kindName(t.kind), "0 used");
      out.partial = true;
    }
    if (code == 0 && trim(valueLine) == "EOF") {
      out.sawEof = true;
      return Acad::eOk;
    }
    if (code == 0 || code == 2 || code == 9) {  // names: tolerate padding
      std::string_view v = trim(valueLine);
      if (code == 0 || code == 9) t.s.assign(v);
    }
    out.tags.push_back(std::move(t));
    out.lines.push_back(codeAt);
  }
  return Acad::eOk;
}

Acad::ErrorStatus readBinary(std::string_view data, TagList& out, DxfLog& log) {
  size_t pos = kBinarySentinel.size();
  // R12 binary files give codes in one byte (255 escapes a two-byte code); later ones in two.
  bool wideCodes = data.size() >= pos + 2 && data[pos] == 0 && data[pos + 1] == 0;
  auto need = [&](size_t n) { return pos + n <= data.size(); };
  auto rd = [&](void* dst, size_t n) {
    std::memcpy(dst, data.data() + pos, n);
    pos += n;
  };
  while (pos < data.size()) {
    uint32_t at = uint32_t(pos);
    int code = 0;
    if (wideCodes) {
      if (!need(2)) return Acad::eDxfReadAborted;
      int16_t c;
      rd(&c, 2);
      code = c;
    } else {
      uint8_t c;
      rd(&c, 1);
      code = c;
      if (c == 255) {
        if (!need(2)) return Acad::eDxfReadAborted;
        int16_t w;
        rd(&w, 2);
        code = w;
      }
    }
    if (!isKnownCode(code)) {
      log.problem(at, code, "not a valid group code", "reading stopped");
      return out.tags.empty() ? Acad::eUnknownDxfFileFormat : Acad::eInvalidDxfCode;
    }
    Tag t;
    t.code = int16_t(code);
    t.kind = kindOf(code);
    bool ok = true;
    switch (t.kind) {
      case ValueKind::String:
      case ValueKind::Handle: {
        const void* z = std::memchr(data.data() + pos, 0, data.size() - pos);
        if (!z) {
          log.problem(at, code, "the file ends inside a text value", "reading stopped");
          return Acad::eDxfReadAborted;
        }
        std::string_view v(data.data() + pos, size_t(static_cast<const char*>(z) - (data.data() + pos)));
        pos += v.size() + 1;
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
            log.problem(at, code, "a real that is not finite", "0 used");
            out.partial = true;
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
        else t.s.assign(data.data() + pos, n), pos += n;
        break;
      }
    }
    if (!ok) {
      log.problem(at, code, "the file ends inside a value", "reading stopped");
      return Acad::eDxfReadAborted;
    }
    if (code == 999) continue;
    if (code == 0 && t.s == "EOF") {
      out.sawEof = true;
      return Acad::eOk;
    }
    out.tags.push_back(std::move(t));
    out.lines.push_back(at);
  }
  return Acad::eOk;
}

}  // namespace

Acad::ErrorStatus readTags(std::string_view data, TagList& out, DxfLog& log) {
  if (data.size() >= kBinarySentinel.size() && data.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    out.binary = true;
    return readBinary(data, out, log);
  }
  if (data.empty()) return Acad::eUnknownDxfFileFormat;
  return readAscii(data, out, log);
}

std::string formatReal(double v, int precision) {
  if (!std::isfinite(v)) v = 0;
  if (v == 0) return "0.0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", precision, v);
  std::string s(buf);
  size_t e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string exp = e == std::string::npos ? "" : s.substr(e);
  if (mant.find('.') == std::string::npos) mant += ".0";
  return mant + exp;
}

void appendTag(std::string& out, const Tag& t, int precision) {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%3d\r\n", int(t.code));
  out.append(buf, size_t(n));
  switch (t.kind) {
    case ValueKind::String:
      if (t.s.find_first_of("^\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0b\x0c\r\x0e\x0f\x10\x11\x12\x13\x14\x15"
                            "\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f") == std::string::npos &&
          t.s.find('\0') == std::string::npos)
        out += t.s;
      else
        out += encodeCarets(t.s);
      break;
    case ValueKind::Double:
      out += formatReal(t.d, precision);
      break;
    case ValueKind::Int16:
    case ValueKind::Bool:
      n = std::snprintf(buf, sizeof buf, "%6lld", static_cast<long long>(t.i));
      out.append(buf, size_t(n));
      break;
    case ValueKind::Int32:
    case ValueKind::Int64:
      n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(t.i));
      out.append(buf, size_t(n));
      break;
    case ValueKind::Handle:
      n = std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(t.i));
      out.append(buf, size_t(n));
      break;
    case ValueKind::Binary: {
      static const char* digits = "0123456789ABCDEF";
      for (unsigned char c : t.s) {
        out += digits[c >> 4];
        out += digits[c & 15];
      }
      break;
    }
  }
  out += "\r\n";
}

}  // namespace kel::engine::dxf
