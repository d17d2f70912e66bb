#include "platform/errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>

#include "platform/utf.h"

namespace plat {
namespace {

thread_local DWORD lastError = 0;

struct CodeText {
  DWORD code;
  const char16_t* text;
};

// The system texts of the Windows codes our platform layer sets, and of the codes a caller is
// likely to pass on from elsewhere.
constexpr CodeText kWin32Texts[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {4, u"The system cannot open the file."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough memory resources are available to process this command."},
    {13, u"The data is invalid."},
    {14, u"Not enough memory resources are available to complete this operation."},
    {17, u"The system cannot move the file to a different disk drive."},
    {18, u"There are no more files."},
    {19, u"The media is write protected."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {33, u"The process cannot access the file because another process has locked a portion of the file."},
    {38, u"Reached the end of the file."},
    {50, u"The request is not supported."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {109, u"The pipe has been ended."},
    {112, u"There is not enough space on the disk."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {145, u"The directory is not empty."},
    {170, u"The requested resource is in use."},
    {183, u"Cannot create a file when that file already exists."},
    {206, u"The filename or extension is too long."},
    {234, u"More data is available."},
    {267, u"The directory name is invalid."},
    {317, u"The system cannot find message text for message number 0x%1 in the message file for %2."},
    {1168, u"Element not found."},
    {1223, u"The operation was canceled by the user."},
};

// Common COM results that are not of the Win32 facility.
constexpr CodeText kHresultTexts[] = {
    {0x80004001, u"Not implemented"},
    {0x80004002, u"No such interface supported"},
    {0x80004003, u"Invalid pointer"},
    {0x80004004, u"Operation aborted"},
    {0x80004005, u"Unspecified error"},
    {0x8000FFFF, u"Catastrophic failure"},
    {0x80040154, u"Class not registered"},
    {0x800401F0, u"CoInitialize has not been called."},
};

const char16_t* lookup(const CodeText* table, size_t n, DWORD code) {
  for (size_t i = 0; i < n; ++i)
    if (table[i].code == code) return table[i].text;
  return nullptr;
}

// The text for a code without its line break, or false when the system has none.
bool systemText(DWORD code, std::u16string& out) {
  if ((code & 0xE0000000) == ERRNO_FLAG) {
    int e = static_cast<int>(code & ~ERRNO_FLAG);
    if (e <= 0 || e > 4095) return false;
    char buf[256];
    // The GNU strerror_r returns its text; the POSIX one fills buf. Both forms are handled.
    auto r = strerror_r(e, buf, sizeof buf);
    const char* text;
    if constexpr (std::is_same_v<decltype(r), char*>) text = r;
    else text = r == 0 ? buf : nullptr;
    if (!text || std::strncmp(text, "Unknown error", 13) == 0) return false;
    out = fromUtf8(text);
    return true;
  }
  if ((code & 0xFFFF0000) == 0x80070000) code &= 0xFFFF;  // HRESULT_FROM_WIN32
  const char16_t* t = lookup(kWin32Texts, std::size(kWin32Texts), code);
  if (!t) t = lookup(kHresultTexts, std::size(kHresultTexts), code);
  if (!t) return false;
  out = t;
  return true;
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD win32FromErrno(int e) {
  switch (e) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY: return ERROR_BUSY;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ENOSYS: case ENOTSUP: return ERROR_NOT_SUPPORTED;
    default: return errnoCode(e);
  }
}

void setLastErrorFromErrno(int e) { lastError = win32FromErrno(e); }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     char16_t* buffer, DWORD size, va_list* arguments) {
  (void)source;
  (void)languageId;
  (void)arguments;
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  if (allocate) *reinterpret_cast<char16_t**>(buffer) = nullptr;
  std::u16string text;
  if (!systemText(messageId, text)) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  text += u"\r\n";
  size_t units = text.size() + 1;
  char16_t* out = buffer;
  if (allocate) {
    // With ALLOCATE_BUFFER, size is the least number of characters to allocate.
    size_t cap = units > size ? units : size;
    out = static_cast<char16_t*>(std::malloc(cap * sizeof(char16_t)));
    if (!out) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    *reinterpret_cast<char16_t**>(buffer) = out;
  } else if (units > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.c_str(), units * sizeof(char16_t));
  return static_cast<DWORD>(text.size());
}

void* LocalFree(void* block) {
  std::free(block);
  return nullptr;
}

}  // namespace plat
