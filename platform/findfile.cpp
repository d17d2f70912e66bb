#include "platform/findfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"
#include "platform/pathmatch.h"
#include "platform/utf.h"

namespace plat {
namespace {

struct Search {
  int dirFd = -1;
  std::vector<std::string> names;  // matching names in report order, as the file system has them
  std::vector<std::u16string> wideNames;
  size_t next = 0;
};

bool isDots(const std::u16string& n) { return n == u"." || n == u".."; }

// NTFS order: "." and ".." first, then names compared without regard to case, ties by code unit.
bool reportsBefore(const std::u16string& a, const std::u16string& b) {
  bool da = isDots(a), db = isDots(b);
  if (da || db) return da && (!db || a.size() < b.size());
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t fa = foldCase(a[i]), fb = foldCase(b[i]);
    if (fa != fb) return fa < fb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

// Fills data for one entry; false when the entry has gone since the directory was read.
bool describe(int dirFd, const std::string& name, const std::u16string& wide, WIN32_FIND_DATAW* data) {
  std::memset(data, 0, sizeof *data);
  struct statx sx;
  uint32_t attrs = 0;
  bool dangling = false;
  if (::statx(dirFd, name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    if (::statx(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
      return false;
    dangling = true;
  }
  if (S_ISDIR(sx.stx_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  if ((sx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= FILE_ATTRIBUTE_READONLY;
  if (dangling) attrs |= FILE_ATTRIBUTE_REPARSE_POINT;
  if (attrs == 0) attrs = FILE_ATTRIBUTE_NORMAL;
  data->dwFileAttributes = attrs;
  // Without a birth time from the file system, the status-change time is the best stand-in.
  const statx_timestamp& born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
  data->ftCreationTime = fileTimeFromUnix(born.tv_sec, born.tv_nsec);
  data->ftLastAccessTime = fileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  data->ftLastWriteTime = fileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  uint64_t size = S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size;
  data->nFileSizeHigh = static_cast<uint32_t>(size >> 32);
  data->nFileSizeLow = static_cast<uint32_t>(size);
  std::memcpy(data->cFileName, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return true;
}

// Reports the next entry that still exists; false at the end.
bool reportNext(Search* s, WIN32_FIND_DATAW* data) {
  while (s->next < s->names.size()) {
    size_t i = s->next++;
    if (describe(s->dirFd, s->names[i], s->wideNames[i], data)) return true;
  }
  return false;
}

}  // namespace

FILETIME fileTimeFromUnix(int64_t seconds, long nanoseconds) {
  constexpr int64_t kEpochDiff = 11644473600;  // seconds from 1601-01-01 to 1970-01-01
  int64_t t = seconds + kEpochDiff;
  uint64_t ticks = t < 0 ? 0 : static_cast<uint64_t>(t) * 10000000u + static_cast<uint64_t>(nanoseconds / 100);
  return FILETIME{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

HANDLE FindFirstFileW(const char16_t* spec, WIN32_FIND_DATAW* data) {
  if (!spec || !*spec || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  size_t len = wlen(spec), cut = len;
  while (cut > 0 && spec[cut - 1] != u'\\' && spec[cut - 1] != u'/') --cut;
  std::u16string dir(spec, cut), pattern(spec + cut, len - cut);
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string posixDir = dir.empty() ? std::string(".") : toPosixPath(dir.c_str());
  int fd = ::open(posixDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    SetLastError(e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : win32FromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  int readFd = ::dup(fd);
  DIR* d = readFd >= 0 ? ::fdopendir(readFd) : nullptr;
  if (!d) {
    int e = errno;
    if (readFd >= 0) ::close(readFd);
    ::close(fd);
    SetLastError(win32FromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  auto* s = new (std::nothrow) Search;
  if (!s) {
    ::closedir(d);
    ::close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  s->dirFd = fd;
  try {
    std::vector<std::pair<std::u16string, std::string>> found;
    while (dirent* e = ::readdir(d)) {
      std::u16string wide = fromUtf8(e->d_name);
      if (wide.size() >= MAX_PATH) continue;  // cannot be reported in cFileName
      if (!matchOnePattern(wide.c_str(), wide.size(), pattern.c_str(), pattern.size())) continue;
      found.emplace_back(std::move(wide), e->d_name);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return reportsBefore(a.first, b.first); });
    for (auto& f : found) {
      s->wideNames.push_back(std::move(f.first));
      s->names.push_back(std::move(f.second));
    }
  } catch (const std::bad_alloc&) {
    ::closedir(d);
    FindClose(s);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  ::closedir(d);
  if (!reportNext(s, data)) {
    FindClose(s);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return s;
}

bool FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  if (!search || search == INVALID_HANDLE_VALUE || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!reportNext(static_cast<Search*>(search), data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  return true;
}

bool FindClose(HANDLE search) {
  if (!search || search == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  auto* s = static_cast<Search*>(search);
  if (s->dirFd >= 0) ::close(s->dirFd);
  delete s;
  return true;
}

}  // namespace plat
