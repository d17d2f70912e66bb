// SHFileOperationW over POSIX: the delete-with-undo goes to the freedesktop.org trash (the home
// trash under $XDG_DATA_HOME/Trash, or a top-directory trash on the file's own mount), so any
// desktop can restore the file. Where no trash can take the file, the answer is non-zero and the
// file stays where it was: nothing is ever destroyed for good.
#pragma once
#include <cstdint>
#include <functional>

namespace plat {

constexpr unsigned FO_MOVE = 1, FO_COPY = 2, FO_DELETE = 3, FO_RENAME = 4;
constexpr uint16_t FOF_SILENT = 0x0004, FOF_NOCONFIRMATION = 0x0010, FOF_ALLOWUNDO = 0x0040,
                   FOF_FILESONLY = 0x0080, FOF_NOERRORUI = 0x0400, FOF_NORECURSION = 0x1000,
                   FOF_WANTNUKEWARNING = 0x4000;

struct SHFILEOPSTRUCTW {
  void* hwnd;
  unsigned wFunc;
  const char16_t* pFrom;  // list of names, each NUL-terminated, ended by an extra NUL
  const char16_t* pTo;
  uint16_t fFlags;
  int fAnyOperationsAborted;
  void* hNameMappings;
  const char16_t* lpszProgressTitle;
};

// Shell-style result codes this stand-in answers (non-zero means nothing was done).
constexpr int DE_INVALIDFILES = 0x7C;   // a source name does not exist
constexpr int DE_ACCESSDENIED = 0x78;   // no trash can take the item, or it may not be moved
constexpr int DE_OPCANCELLED = 0x75;    // a directory with files-only / no-recursion
constexpr int DE_UNSUPPORTED = 0x402;   // an operation other than the undoable delete

int SHFileOperationW(SHFILEOPSTRUCTW* op);

// Test seam: replaces the shell operation (null restores the real one).
using ShellOperation = std::function<int(SHFILEOPSTRUCTW*)>;
ShellOperation setShellOperation(ShellOperation op);

}  // namespace plat
