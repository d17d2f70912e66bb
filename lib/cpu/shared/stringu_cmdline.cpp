// Command-line splitting.
#include <cstring>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "lib/cpu/shared/stringu_detail.h"

using namespace stringu_detail;

namespace {

// Stand-ins, while the line is split, for characters that must not act as syntax.
constexpr char16_t kQuote = u'\u00F0';      // backslash + double quote
constexpr char16_t kBackslash = u'\u00F1';  // two backslashes
constexpr char16_t kSpace = u'\u00F2';      // a space inside double quotes

char16_t* dupWide(const char16_t* s, size_t n) {
  return static_cast<char16_t*>(dupMem(s, (n + 1) * sizeof(char16_t), kHeapTag, __LINE__));
}

void freeSlots(char16_t** slots, size_t count) {
  for (size_t i = 0; i < count; ++i) freeMem(slots[i]);
  freeMem(slots);
}

}  // namespace

// When memory runs out part way, everything made so far is released, 0 is stored through argc and
// null through argv, and 0 comes back. A null line splits like an empty one; null argc or argv are
// simply not written (without argv the vector is released again).
uint32_t splitCommandLine(uint32_t* argc, char16_t*** argv, const char16_t* commandLine) {
  auto fail = [&]() -> uint32_t {
    if (argc) *argc = 0;
    if (argv) *argv = nullptr;
    return 0;
  };
  if (!commandLine) commandLine = u"";
  size_t length = len(commandLine);
  char16_t* work = dupWide(commandLine, length);
  char16_t* scratch = dupWide(commandLine, length);
  auto** slots =
      static_cast<char16_t**>(allocZeroed((length + 2) * sizeof(char16_t*), kHeapTag, __LINE__));
  if (!work || !scratch || !slots) {
    freeMem(work);
    freeMem(scratch);
    freeMem(slots);
    return fail();
  }

  // Escapes first, the pairs in this order so that \\" reads as a backslash and a literal quote.
  // Each replacement is shorter than its pattern, so the work copy always holds the result.
  static constexpr char16_t quoteStr[] = {kQuote, 0};
  static constexpr char16_t backslashStr[] = {kBackslash, 0};
  if (!replaceAll(work, quoteStr, u"\\\"") || !replaceAll(work, backslashStr, u"\\\\")) {
    freeMem(work);
    freeMem(scratch);
    freeMem(slots);
    return fail();
  }

  // Protect spaces inside double quotes, then drop the quotes themselves.
  bool quoted = false;
  size_t j = 0;
  for (size_t i = 0; work[i]; ++i) {
    char16_t c = work[i];
    if (c == u'"') {
      quoted = !quoted;
      continue;
    }
    work[j++] = (quoted && c == u' ') ? kSpace : c;
  }
  work[j] = 0;

  bool ok = true;
  slots[0] = dupWide(u"DLL", 3);
  if (!slots[0]) ok = false;
  uint32_t n = 0;
  // Walk the fields one after the other: the same fields a count from the start would find, but in
  // one pass over the line instead of one per field.
  const char16_t* field = ok ? nthField(work, nullptr, 0) : nullptr;
  while (field) {
    copyField(scratch, field, nullptr, -1);
    size_t flen = len(scratch);
    for (size_t i = 0; i < flen; ++i) {
      if (scratch[i] == kSpace) scratch[i] = u' ';
      else if (scratch[i] == kQuote) scratch[i] = u'"';
      else if (scratch[i] == kBackslash) scratch[i] = u'\\';
    }
    char16_t* arg = dupWide(scratch, flen);
    if (!arg) {
      ok = false;
      break;
    }
    slots[++n] = arg;
    field = nthField(field + flen, nullptr, 0);
  }
  freeMem(work);
  freeMem(scratch);
  if (!ok) {
    freeSlots(slots, n + 1);
    return fail();
  }

  // Shrink the array to the arguments and one null slot. A fresh block is taken instead of a
  // resize, because a failed resize would take the strings with it; if none is to be had the
  // larger array, equally null-terminated, is handed out instead.
  size_t used = static_cast<size_t>(n) + 2;
  if (used < length + 2) {
    auto** tight = static_cast<char16_t**>(allocMem(used * sizeof(char16_t*), kHeapTag, __LINE__));
    if (tight) {
      std::memcpy(tight, slots, used * sizeof(char16_t*));
      freeMem(slots);
      slots = tight;
    }
  }
  if (argc) *argc = n + 1;
  if (argv) *argv = slots;
  else freeSlots(slots, n + 1);
  return n;
}

void freeArgs(uint32_t argc, char16_t*** argv) {
  if (!argv || !*argv) return;
  char16_t** slots = *argv;
  for (uint32_t i = 0; i < argc; ++i) freeMem(slots[i]);
  freeMem(slots);
  *argv = nullptr;
}
