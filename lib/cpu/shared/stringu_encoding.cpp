// Text encodings and the bracket notation for bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "lib/cpu/shared/stringu_detail.h"

using namespace stringu_detail;

namespace {
constexpr unsigned char kBomUtf8[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kBomUtf16Le[] = {0xFF, 0xFE};
constexpr unsigned char kBomUtf16Be[] = {0xFE, 0xFF};
constexpr unsigned char kBomUtf32Le[] = {0xFF, 0xFE, 0x00, 0x00};
constexpr unsigned char kBomUtf32Be[] = {0x00, 0x00, 0xFE, 0xFF};
}  // namespace

const EncodingInfo encodingTable[6] = {
    {1, u"UTF-8", "[EF][BB][BF]", kBomUtf8, 1},
    {2, u"UTF-16/UCS-2, Unicode", "[FF][FE]", kBomUtf16Le, 2},
    {3, u"UTF-16/UCS-2, big endian", "[FE][FF]", kBomUtf16Be, 2},
    {4, u"UTF-32/UCS-4, little endian", "[FF][FE][00][00]", kBomUtf32Le, 4},
    {5, u"UTF-32/UCS-4, big endian", "[00][00][FE][FF]", kBomUtf32Be, 4},
    {0, u"ANSI", "", nullptr, 1},
};

const uint32_t maxPrintable = 0x7E;

const EncodingInfo* findEncoding(uint32_t code) {
  const EncodingInfo* e = encodingTable;
  while (e->code != code && e->code != 0) ++e;
  return e;
}

uint32_t readUnit(const void* bytes, uint32_t code) {
  if (!bytes) return 0;  // nothing to read
  const auto* b = static_cast<const unsigned char*>(bytes);
  switch (code) {
    case 0:
    case 1: return b[0];
    case 2: return b[0] | (b[1] << 8u);
    case 3: return (b[0] << 8u) | b[1];
    case 4: return b[0] | (b[1] << 8u) | (b[2] << 16u) | (static_cast<uint32_t>(b[3]) << 24u);
    case 5: return (static_cast<uint32_t>(b[0]) << 24u) | (b[1] << 16u) | (b[2] << 8u) | b[3];
    default: return 0;
  }
}

uint32_t toEncodingOrder(uint32_t value, uint32_t code) {
  switch (code) {
    case 0:
    case 1:
    case 2:
    case 4: return value;
    case 3: return ((value & 0xFFu) << 8) | ((value >> 8) & 0xFFu);
    case 5:
      return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
             (value >> 24);
    default: return 0;
  }
}

char* escapeBytes(const void* bytes, uint32_t length) {
  if (length == 0xFFFFFFFFu) {
    if (!bytes) return nullptr;  // nothing to measure
    size_t n = std::strlen(static_cast<const char*>(bytes));
    if (n >= 0x3FFFFFFFu) return nullptr;
    length = static_cast<uint32_t>(n);
  }
  if (length >= 0x3FFFFFFFu) return nullptr;
  if (!bytes && length) return nullptr;  // bytes promised but none given
  const auto* b = static_cast<const unsigned char*>(bytes);
  size_t capacity = static_cast<size_t>(length) * 4 + 1;
  auto* work = static_cast<char*>(allocMem(capacity, kHeapTag, __LINE__));
  if (!work) return nullptr;
  static constexpr char hex[] = "0123456789ABCDEF";
  size_t n = 0;
  for (uint32_t i = 0; i < length; ++i) {
    unsigned c = b[i];
    if (c >= 0x20 && c <= maxPrintable && c != '[' && c != ']') {
      work[n++] = static_cast<char>(c);
    } else {  // "[%02X]"
      work[n++] = '[';
      work[n++] = hex[c >> 4];
      work[n++] = hex[c & 0xF];
      work[n++] = ']';
    }
  }
  work[n] = 0;
  auto* result = static_cast<char*>(dupMem(work, n + 1, kHeapTag, __LINE__));
  std::free(work);
  return result;
}

namespace {

// Reads one escape; text points just after its "[". On success sets value, digits (the run length)
// and repeat, and returns the position of the closing "]"; null for a malformed escape.
const char* readEscape(const char* text, uint32_t& value, size_t& digits, int32_t& repeat) {
  char snum[32] = {};
  size_t copied = 0;
  while (copied < sizeof snum - 1 && text[copied] && text[copied] != ']') {
    snum[copied] = text[copied];
    ++copied;
  }
  digits = std::strcspn(snum, "Xx");
  if (digits > 8) return nullptr;
  value = 0;
  for (size_t k = 0; k < digits; ++k) {
    int c = static_cast<unsigned char>(snum[k]);
    if (c >= 'a' && c <= 'f') c -= 0x20;
    int worth = c < 'A' ? c - 0x30 : c - 0x37;
    if (worth < 0 || worth > 15) return nullptr;
    value = (value << 4) | static_cast<uint32_t>(worth);
  }
  const char* p = text + digits;
  repeat = 1;
  if (*p == 'X' || *p == 'x') {
    ++p;
    char snumtok[10] = {};
    size_t k = 0;
    for (; *p != ']'; ++p) {
      if (!*p || k == 8) return nullptr;  // end of text inside the count, or a ninth character
      snumtok[k++] = *p;
    }
    repeat = plat::atoi(snumtok);
  }
  return *p == ']' ? p : nullptr;
}

}  // namespace

unsigned char* decodeEscapes(const char* text, uint32_t* outLength, uint32_t code,
                             int32_t* maxEscapeWidth) {
  if (outLength) *outLength = 0;
  if (maxEscapeWidth) *maxEscapeWidth = 0;
  if (!text) return nullptr;  // no text is malformed text
  const uint32_t unitSize = findEncoding(code)->unitSize;
  size_t capacity = std::strlen(text) + 1;
  auto* out = static_cast<unsigned char*>(allocMem(capacity, kHeapTag, __LINE__));
  if (!out) return nullptr;  // out of memory: answered like malformed text
  // The count is handed back as 32 bits, so output that would not fit is refused.
  constexpr size_t kMaxOutput = 0xFFFFFFFEu;
  size_t n = 0;
  for (const char* p = text; *p; ++p) {
    uint32_t value;
    size_t width;
    int32_t repeat = 1;
    if (*p != '[') {
      // Characters of 0x80 and above are taken as their unsigned byte value, so they carry zero
      // high-order bytes in the wider encodings, like every other character.
      value = toEncodingOrder(static_cast<unsigned char>(*p), code);
      width = unitSize;
    } else {
      size_t digits;
      const char* close = readEscape(p + 1, value, digits, repeat);
      // A negative repeat count is outside the notation and refused like any malformed escape.
      if (!close || repeat < 0) {
        std::free(out);
        return nullptr;
      }
      p = close;
      width = (digits + 1) / 2;
      if (maxEscapeWidth && *maxEscapeWidth < static_cast<int32_t>(width))
        *maxEscapeWidth = static_cast<int32_t>(width);
      if ((code == 3 || code == 5) && width < unitSize) {
        // An escape narrower than the unit of a big-endian encoding gives its own bytes, most
        // significant first, so [FF] is the byte FF and [0102] the bytes 01 02.
        uint32_t be = 0;
        for (size_t k = 0; k < width; ++k) be |= ((value >> (8 * (width - 1 - k))) & 0xFFu) << (8 * k);
        value = be;
      } else {
        value = toEncodingOrder(value, code);
      }
    }
    if (width == 0 || repeat == 0) continue;
    const size_t count = static_cast<size_t>(repeat);
    if (count * width > kMaxOutput - n) {
      std::free(out);
      return nullptr;
    }
    if (capacity < (n + count + 1) * width) {
      capacity = (n + count + 1024) * width;
      // reallocMem is realloc that also releases the old block when the resize fails.
      out = static_cast<unsigned char*>(reallocMem(out, capacity, kHeapTag, __LINE__));
      if (!out) return nullptr;  // the resize released the old buffer
    }
    unsigned char ca[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                           static_cast<unsigned char>(value >> 16),
                           static_cast<unsigned char>(value >> 24)};
    if (width == 1) {
      std::memset(out + n, ca[0], count);
      n += count;
    } else {
      for (size_t r = 0; r < count; ++r, n += width) std::memcpy(out + n, ca, width);
    }
  }
  out[n] = 0;
  if (outLength) *outLength = static_cast<uint32_t>(n);
  return out;
}
