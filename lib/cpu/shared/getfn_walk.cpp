// The wildcard directory walk and the file-list operations.
#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <string>

#include "lib/cpu/shared/getfn.h"
#include "lib/cpu/shared/getfn_detail.h"
#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/stringu.h"
#include "platform/pathmatch.h"
#include "platform/utf.h"

namespace {

constexpr size_t kPathUnits = 260;
constexpr size_t kMaxPath = kPathUnits - 1;
constexpr size_t kWildUnits = 256;

bool isDotOrDotDot(const char16_t* n) { return n[0] == u'.' && (n[1] == 0 || (n[1] == u'.' && n[2] == 0)); }

}  // namespace

bool appendFileEntry(FileEntry*& first, FileEntry*& last, const char16_t* name,
                 const plat::WIN32_FIND_DATAW& ffd, bool withSize) {
  auto* e = static_cast<FileEntry*>(allocZeroed(sizeof(FileEntry), __FILE__, __LINE__));
  if (!e) return false;
  e->name = static_cast<char16_t*>(dupMem(name, (plat::wlen(name) + 1) * sizeof(char16_t), __FILE__, __LINE__));
  if (!e->name) {
    freeMem(e);
    return false;
  }
  e->attributes = ffd.dwFileAttributes;
  e->created = ffd.ftCreationTime;
  e->accessed = ffd.ftLastAccessTime;
  e->written = ffd.ftLastWriteTime;
  if (withSize) {
    e->sizeHigh = ffd.nFileSizeHigh;
    e->sizeLow = ffd.nFileSizeLow;
  }
  if (last) last->next = e;
  else first = e;
  last = e;
  return true;
}

FileEntry* findFiles(const char16_t* spec, const char16_t* wild, uint32_t skipAttrs, bool nested,
                     int32_t* limit) {
  if (!spec || !*spec) return nullptr;
  // Texts beyond the buffers' limits are refused as a whole rather than cut into another name.
  if (plat::wlen(spec) > kMaxPath || (wild && plat::wlen(wild) > kWildUnits - 1)) return nullptr;
  char16_t dir[kPathUnits];
  char16_t wildBuf[kPathUnits];  // the pattern; at most 255 characters are accepted below
  boundedCopy(dir, spec, static_cast<int32_t>(kMaxPath));
  boundedCopy(wildBuf, wild ? wild : u"*.*", static_cast<int32_t>(kMaxPath));
  if (lastChar(dir) != u'\\') {
    getPathParts(wildBuf, kPathUnits, dir, 6);
    getPathParts(dir, kPathUnits, dir, 1);
    if (plat::wlen(wildBuf) > kWildUnits - 1) return nullptr;
  }
  if (plat::wlen(dir) + 3 > kMaxPath) return nullptr;
  std::memcpy(endOf(dir), u"*.*", 4 * sizeof(char16_t));

  FileEntry* first = nullptr;
  FileEntry* last = nullptr;
  int32_t count = 0;
  bool failed = false;
  try {
    std::deque<std::u16string> asdirs{std::u16string(dir)};
    bool starting = true;
    while (!asdirs.empty() && !failed) {
      std::u16string subdir = std::move(asdirs.front());
      asdirs.pop_front();
      char16_t subpath[kPathUnits];
      getPathParts(subpath, kPathUnits, subdir.c_str(), 1);
      size_t subLen = plat::wlen(subpath);
      size_t queued = 0;

      plat::WIN32_FIND_DATAW ffd;
      plat::HANDLE h = plat::FindFirstFileW(subdir.c_str(), &ffd);
      if (h == plat::INVALID_HANDLE_VALUE) {
        failed = true;
        break;
      }
      do {
        const char16_t* own = ffd.cFileName;
        if (isDotOrDotDot(own)) continue;
        bool hidden = (ffd.dwFileAttributes & plat::FILE_ATTRIBUTE_HIDDEN) || (starting && own[0] == u'.');
        if (hidden && (skipAttrs & plat::FILE_ATTRIBUTE_HIDDEN)) continue;
        size_t ownLen = plat::wlen(own);
        // A full name beyond 259 characters cannot be held: such an entry is passed over.
        if (subLen + ownLen > kMaxPath) continue;
        char16_t name[kPathUnits];
        std::memcpy(name, subpath, subLen * sizeof(char16_t));
        std::memcpy(name + subLen, own, (ownLen + 1) * sizeof(char16_t));
        // A directory too deep for its search spec to fit is listed but not entered.
        if (nested && (ffd.dwFileAttributes & plat::FILE_ATTRIBUTE_DIRECTORY) && subLen + ownLen + 4 <= kMaxPath) {
          asdirs.insert(asdirs.begin() + static_cast<std::ptrdiff_t>(queued), std::u16string(name) + u"\\*.*");
          ++queued;
        }
        if (ffd.dwFileAttributes & skipAttrs) continue;
        if (!plat::PathMatchSpecW(name, wildBuf)) continue;
        if (!appendFileEntry(first, last, name, ffd, true)) {
          failed = true;  // an entry that cannot be allocated fails the walk
          break;
        }
        ++count;
        if (limit && count >= *limit) break;
      } while (plat::FindNextFileW(h, &ffd));
      plat::FindClose(h);
      starting = false;
    }
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) {
    freeFileList(first);
    return nullptr;
  }
  if (limit) *limit = count;
  return first;
}

void freeFileList(FileEntry* list) {
  while (list) {
    FileEntry* next = list->next;
    freeMem(list->name);
    freeMem(list);
    list = next;
  }
}

uint32_t countFileList(const FileEntry* list) {
  uint32_t n = 0;
  for (; list; list = list->next) ++n;
  return n;
}

FileEntry* lastFileEntry(FileEntry* list) {
  while (list && list->next) list = list->next;
  return list;
}

FileEntry* fileEntryAt(FileEntry* list, uint32_t index) {
  for (; list && index > 0; --index) list = list->next;
  return list;
}

FileEntry* findFileEntry(const char16_t* name, FileEntry* list) {
  for (; list; list = list->next)
    if (equalsNoCase(list->name, name)) return list;
  return nullptr;
}

FileEntry* sortFileList(FileEntry* list) {
  uint32_t n = countFileList(list);
  if (n < 2) return list;
  auto** names = static_cast<char16_t**>(allocMem(n * sizeof(char16_t*), __FILE__, __LINE__));
  if (!names) return list;  // no room to sort in: the list stays as it was
  uint32_t i = 0;
  for (FileEntry* e = list; e; e = e->next) names[i++] = e->name;
  std::sort(names, names + n, [](const char16_t* a, const char16_t* b) {
    if (!a || !b) return !a && b;
    for (; *a && *a == *b; ++a, ++b) {
    }
    return *a < *b;
  });
  i = 0;
  for (FileEntry* e = list; e; e = e->next) e->name = names[i++];
  freeMem(names);
  return list;
}
