#include "platform/wformat.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/utf.h"

namespace plat {
namespace {

struct Spec {
  std::string flags;
  int width = -1;
  int precision = -1;
  enum { None, H, HH, L, LL, BigL, Z, J, T } len = None;
};

void pad(std::u16string& out, const std::u16string& body, const Spec& s) {
  bool left = s.flags.find('-') != std::string::npos;
  size_t w = s.width > 0 ? static_cast<size_t>(s.width) : 0;
  if (!left && body.size() < w) out.append(w - body.size(), u' ');
  out += body;
  if (left && body.size() < w) out.append(w - body.size(), u' ');
}

void widenInto(std::u16string& out, const char* text) {
  while (*text) out += static_cast<char16_t>(static_cast<unsigned char>(*text++));
}

}  // namespace

void formatW(std::u16string& out, const char16_t* fmt, va_list ap) {
  if (!fmt) return;
  va_list args;
  va_copy(args, ap);
  for (const char16_t* p = fmt; *p;) {
    if (*p != u'%') {
      out += *p++;
      continue;
    }
    const char16_t* start = p++;
    if (*p == u'%') {
      out += u'%';
      ++p;
      continue;
    }
    Spec s;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') s.flags += static_cast<char>(*p++);
    if (*p == u'*') {
      s.width = va_arg(args, int);
      if (s.width < 0) {
        s.flags += '-';
        s.width = -s.width;
      }
      ++p;
    } else {
      while (*p >= u'0' && *p <= u'9') s.width = (s.width < 0 ? 0 : s.width) * 10 + (*p++ - u'0');
    }
    if (*p == u'.') {
      ++p;
      s.precision = 0;
      if (*p == u'*') {
        s.precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') s.precision = s.precision * 10 + (*p++ - u'0');
      }
    }
    bool wideForced = false, narrowForced = false;
    switch (*p) {
      case u'h': ++p; if (*p == u'h') { ++p; s.len = Spec::HH; } else s.len = Spec::H; narrowForced = true; break;
      case u'l': ++p; if (*p == u'l') { ++p; s.len = Spec::LL; } else s.len = Spec::L; wideForced = true; break;
      case u'w': ++p; wideForced = true; break;
      case u'L': ++p; s.len = Spec::BigL; break;
      case u'z': ++p; s.len = Spec::Z; break;
      case u'j': ++p; s.len = Spec::J; break;
      case u't': ++p; s.len = Spec::T; break;
      case u'I':
        if (p[1] == u'6' && p[2] == u'4') { p += 3; s.len = Spec::LL; }
        else if (p[1] == u'3' && p[2] == u'2') { p += 3; s.len = Spec::None; }
        else { ++p; s.len = Spec::Z; }
        break;
      default: break;
    }
    char16_t conv = *p;
    if (!conv) {  // a lone '%' at the end: print what we saw
      out.append(start, p);
      break;
    }
    ++p;
    std::string cfmt = "%" + s.flags;
    if (s.width >= 0) cfmt += std::to_string(s.width);
    if (s.precision >= 0) cfmt += "." + std::to_string(s.precision);
    char buf[512];
    switch (conv) {
      case u'd': case u'i': case u'u': case u'o': case u'x': case u'X': {
        bool isSigned = conv == u'd' || conv == u'i';
        char c = static_cast<char>(conv);
        if (s.len == Spec::LL || s.len == Spec::J) {
          cfmt += "ll";
          cfmt += c;
          if (isSigned) std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, long long));
          else std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, unsigned long long));
        } else if (s.len == Spec::L || s.len == Spec::Z || s.len == Spec::T) {
          // Windows 'long' is 32 bits; the wide C runtime reads %ld as a 32-bit value.
          if (s.len == Spec::L) {
            cfmt += c;
            if (isSigned) std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, int));
            else std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, unsigned));
          } else {
            cfmt += "z";
            cfmt += c;
            if (isSigned) std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, ptrdiff_t));
            else std::snprintf(buf, sizeof buf, cfmt.c_str(), va_arg(args, size_t));
          }
        } else {
          int v = va_arg(args, int);
          if (s.len == Spec::H) v = isSigned ? static_cast<short>(v) : static_cast<unsigned short>(v);
          if (s.len == Spec::HH) v = isSigned ? static_cast<signed char>(v) : static_cast<unsigned char>(v);
          cfmt += c;
          std::snprintf(buf, sizeof buf, cfmt.c_str(), v);
        }
        widenInto(out, buf);
        break;
      }
      case u'f': case u'F': case u'e': case u'E': case u'g': case u'G': case u'a': case u'A': {
        cfmt += static_cast<char>(conv);
        double v = s.len == Spec::BigL ? static_cast<double>(va_arg(args, long double)) : va_arg(args, double);
        std::snprintf(buf, sizeof buf, cfmt.c_str(), v);
        widenInto(out, buf);
        break;
      }
      case u'p': {
        void* v = va_arg(args, void*);
        std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(v)));
        std::u16string body;
        widenInto(body, buf);
        pad(out, body, s);
        break;
      }
      case u'c': case u'C': {
        bool narrow = narrowForced || (conv == u'C' && !wideForced);
        int v = va_arg(args, int);
        std::u16string body(1, narrow ? static_cast<char16_t>(static_cast<unsigned char>(v)) : static_cast<char16_t>(v));
        pad(out, body, s);
        break;
      }
      case u's': case u'S': case u'Z': {
        bool narrow = narrowForced || (conv == u'S' && !wideForced);
        std::u16string body;
        if (narrow) {
          const char* v = va_arg(args, const char*);
          if (!v) v = "(null)";
          size_t n = std::strlen(v);
          if (s.precision >= 0 && static_cast<size_t>(s.precision) < n) n = static_cast<size_t>(s.precision);
          // 8-bit texts are taken as UTF-8, our code page for narrow text on this platform.
          body = fromUtf8(std::string_view(v, n));
        } else {
          const char16_t* v = va_arg(args, const char16_t*);
          if (!v) v = u"(null)";
          size_t n = 0;
          while (v[n] && (s.precision < 0 || n < static_cast<size_t>(s.precision))) ++n;
          body.assign(v, n);
        }
        pad(out, body, s);
        break;
      }
      case u'n':
        (void)va_arg(args, void*);
        break;
      default:  // unknown conversion: print it as written
        out.append(start, p);
        break;
    }
  }
  va_end(args);
}

std::u16string formatW(const char16_t* fmt, ...) {
  std::u16string out;
  va_list ap;
  va_start(ap, fmt);
  formatW(out, fmt, ap);
  va_end(ap);
  return out;
}

int vsnwprintf(char16_t* buffer, size_t count, const char16_t* fmt, va_list ap) {
  std::u16string text;
  formatW(text, fmt, ap);
  if (!buffer || count == 0) return text.size() == 0 && count > 0 ? 0 : -1;
  size_t n = text.size() < count ? text.size() : count;
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  if (text.size() < count) {
    buffer[n] = 0;
    return static_cast<int>(n);
  }
  return text.size() == count ? static_cast<int>(n) : -1;
}

}  // namespace plat
