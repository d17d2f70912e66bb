// The directory-list search: findInDirs and searchFile.
#include <cstring>

#include "lib/cpu/shared/getfn.h"
#include "lib/cpu/shared/getfn_detail.h"
#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "platform/utf.h"

namespace {

constexpr size_t kPathUnits = 260;
constexpr size_t kMaxPath = kPathUnits - 1;

bool isDotOrDotDot(const char16_t* n) { return n[0] == u'.' && (n[1] == 0 || (n[1] == u'.' && n[2] == 0)); }

// Lists the matches of the search spec in `search` onto first/last. False only when memory ran
// out; a directory that cannot be searched adds nothing.
bool listOne(const char16_t* search, const char16_t* pname, const char16_t* pathinwild,
             uint32_t skipAttrs, uint32_t flags, FileEntry*& first, FileEntry*& last) {
  plat::WIN32_FIND_DATAW ffd;
  plat::HANDLE h = plat::FindFirstFileW(search, &ffd);
  if (h == plat::INVALID_HANDLE_VALUE) return true;
  size_t prefixLen = plat::wlen(pname) + plat::wlen(pathinwild);
  bool ok = true;
  do {
    const char16_t* own = (flags & 2) && ffd.cAlternateFileName[0] ? ffd.cAlternateFileName : ffd.cFileName;
    if (ffd.dwFileAttributes & skipAttrs) continue;
    if (isDotOrDotDot(own)) continue;
    char16_t name[kPathUnits];
    size_t ownLen = plat::wlen(own);
    if (flags & 1) {
      std::memcpy(name, own, (ownLen + 1) * sizeof(char16_t));
    } else {
      // A full name beyond 259 characters cannot be held: such an entry is passed over.
      if (prefixLen + ownLen > kMaxPath) continue;
      size_t n = plat::wlen(pname);
      std::memcpy(name, pname, n * sizeof(char16_t));
      std::memcpy(name + n, pathinwild, (prefixLen - n) * sizeof(char16_t));
      std::memcpy(name + prefixLen, own, (ownLen + 1) * sizeof(char16_t));
    }
    if (!appendFileEntry(first, last, name, ffd, false)) {
      ok = false;
      break;
    }
  } while (plat::FindNextFileW(h, &ffd));
  plat::FindClose(h);
  return ok;
}

}  // namespace

FileEntry* findInDirs(const char16_t* dirs, const char16_t* wild, uint32_t skipAttrs, uint32_t flags) {
  if (!dirs) dirs = u"";
  if (!wild) wild = u"*.*";
  auto* search = static_cast<char16_t*>(allocMem((kPathUnits + 1) * sizeof(char16_t), __FILE__, __LINE__));
  if (!search) return nullptr;
  char16_t pname[kPathUnits];
  char16_t pathinwild[kPathUnits];
  getPathParts(pathinwild, kPathUnits, wild, 1);
  size_t wildLen = plat::wlen(wild);

  FileEntry* first = nullptr;
  FileEntry* last = nullptr;
  bool ok = true;
  for (const char16_t* rest = dirs; ok;) {
    const char16_t* semi = rest;
    while (*semi && *semi != u';') ++semi;
    size_t dirLen = static_cast<size_t>(semi - rest);
    // Limits of the buffers: a directory of more than 258 characters, or one that leaves no room
    // for the pattern, is passed over like a directory that cannot be searched.
    if (dirLen <= kMaxPath - 1) {
      std::memcpy(search, rest, dirLen * sizeof(char16_t));
      search[dirLen] = 0;
      addSlash(search);
      boundedCopy(pname, search, static_cast<int32_t>(kMaxPath));
      size_t len = plat::wlen(search);
      if (len + wildLen <= kMaxPath) {
        std::memcpy(search + len, wild, (wildLen + 1) * sizeof(char16_t));
        toBackslashes(search);
        ok = listOne(search, pname, pathinwild, skipAttrs, flags, first, last);
      }
    }
    if (*semi != u';' || semi[1] == 0) break;
    rest = semi + 1;
  }
  freeMem(search);
  if (!ok) {  // an entry that could not be allocated: no half list
    freeFileList(first);
    return nullptr;
  }
  return first;
}

size_t searchFile(char16_t* dest, const char16_t* dirs, const char16_t* name, const char16_t* ext,
                  size_t maxChars) {
  if (!dest) return 0;
  dest[0] = 0;
  char16_t buf[kPathUnits] = {};
  mergePath(buf, nullptr, name, ext, false, false);
  int32_t copyMax = static_cast<int32_t>(maxChars < kMaxPath ? maxChars : kMaxPath);

  FileEntry* list = findInDirs(nullptr, buf, 0, 0);
  if (!list) {
    getPathParts(buf, kPathUnits, buf, 6);
    list = findInDirs(dirs, buf, 0, 0);
  }
  if (list) boundedCopy(dest, list->name, copyMax);
  freeFileList(list);
  return plat::wlen(dest);
}
