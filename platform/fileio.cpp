#include "platform/fileio.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/utf.h"

namespace plat {
namespace {

// What _close must do besides closing the descriptor.
struct OpenFile {
  int lockFd = -1;           // a second description carrying the share locks, or -1
  std::string temporaryPath;  // non-empty for _O_TEMPORARY: deleted at close
  dev_t dev = 0;
  ino_t ino = 0;
};

std::mutex& tableLock() {
  static auto* m = new std::mutex;
  return *m;
}
std::map<int, OpenFile>& openFiles() {
  static auto* table = new std::map<int, OpenFile>;
  return *table;
}

// Share-lock bytes far beyond any data: a holder takes a shared lock on the byte of each access it
// has and of each access it denies; a newcomer looks for holders on the bytes that exclude it.
constexpr off_t kLockBase = LLONG_MAX - 8;
enum LockByte { HasRead = 0, HasWrite = 1, DeniesRead = 2, DeniesWrite = 3 };

// The one-byte lock record of a share-lock byte.
[[maybe_unused]] struct flock lockRecord(short type, LockByte b) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + b;
  fl.l_len = 1;
  return fl;
}

bool anyHolder(int fd, LockByte b) {
#ifdef F_OFD_GETLK
  struct flock fl = lockRecord(F_WRLCK, b);
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
#else
  (void)fd;
  (void)b;
  return false;
#endif
}

void take(int fd, LockByte b) {
#ifdef F_OFD_SETLK
  struct flock fl = lockRecord(F_RDLCK, b);
  (void)::fcntl(fd, F_OFD_SETLK, &fl);
#else
  (void)fd;
  (void)b;
#endif
}

bool anyWriteBit(mode_t m) { return (m & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

std::string parentOf(const std::string& p) {
  size_t end = p.size();
  while (end > 1 && p[end - 1] == '/') --end;
  size_t slash = p.rfind('/', end - 1);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return p.substr(0, slash);
}

std::string absolute(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return p;
  return std::string(cwd) + "/" + p;
}

uint16_t windowsMode(mode_t m) {
  unsigned mode = 0;
  if (S_ISDIR(m)) mode = _S_IFDIR;
  else if (S_ISREG(m)) mode = _S_IFREG;
  else if (S_ISCHR(m)) mode = _S_IFCHR;
  else if (S_ISFIFO(m)) mode = _S_IFIFO;
  unsigned perm = _S_IREAD;
  if (anyWriteBit(m)) perm |= _S_IWRITE;
  if (S_ISDIR(m) || (m & (S_IXUSR | S_IXGRP | S_IXOTH))) perm |= _S_IEXEC;
  return static_cast<uint16_t>(mode | perm | (perm >> 3) | (perm >> 6));
}

template <typename Record>
int statInto(const char16_t* path, Record* result) {
  if (!path || !result) {
    errno = EINVAL;
    return -1;
  }
  std::string p = toPosixPath(path);
  struct statx sx;
  if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return -1;
  Record r = {};
  r.st_dev = static_cast<uint32_t>((sx.stx_dev_major << 8) | sx.stx_dev_minor);
  r.st_ino = sx.stx_ino;
  r.st_mode = windowsMode(sx.stx_mode);
  r.st_nlink = static_cast<int16_t>(sx.stx_nlink);
  r.st_uid = static_cast<int16_t>(sx.stx_uid);
  r.st_gid = static_cast<int16_t>(sx.stx_gid);
  r.st_rdev = static_cast<uint32_t>((sx.stx_rdev_major << 8) | sx.stx_rdev_minor);
  r.st_size = static_cast<decltype(r.st_size)>(S_ISDIR(sx.stx_mode) ? 0 : sx.stx_size);
  r.st_atime64 = sx.stx_atime.tv_sec;
  r.st_mtime64 = sx.stx_mtime.tv_sec;
  r.st_ctime64 = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
  *result = r;
  return 0;
}

}  // namespace

errno_t _wsopen_s(int* handle, const char16_t* path, int openFlags, int shareFlags, int permission) {
  if (!handle) return EINVAL;
  *handle = -1;
  int access = openFlags & 3;
  if (!path || !*path || access == 3 ||
      (shareFlags != _SH_DENYRW && shareFlags != _SH_DENYWR && shareFlags != _SH_DENYRD &&
       shareFlags != _SH_DENYNO)) {
    setLastErrorFromErrno(EINVAL);
    return EINVAL;
  }
  bool wantRead = access != _O_WRONLY, wantWrite = access != _O_RDONLY;
  bool create = openFlags & _O_CREAT, truncate = openFlags & _O_TRUNC;
  std::string p = toPosixPath(path);

  auto fail = [](int e, DWORD win32) {
    SetLastError(win32);
    return e;
  };
  struct stat st;
  bool existed = ::stat(p.c_str(), &st) == 0;
  if (existed) {
    if (create && (openFlags & _O_EXCL)) return fail(EEXIST, ERROR_FILE_EXISTS);
    if (S_ISDIR(st.st_mode)) return fail(EACCES, ERROR_ACCESS_DENIED);
    if ((wantWrite || truncate) && !anyWriteBit(st.st_mode)) return fail(EACCES, ERROR_ACCESS_DENIED);
  } else {
    if (errno != ENOENT) {
      int e = errno;
      return fail(e, win32FromErrno(e));
    }
    if (!create) return fail(ENOENT, ERROR_FILE_NOT_FOUND);
    struct stat dirSt;
    if (::stat(parentOf(p).c_str(), &dirSt) != 0) return fail(ENOENT, ERROR_PATH_NOT_FOUND);
    if (!anyWriteBit(dirSt.st_mode)) return fail(EACCES, ERROR_ACCESS_DENIED);
  }

  int flags = O_CLOEXEC | (access == _O_RDONLY ? O_RDONLY : access == _O_WRONLY ? O_WRONLY : O_RDWR);
  if (create) flags |= O_CREAT;
  if ((openFlags & _O_EXCL) && create) flags |= O_EXCL;
  if (openFlags & _O_APPEND) flags |= O_APPEND;
  mode_t mode = (permission & _S_IWRITE) ? 0666 : 0444;
  int fd = ::open(p.c_str(), flags, mode);
  if (fd < 0) {
    int e = errno == EISDIR ? EACCES : errno;
    return fail(e, win32FromErrno(e));
  }

  // The share locks need a description open for reading; a write-only open gets a companion.
  int lockFd = -1;
  int lockOn = fd;
  if (!wantRead) {
    lockFd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    lockOn = lockFd;
  }
  if (lockOn >= 0) {
    bool denyRead = shareFlags == _SH_DENYRW || shareFlags == _SH_DENYRD;
    bool denyWrite = shareFlags == _SH_DENYRW || shareFlags == _SH_DENYWR;
    bool conflict = (wantRead && anyHolder(lockOn, DeniesRead)) ||
                    (wantWrite && anyHolder(lockOn, DeniesWrite)) ||
                    (denyRead && anyHolder(lockOn, HasRead)) || (denyWrite && anyHolder(lockOn, HasWrite));
    if (conflict) {
      if (lockFd >= 0) ::close(lockFd);
      ::close(fd);
      return fail(EACCES, ERROR_SHARING_VIOLATION);
    }
    if (wantRead) take(lockOn, HasRead);
    if (wantWrite) take(lockOn, HasWrite);
    if (denyRead) take(lockOn, DeniesRead);
    if (denyWrite) take(lockOn, DeniesWrite);
  }
  // Truncation waits for the share test, so a file others hold without sharing is left whole.
  if (truncate && existed && ::ftruncate(fd, 0) != 0) {
    int e = errno;
    if (lockFd >= 0) ::close(lockFd);
    ::close(fd);
    return fail(e, win32FromErrno(e));
  }

  OpenFile of;
  of.lockFd = lockFd;
  if (openFlags & _O_TEMPORARY) {
    struct stat own;
    if (::fstat(fd, &own) == 0) {
      of.temporaryPath = absolute(p);
      of.dev = own.st_dev;
      of.ino = own.st_ino;
    }
  }
  if (of.lockFd >= 0 || !of.temporaryPath.empty()) {
    std::lock_guard<std::mutex> guard(tableLock());
    openFiles()[fd] = std::move(of);
  } else {
    std::lock_guard<std::mutex> guard(tableLock());
    openFiles().erase(fd);
  }
  *handle = fd;
  return 0;
}

int _close(int handle) {
  OpenFile of;
  bool tracked = false;
  {
    std::lock_guard<std::mutex> guard(tableLock());
    auto it = openFiles().find(handle);
    if (it != openFiles().end()) {
      of = std::move(it->second);
      openFiles().erase(it);
      tracked = true;
    }
  }
  if (tracked && !of.temporaryPath.empty()) {
    struct stat named;
    if (::stat(of.temporaryPath.c_str(), &named) == 0 && named.st_dev == of.dev && named.st_ino == of.ino)
      ::unlink(of.temporaryPath.c_str());
  }
  if (tracked && of.lockFd >= 0) ::close(of.lockFd);
  if (::close(handle) != 0) {
    setLastErrorFromErrno(errno);
    return -1;
  }
  return 0;
}

int _wstat64(const char16_t* path, struct _stat64* result) { return statInto(path, result); }
int _wstat64i32(const char16_t* path, struct _stat64i32* result) { return statInto(path, result); }

}  // namespace plat
