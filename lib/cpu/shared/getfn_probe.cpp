// File and directory probes: probeAccess, getModifiedTime, isDirectory.
#include "lib/cpu/shared/getfn.h"
#include "lib/cpu/shared/messages.h"
#include "platform/crt.h"
#include "platform/fileio.h"
#include "platform/pathmatch.h"
#include "platform/utf.h"

namespace {

constexpr size_t kPathUnits = 260;
constexpr size_t kPartUnits = 256;  // the name part and the directory part each hold 255
constexpr char16_t kProbeName[] = u"~$access.tmp";
constexpr size_t kProbeLen = sizeof kProbeName / sizeof kProbeName[0] - 1;

}  // namespace

bool probeAccess(const char16_t* path, bool* exists, bool* readOnly, bool* dirReadOnly) {
  if (exists) *exists = false;
  if (readOnly) *readOnly = false;
  if (dirReadOnly) *dirReadOnly = false;
  size_t len = plat::wlen(path);
  if (!path || len == 0 || len > kPathUnits) return false;

  // The parts are taken into path-sized buffers and then held to their own limits, so that a
  // part too long for the probe is refused rather than cut into another name.
  char16_t sb[kPathUnits];
  char16_t sp[kPathUnits];
  getPathParts(sb, kPathUnits, path, 2);
  if (sb[0] == 0 || plat::wlen(sb) > kPartUnits - 1) return false;
  getPathParts(sp, kPathUnits, path, 1);
  size_t dirLen = plat::wlen(sp);
  if (dirLen > kPartUnits - 1 || dirLen + kProbeLen > kPathUnits - 1) return false;
  if (plat::_waccess_s(sp, 0) != 0) return false;

  bool fileExists = plat::_waccess_s(path, 0) == 0;
  bool fileReadOnly = fileExists && plat::_waccess(path, 2) == -1;
  if (readOnly && fileExists && !fileReadOnly) {
    // Writable by its attributes, but perhaps held open by someone who shares it with nobody.
    int fh = -1;
    if (plat::_wsopen_s(&fh, path, plat::_O_RDWR | plat::_O_BINARY, plat::_SH_DENYNO,
                        plat::_S_IREAD | plat::_S_IWRITE) != 0)
      fileReadOnly = true;
    else
      plat::_close(fh);
  }
  bool dirRO = false;
  if (dirReadOnly) {
    char16_t spt[kPathUnits];
    for (size_t i = 0; i <= kProbeLen; ++i) spt[i] = kProbeName[i];
    mergePath(spt, sp, nullptr, nullptr, true, false);
    int fh = -1;
    int err = plat::_wsopen_s(&fh, spt,
                              plat::_O_RDWR | plat::_O_CREAT | plat::_O_TEMPORARY | plat::_O_BINARY,
                              plat::_SH_DENYNO, plat::_S_IREAD | plat::_S_IWRITE);
    if (err != 0) {
      dirRO = true;
      if (plat::_waccess_s(spt, 0) == 0) showMessage(u"%s exists read-only (%d).", spt, err);
    } else {
      plat::_close(fh);  // the probe file goes with the close
    }
  }
  if (exists) *exists = fileExists;
  if (readOnly) *readOnly = fileReadOnly;
  if (dirReadOnly) *dirReadOnly = dirRO;
  return true;
}

bool getModifiedTime(const char16_t* path, int64_t* time) {
  struct plat::_stat64i32 result = {};
  if (plat::_wstat64i32(path, &result) != 0) return false;
  if (time) *time = result.st_mtime64;
  return true;
}

bool isDirectory(const char16_t* path, bool* isEmpty) {
  if (isEmpty) *isEmpty = false;
  struct plat::_stat64 result = {};
  if (plat::_wstat64(path, &result) != 0 || !(result.st_mode & plat::_S_IFDIR)) return false;
  if (isEmpty) *isEmpty = plat::PathIsDirectoryEmptyW(path);
  return true;
}
