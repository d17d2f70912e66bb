#include "platform/crt.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/utf.h"

namespace plat {

CrtHooks& crtHooks() {
  static CrtHooks hooks;
  return hooks;
}

int _waccess(const char16_t* path, int mode) {
  if (crtHooks().waccess) return crtHooks().waccess(path, mode);
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  std::string p = toPosixPath(path);
  struct stat st;
  if (::stat(p.c_str(), &st) != 0) return -1;
  if (mode & 2) {
    // Writability follows the permission bits, as the read-only attribute does on Windows: root
    // may write anything, but a file nobody may write counts as read-only.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(p.c_str(), W_OK) != 0) {
      errno = EACCES;
      return -1;
    }
  }
  if ((mode & 4) && ::access(p.c_str(), R_OK) != 0) return -1;
  return 0;
}

int _waccess_s(const char16_t* path, int mode) {
  errno = 0;
  if (_waccess(path, mode) == 0) return 0;
  return errno != 0 ? errno : EACCES;
}

int _wrename(const char16_t* from, const char16_t* to) {
  if (crtHooks().wrename) return crtHooks().wrename(from, to);
  if (!from || !to) {
    errno = EINVAL;
    return -1;
  }
  std::string f = toPosixPath(from), t = toPosixPath(to);
  struct stat st;
  if (::lstat(t.c_str(), &st) == 0) {  // Windows rename never replaces an existing name
    errno = EEXIST;
    return -1;
  }
  return std::rename(f.c_str(), t.c_str()) == 0 ? 0 : -1;
}

int _wunlink(const char16_t* path) {
  if (crtHooks().wunlink) return crtHooks().wunlink(path);
  if (!path) {
    errno = EINVAL;
    return -1;
  }
  return ::unlink(toPosixPath(path).c_str()) == 0 ? 0 : -1;
}

}  // namespace plat
