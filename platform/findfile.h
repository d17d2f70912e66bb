// The Windows directory search (FindFirstFileW, FindNextFileW, FindClose) over POSIX directories.
//
// The search spec is a Windows-form path whose last component is a wildcard pattern
// (C:\data\*.dwg, /tmp/x\*.*); backslashes become '/' for the file system, and a spec without a
// directory searches the current directory. The pattern follows the rules of PathMatchSpecW
// (platform/pathmatch.h). Entries are reported in the order NTFS gives them: "." and ".." first,
// then by name without regard to case; the same tree thus lists alike on every system.
//
// Attributes: 0x10 for a directory, 0x1 when the permission bits allow nobody to write, 0x400 for
// a symbolic link that leads nowhere, and 0x80 (normal) when none of these applies. No hidden bit
// is made up for names beginning with "."; callers apply their own rule. There are no short (8.3)
// names: cAlternateFileName is always empty. Failures set the last error (platform/errors.h):
// ERROR_FILE_NOT_FOUND when the directory holds no match, ERROR_PATH_NOT_FOUND when it does not
// exist, ERROR_ACCESS_DENIED when it cannot be read; the end of a search gives ERROR_NO_MORE_FILES.
#pragma once
#include <cstdint>

namespace plat {

using HANDLE = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1, FILE_ATTRIBUTE_HIDDEN = 0x2,
                   FILE_ATTRIBUTE_SYSTEM = 0x4, FILE_ATTRIBUTE_DIRECTORY = 0x10,
                   FILE_ATTRIBUTE_ARCHIVE = 0x20, FILE_ATTRIBUTE_NORMAL = 0x80,
                   FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr unsigned MAX_PATH = 260;

// 100-nanosecond intervals since 1601-01-01 UTC, low half first.
struct FILETIME {
  uint32_t dwLowDateTime;
  uint32_t dwHighDateTime;
};

struct WIN32_FIND_DATAW {
  uint32_t dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  uint32_t nFileSizeHigh;
  uint32_t nFileSizeLow;
  uint32_t dwReserved0;
  uint32_t dwReserved1;
  char16_t cFileName[MAX_PATH];
  char16_t cAlternateFileName[14];
};

HANDLE FindFirstFileW(const char16_t* spec, WIN32_FIND_DATAW* data);
bool FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
bool FindClose(HANDLE search);

// A POSIX time (seconds and nanoseconds since 1970) as a FILETIME.
FILETIME fileTimeFromUnix(int64_t seconds, long nanoseconds);

}  // namespace plat
