// The C runtime's low-level wide file calls with their Windows meaning, over POSIX: _wsopen_s and
// _close with the share modes and _O_TEMPORARY, and the _wstat64 family. Paths are taken in
// Windows form; backslashes become '/' before the file system sees them.
#pragma once
#include <cstdint>

namespace plat {

using errno_t = int;

constexpr int _O_RDONLY = 0x0, _O_WRONLY = 0x1, _O_RDWR = 0x2, _O_APPEND = 0x8, _O_RANDOM = 0x10,
              _O_SEQUENTIAL = 0x20, _O_TEMPORARY = 0x40, _O_NOINHERIT = 0x80, _O_CREAT = 0x100,
              _O_TRUNC = 0x200, _O_EXCL = 0x400, _O_SHORT_LIVED = 0x1000, _O_TEXT = 0x4000,
              _O_BINARY = 0x8000;
constexpr int _SH_DENYRW = 0x10, _SH_DENYWR = 0x20, _SH_DENYRD = 0x30, _SH_DENYNO = 0x40;
constexpr int _S_IFMT = 0xF000, _S_IFDIR = 0x4000, _S_IFCHR = 0x2000, _S_IFIFO = 0x1000,
              _S_IFREG = 0x8000, _S_IREAD = 0x100, _S_IWRITE = 0x80, _S_IEXEC = 0x40;

// _wsopen_s: opens or creates a file and stores its descriptor in *handle (-1 on failure).
// Returns 0 or an errno value: EINVAL for bad arguments, ENOENT, EEXIST (_O_CREAT with _O_EXCL),
// EACCES when the file or its directory may not be written, for a directory, and when the share
// modes forbid the open.
//
// Windows rules kept here, also for root: a file whose permission bits allow nobody to write
// cannot be opened for writing or truncated, and a file cannot be created in a directory whose
// permission bits allow nobody to write. A new file made without _S_IWRITE in `permission` is
// read-only. Text and binary mode are alike (no line-end translation).
//
// Share modes are advisory locks on the open file (Linux open-file-description locks): every
// open made through this call honours those of every other such open, in this process and in
// others, so _SH_DENYWR keeps out later writers and _SH_DENYRW keeps out everyone; an open whose
// own deny mode conflicts with the access of a current holder fails as well. The locks go with
// the descriptor's close or the death of its process. Opens made outside these calls do not see
// them.
//
// _O_TEMPORARY: the file is deleted by _close, before _close returns, unless its name has come
// to name another file in the meantime.
errno_t _wsopen_s(int* handle, const char16_t* path, int openFlags, int shareFlags, int permission);

// _close: closes a descriptor from _wsopen_s (or any other); 0, or -1 with errno EBADF.
int _close(int handle);

// Windows-form status records. The times are seconds since 1970 (their names avoid the
// st_atime/st_mtime/st_ctime macros of the C library's <sys/stat.h>); st_ctime64 is the creation
// time where the file system keeps one, else the time of the last status change. st_mode has the
// Windows bits: the type (_S_IFDIR, _S_IFREG, ...), _S_IREAD always, _S_IWRITE when the
// permission bits allow a write, _S_IEXEC for directories and executables, repeated for group
// and others as the Windows runtime does.
struct _stat64 {
  uint32_t st_dev;
  uint64_t st_ino;
  uint16_t st_mode;
  int16_t st_nlink;
  int16_t st_uid;
  int16_t st_gid;
  uint32_t st_rdev;
  int64_t st_size;
  int64_t st_atime64;
  int64_t st_mtime64;
  int64_t st_ctime64;
};
struct _stat64i32 {
  uint32_t st_dev;
  uint64_t st_ino;
  uint16_t st_mode;
  int16_t st_nlink;
  int16_t st_uid;
  int16_t st_gid;
  uint32_t st_rdev;
  int32_t st_size;  // cut to 32 bits, as the Windows record holds it
  int64_t st_atime64;
  int64_t st_mtime64;
  int64_t st_ctime64;
};

// 0 on success, -1 with errno (ENOENT, EINVAL, ...) on failure; the record is then unchanged.
int _wstat64(const char16_t* path, struct _stat64* result);
int _wstat64i32(const char16_t* path, struct _stat64i32* result);

}  // namespace plat
