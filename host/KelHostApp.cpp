#include "host/KelHostApp.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "platform/crt.h"
#include "platform/utf.h"

uint32_t findFileFlags = 0;

namespace {

// wcsstr over UTF-16: does needle occur as a contiguous part of haystack? The empty needle occurs
// everywhere.
bool occursIn(const char16_t* needle, const char16_t* haystack) {
  if (!*needle) return true;
  for (const char16_t* h = haystack; *h; ++h) {
    const char16_t *a = h, *b = needle;
    while (*a && *b && *a == *b) ++a, ++b;
    if (!*b) return true;
  }
  return false;
}

// A request is for one of the two engine modules when the requested text is part of one of these
// names (the name looked for inside the fixed text, case-sensitive).
bool isModuleRequest(const char16_t* name) {
  return occursIn(name, u"\\AcGeomentObj.dbx") || occursIn(name, u"\\acismobj25.dbx");
}

}  // namespace

Acad::ErrorStatus KelHostApp::findFile(char16_t* fileOut, int bufLen, const char16_t* name,
                                       AcDbDatabase*, FindFileHint) {
  if (fileOut && bufLen > 0) fileOut[0] = 0;
  if (!name) name = u"";
  if ((findFileFlags & 1) && isModuleRequest(name)) return Acad::eFileNotFound;
  if (!(findFileFlags & 2)) {
    if (fileOut && bufLen > 0) fileOut[0] = 0;
    return Acad::eOk;
  }
  if (plat::_waccess(name, 0) == -1) return Acad::eFileNotFound;
  // A name that does not fit the caller's buffer with its terminator cannot be handed back: it is
  // answered as not found rather than cut short or written past the buffer.
  size_t len = plat::wlen(name);
  if (!fileOut || bufLen <= 0 || len + 1 > static_cast<size_t>(bufLen)) return Acad::eFileNotFound;
  std::memcpy(fileOut, name, (len + 1) * sizeof(char16_t));
  return Acad::eOk;
}

Acad::ErrorStatus KelHostApp::registerSelectFileCallback(const char16_t*, void*, bool, bool) {
  return Acad::eNotInitializedYet;
}

void* KelHostApp::workingGlobalsData() { return m_workingGlobals; }

int KelHostApp::getSubstituteFont(char16_t** fileName, char16_t* prompt, int type, int fontAlt) {
  return getSubstituteFont(fileName, static_cast<const char16_t*>(prompt), type, fontAlt);
}

// Printed on standard output as UTF-8 with a plain write, so it shows whatever orientation or
// buffering the C stream was left in.
bool KelHostApp::notifyCorruptDrawingFoundOnOpen(uint64_t, uint32_t) {
  static const char text[] = "Corrupt drawing detected!\n\n";
  std::fflush(stdout);
  ssize_t unused = ::write(STDOUT_FILENO, text, sizeof text - 1);
  (void)unused;
  return true;
}
