// Path splitting and joining for the file-name utilities.
#include <cstring>

#include "lib/cpu/shared/getfn.h"
#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "platform/utf.h"

namespace {

constexpr size_t kPathUnits = 260;  // every path buffer of this library
constexpr size_t kMaxPath = kPathUnits - 1;
constexpr size_t kMaxExtension = 256;

// Parts of the most recently split path; see splitPath.
char16_t* splitDir = nullptr;
char16_t* splitName = nullptr;
char16_t* splitExt = nullptr;

char16_t* copyOf(const char16_t* s, size_t n) {
  auto* p = static_cast<char16_t*>(allocMem((n + 1) * sizeof(char16_t), __FILE__, __LINE__));
  if (!p) return nullptr;
  std::memcpy(p, s, n * sizeof(char16_t));
  p[n] = 0;
  return p;
}

// Appends src to the text of `len` characters in buf, never past kMaxPath characters.
void appendBounded(char16_t* buf, size_t& len, const char16_t* src) {
  if (!src) return;
  while (*src && len < kMaxPath) buf[len++] = *src++;
  buf[len] = 0;
}

void slashesToBack(char16_t* s) {
  for (; *s; ++s)
    if (*s == u'/') *s = u'\\';
}

}  // namespace

int32_t splitPath(const char16_t* path, char16_t** s1, char16_t** s2, char16_t** s3) {
  freeAndNull(&splitDir);
  freeAndNull(&splitName);
  freeAndNull(&splitExt);
  if (!path) return 0;
  size_t n = plat::wlen(path);
  char16_t* work = copyOf(path, n);
  if (!work) return 0;  // no room for the work copy: treated like no path, nothing written
  slashesToBack(work);

  char16_t* lastSlash = nullptr;
  char16_t* lastDot = nullptr;
  for (char16_t* p = work; *p; ++p) {
    if (*p == u'\\') lastSlash = p;
    else if (*p == u'.') lastDot = p;
  }
  bool ok = true;
  if (lastDot && (!lastSlash || lastDot > lastSlash)) {
    size_t extLen = plat::wlen(lastDot + 1);
    splitExt = copyOf(lastDot + 1, extLen < kMaxExtension ? extLen : kMaxExtension);
    ok = ok && splitExt;
    *lastDot = 0;
  }
  char16_t* sep = lastSlash;
  if (!sep) {
    for (char16_t* p = work; *p; ++p)
      if (*p == u':') sep = p;
  }
  char16_t* rest = work;
  if (sep) {
    splitDir = copyOf(work, static_cast<size_t>(sep - work) + 1);
    ok = ok && splitDir;
    rest = sep + 1;
  }
  if (*rest) {
    splitName = copyOf(rest, plat::wlen(rest));
    ok = ok && splitName;
  }
  freeMem(work);
  if (!ok) {  // a part could not be copied: give nothing rather than a wrong split
    freeAndNull(&splitDir);
    freeAndNull(&splitName);
    freeAndNull(&splitExt);
    return 0;
  }
  if (s1) *s1 = splitDir;
  if (s2) *s2 = splitName;
  if (s3) *s3 = splitExt;
  return 1;
}

char16_t* getPathParts(char16_t* dest, uint32_t size, const char16_t* path, uint32_t parts) {
  if (!dest) return nullptr;
  char16_t *s1 = nullptr, *s2 = nullptr, *s3 = nullptr;
  splitPath(path, &s1, &s2, &s3);
  // The result is never longer than path; size is still honoured when given, so that a smaller
  // destination than the path's own buffer is never overrun.
  size_t room = size ? size - 1 : kMaxPath;
  size_t len = 0;
  auto put = [&](const char16_t* s) {
    for (; s && *s && len < room; ++s) dest[len++] = *s;
  };
  if ((parts & 1) && s1) put(s1);
  if ((parts & 2) && s2) put(s2);
  if ((parts & 4) && s3) {
    put(u".");
    put(s3);
  }
  dest[len] = 0;
  slashesToBack(dest);
  splitPath(nullptr, nullptr, nullptr, nullptr);
  return dest;
}

char16_t* mergePath(char16_t* path, const char16_t* dir, const char16_t* name, const char16_t* ext,
                    bool replace, bool keepDots) {
  if (!path) return nullptr;
  char16_t work[kPathUnits] = {};
  size_t len = 0;
  char16_t *s1 = nullptr, *s2 = nullptr, *s3 = nullptr;
  splitPath(path, &s1, &s2, &s3);

  if (dir && (!s1 || replace)) {
    appendBounded(work, len, dir);
    addSlash(work);
    len = plat::wlen(work);
  } else if (s1) {
    appendBounded(work, len, s1);
  }
  size_t nameStart = len;
  if (name && (!s2 || replace)) appendBounded(work, len, name);
  else if (s2) appendBounded(work, len, s2);
  if (!keepDots) {
    for (size_t i = nameStart; i < len; ++i) {
      if (work[i] == u'.') {
        work[i] = 0;
        len = i;
        break;
      }
    }
  }
  if (ext && (!s3 || replace)) {
    if (ext[0] != u'.') appendBounded(work, len, u".");
    appendBounded(work, len, ext);
  } else if (s3) {
    appendBounded(work, len, u".");
    appendBounded(work, len, s3);
  }
  slashesToBack(work);
  splitPath(nullptr, nullptr, nullptr, nullptr);
  // Results longer than 259 characters have been cut there: the buffers hold no more.
  std::memcpy(path, work, (len + 1) * sizeof(char16_t));
  return path;
}

char16_t* addSlash(char16_t* path) {
  if (!path || !*path) return path;
  char16_t last = lastChar(path);
  if (last == u'\\' || last == u'/' || last == u':') return path;
  char16_t* end = endOf(path);
  // A path of 259 characters has no room for one more in its 260-unit buffer: left as it is.
  if (static_cast<size_t>(end - path) >= kMaxPath) return path;
  end[0] = u'\\';
  end[1] = 0;
  return path;
}

char16_t* removeSlash(char16_t* path) {
  if (!path || !*path) return path;
  char16_t* end = endOf(path);
  if (end[-1] == u'\\' || end[-1] == u'/') end[-1] = 0;
  return path;
}

char16_t* toBackslashes(char16_t* path) {
  if (path) slashesToBack(path);
  return path;
}

namespace {

// The quoted form of text in buf (260 units). A text too long for both quotes in 259 characters
// is cut so that the closing quote still fits.
void quoteInto(char16_t* buf, const char16_t* text) {
  size_t n = plat::wlen(text);
  if (n > kMaxPath - 2) n = kMaxPath - 2;
  buf[0] = u'"';
  if (n) std::memcpy(buf + 1, text, n * sizeof(char16_t));
  buf[n + 1] = u'"';
  buf[n + 2] = 0;
}

}  // namespace

char16_t* quotePath(char16_t* path) {
  if (!path) return path;
  char16_t buf[kPathUnits];
  quoteInto(buf, path);
  std::memcpy(path, buf, (plat::wlen(buf) + 1) * sizeof(char16_t));
  return path;
}

char16_t* appendQuoted(char16_t* dest, const char16_t* text) {
  if (!dest) return dest;
  char16_t buf[kPathUnits];
  quoteInto(buf, text);
  char16_t* end = endOf(dest);
  if (lastChar(dest) != u' ') *end++ = u' ';
  std::memcpy(end, buf, (plat::wlen(buf) + 1) * sizeof(char16_t));
  return dest;
}
