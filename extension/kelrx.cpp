#include <cstdint>

#include "convert/convert.h"
#include "engine/acdbhost.h"
#include "extension/KelRx.h"
#include "extension/state.h"
#include "host/KelHostApp.h"
#include "platform/msgbox.h"

bool initialized = false;
bool terminated = false;

// Both statics live here so that their order is fixed: the extension object first, then the host
// object; they are destroyed in reverse at unload.
KelRx kelRx;
KelHostApp hostApp;

namespace {

// Registers the host object, validates the engine for US English, and only then adopts the
// agent's file-finding flags.
bool startEngine(uint32_t flags) {
  if (acdbSetHostApplicationServices(&hostApp) != Acad::eOk) return false;
  if (acdbValidateSetup(1033) != Acad::eOk) return false;
  findFileFlags = flags;
  return true;
}

}  // namespace

bool KelRx::initialize(uint32_t flags) {
  if (initialized) return true;
  initialized = startEngine(flags);
  return initialized;
}

// Only marks the end of use: the engine keeps serving until the process ends, so a later
// initialize answers true at once.
bool KelRx::terminate() {
  terminated = true;
  return false;
}

bool KelRx::dxfToDwg(const char16_t* dxfPath, const char16_t* dwgPath, const char16_t* backupPath,
                     int32_t* status, const char16_t* logPath, const char16_t* reexportPath,
                     bool keepSettings, bool forceBackup) {
  return ::dxfToDwg(dxfPath, dwgPath, backupPath, status, logPath, reexportPath, keepSettings,
                    forceBackup);
}

bool KelRx::resaveDwg(const char16_t* sourcePath, const char16_t* targetPath, void* ignored) {
  return ::resaveDwg(sourcePath, targetPath, ignored);
}

bool KelRx::dwgToDxf(const char16_t* dwgPath, const char16_t* dxfPath, int32_t* status,
                     void* ignored, uint64_t* seedBefore, uint64_t* seedAfter, bool keepSettings) {
  return ::dwgToDxf(dwgPath, dxfPath, status, ignored, seedBefore, seedAfter, keepSettings);
}

const char* KelRx::statusName(int32_t status) { return ::statusName(status); }

int32_t KelRx::releaseNumber() { return 20; }

KelRx::~KelRx() {
  if (!terminated)
    plat::MessageBoxW(nullptr,
                      u"Unrecoverable error attempting to open or validate drawing.\n\n"
                      u"To avoid this issue, select \"0 - Disable demand-loading\" for Demandload "
                      u"in AutoCAD program settings.",
                      u"ObjectDBX", plat::MB_OK | plat::MB_ICONERROR);
}

namespace kel::ext {
void resetStateForTests() {
  initialized = false;
  terminated = false;
  findFileFlags = 0;
}
}  // namespace kel::ext
