// The calling thread's last error, as GetLastError reports it on Windows, and FormatMessageW over
// it. Our platform calls store a Windows error code where one fits (ERROR_FILE_NOT_FOUND for a
// missing name, ERROR_ACCESS_DENIED, ...); an errno value with no Windows counterpart is stored as
// errnoCode(e), which sets the customer bit Windows leaves to applications, so the two kinds never
// collide and FormatMessageW can give the C library's text for it.
#pragma once
#include <cstdarg>
#include <cstdint>

namespace plat {

using DWORD = uint32_t;

constexpr DWORD ERROR_SUCCESS = 0, ERROR_INVALID_FUNCTION = 1, ERROR_FILE_NOT_FOUND = 2,
                ERROR_PATH_NOT_FOUND = 3, ERROR_TOO_MANY_OPEN_FILES = 4, ERROR_ACCESS_DENIED = 5,
                ERROR_INVALID_HANDLE = 6, ERROR_NOT_ENOUGH_MEMORY = 8, ERROR_INVALID_DATA = 13,
                ERROR_OUTOFMEMORY = 14, ERROR_NOT_SAME_DEVICE = 17, ERROR_NO_MORE_FILES = 18,
                ERROR_WRITE_PROTECT = 19, ERROR_SHARING_VIOLATION = 32, ERROR_LOCK_VIOLATION = 33,
                ERROR_HANDLE_EOF = 38, ERROR_NOT_SUPPORTED = 50, ERROR_FILE_EXISTS = 80,
                ERROR_INVALID_PARAMETER = 87, ERROR_BROKEN_PIPE = 109, ERROR_DISK_FULL = 112,
                ERROR_INSUFFICIENT_BUFFER = 122, ERROR_INVALID_NAME = 123, ERROR_DIR_NOT_EMPTY = 145,
                ERROR_BUSY = 170, ERROR_ALREADY_EXISTS = 183, ERROR_FILENAME_EXCED_RANGE = 206,
                ERROR_MORE_DATA = 234, ERROR_DIRECTORY = 267, ERROR_MR_MID_NOT_FOUND = 317,
                ERROR_NOT_FOUND = 1168, ERROR_CANCELLED = 1223;

// The customer bit (bit 29) marks a code as application-defined on Windows; we use it for errno.
constexpr DWORD ERRNO_FLAG = 0x20000000;
constexpr DWORD errnoCode(int e) { return ERRNO_FLAG | static_cast<DWORD>(e); }

DWORD GetLastError();
void SetLastError(DWORD code);

// The Windows code that stands for errno value e (ENOENT -> ERROR_FILE_NOT_FOUND, ...), or
// errnoCode(e) when there is none. 0 stays 0.
DWORD win32FromErrno(int e);
// Stores win32FromErrno(e) as the thread's last error.
void setLastErrorFromErrno(int e);

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100, FORMAT_MESSAGE_IGNORE_INSERTS = 0x200,
                FORMAT_MESSAGE_FROM_STRING = 0x400, FORMAT_MESSAGE_FROM_HMODULE = 0x800,
                FORMAT_MESSAGE_FROM_SYSTEM = 0x1000, FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000;
constexpr DWORD LANG_NEUTRAL = 0, SUBLANG_DEFAULT = 1;
constexpr DWORD MAKELANGID(DWORD primary, DWORD sub) { return (sub << 10) | primary; }

// FormatMessageW with FORMAT_MESSAGE_FROM_SYSTEM: the text for a Windows error code, an
// HRESULT of the Win32 facility (0x8007xxxx) or a common COM HRESULT, or an errno value stored
// as errnoCode(e). As on Windows every text ends in "\r\n". With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// buffer is really a char16_t** that receives a block to release with LocalFree. Returns the
// number of characters written without the terminator; 0 with the last error set when there is no
// text (ERROR_MR_MID_NOT_FOUND) or it does not fit (ERROR_INSUFFICIENT_BUFFER). Other sources
// than the system are not supported. Inserts are never expanded: the system texts have none.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, va_list* arguments);

// Releases a block that FormatMessageW allocated; null is allowed. Returns null as on success.
void* LocalFree(void* block);

}  // namespace plat
