#include <cstring>

#include "lib/cpu/shared/getfn.h"
#include "platform/crt.h"
#include "platform/shell.h"

bool recycleFile(const char16_t* target, bool recurse, int32_t* shellResult) {
  // One name and its terminator in 260 units, plus the second terminator of the shell's list.
  char16_t path[261];
  std::memset(path, 0, sizeof path);
  if (!target) return false;
  size_t len = 0;
  while (target[len]) ++len;
  // A name of 260 characters or more cannot be listed without cutting it: refused, nothing done.
  if (len > 259) return false;
  std::memcpy(path, target, len * sizeof(char16_t));
  path[len + 1] = 0;
  if (plat::_waccess(path, 0) != 0) return false;

  plat::SHFILEOPSTRUCTW fileOp;
  std::memset(&fileOp, 0, sizeof fileOp);
  fileOp.hwnd = nullptr;
  fileOp.wFunc = plat::FO_DELETE;
  fileOp.pFrom = path;
  fileOp.pTo = nullptr;
  fileOp.fFlags = plat::FOF_WANTNUKEWARNING | plat::FOF_ALLOWUNDO | plat::FOF_NOCONFIRMATION | plat::FOF_SILENT;
  if (!recurse) fileOp.fFlags |= plat::FOF_NORECURSION | plat::FOF_FILESONLY;
  int result = plat::SHFileOperationW(&fileOp);
  if (shellResult) *shellResult = result;
  return result == 0;
}
