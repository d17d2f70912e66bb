// Default host services and the engine's registration of its host object.
#include <cstdarg>
#include <cstdio>

#include "engine/acdbhost.h"
#include "engine/sdk_seam.h"
#include "platform/utf.h"
#include "platform/wformat.h"

using ES = Acad::ErrorStatus;

namespace {
AcDbHostApplicationServices*& hostSlot() {
  static AcDbHostApplicationServices* host = nullptr;
  return host;
}
}  // namespace

AcDbHostApplicationServices::AcDbHostApplicationServices(int createGlobals)
    : m_createGlobals(createGlobals) {}
AcDbHostApplicationServices::~AcDbHostApplicationServices() {
  // Runs at unload: clear the registration directly, without the (possibly gone) test seam.
  if (hostSlot() == this) hostSlot() = nullptr;
}

// Without a host policy every request is answered "not found": the engine then goes on without
// the file (fonts fall back, xrefs stay unresolved).
ES AcDbHostApplicationServices::findFile(char16_t* fileOut, int bufLen, const char16_t*,
                                         AcDbDatabase*, FindFileHint) {
  if (fileOut && bufLen > 0) fileOut[0] = 0;
  return Acad::eFileNotFound;
}
ES AcDbHostApplicationServices::getRoamableRootFolder(const char16_t*& f) { f = u""; return Acad::eOk; }
ES AcDbHostApplicationServices::getLocalRootFolder(const char16_t*& f) { f = u""; return Acad::eOk; }
ES AcDbHostApplicationServices::getAllUsersRootFolder(const char16_t*& f) { f = u""; return Acad::eOk; }
ES AcDbHostApplicationServices::getGraphicsCacheFolder(const char16_t*& f) { f = u""; return Acad::eOk; }
ES AcDbHostApplicationServices::selectFile(int& flags, const char16_t*, const char16_t*, char16_t* out, int len) {
  flags = 0;
  if (out && len > 0) out[0] = 0;
  return Acad::eNotApplicable;
}
ES AcDbHostApplicationServices::registerSelectFileCallback(const char16_t*, void*, bool, bool) { return Acad::eOk; }
void* AcDbHostApplicationServices::primaryClientForSelectFileCallback() { return nullptr; }
ES AcDbHostApplicationServices::getRegisteredSelectFileClients(void*) { return Acad::eOk; }
ES AcDbHostApplicationServices::mapFile(char16_t* out, int len, const char16_t*, AcDbDatabase*) {
  if (out && len > 0) out[0] = 0;
  return Acad::eFileNotFound;
}
ES AcDbHostApplicationServices::registerMapFileCallback(const char16_t*, void*, bool) { return Acad::eOk; }
void* AcDbHostApplicationServices::primaryClientForMapFileCallback() { return nullptr; }
ES AcDbHostApplicationServices::setMapFlag(bool) { return Acad::eOk; }
ES AcDbHostApplicationServices::getRegisteredFileMapClients(void*) { return Acad::eOk; }
ES AcDbHostApplicationServices::registerMapFileNotification(const char16_t*, void*, bool) { return Acad::eOk; }
void AcDbHostApplicationServices::fatalError(const char16_t* format, ...) {
  std::u16string text;
  va_list ap;
  va_start(ap, format);
  plat::formatW(text, format, ap);
  va_end(ap);
  std::fprintf(stderr, "fatal: %s\n", plat::toUtf8(text).c_str());
}
void AcDbHostApplicationServices::reportUnhandledArxException(const char16_t*) {}
bool AcDbHostApplicationServices::userBreak(bool) const { return false; }
void AcDbHostApplicationServices::displayChar(char16_t) const {}
void AcDbHostApplicationServices::displayString(const char16_t*, int) const {}
bool AcDbHostApplicationServices::readyToDisplayMessages() { return false; }
void AcDbHostApplicationServices::enableMessageDisplay(bool) {}
bool AcDbHostApplicationServices::doFullCRCCheck() { return false; }
unsigned AcDbHostApplicationServices::getTempPath(uint32_t len, char16_t* buf) {
  if (buf && len > 0) buf[0] = 0;
  return 0;
}
const char16_t* AcDbHostApplicationServices::getEnv(const char16_t*) { return nullptr; }
void* AcDbHostApplicationServices::newProgressMeter() { return nullptr; }
AcDbAbstractClipBoundaryDefinition* AcDbHostApplicationServices::newClipBoundaryRectangular() { return nullptr; }
AcDbAbstractClipBoundaryDefinition* AcDbHostApplicationServices::newClipBoundaryPolygonal() { return nullptr; }
void* AcDbHostApplicationServices::newClipBoundaryArray() { return nullptr; }
AcDbUndoController* AcDbHostApplicationServices::defaultUndoController() { return nullptr; }
void* AcDbHostApplicationServices::workingGlobalsData() { return m_workingGlobals; }
AcDbGlobals* AcDbHostApplicationServices::createWorkingGlobals() { return nullptr; }
const char16_t* AcDbHostApplicationServices::program() { return u""; }
const char16_t* AcDbHostApplicationServices::product() { return u""; }
const char16_t* AcDbHostApplicationServices::companyName() { return u""; }
int AcDbHostApplicationServices::prodcode() { return 0; }
const char16_t* AcDbHostApplicationServices::releaseMajorMinorString() { return u"20.0"; }
int AcDbHostApplicationServices::releaseMajorVersion() { return 20; }
int AcDbHostApplicationServices::releaseMinorVersion() { return 0; }
const char16_t* AcDbHostApplicationServices::versionString() { return u""; }
const char16_t* AcDbHostApplicationServices::getMachineRegistryProductRootKey() { return u""; }
const char16_t* AcDbHostApplicationServices::getUserRegistryProductRootKey() { return u""; }
const char16_t* AcDbHostApplicationServices::releaseMarketVersion() { return u""; }
uint32_t AcDbHostApplicationServices::getRegistryProductLCID() { return 1033; }
bool AcDbHostApplicationServices::supportsMultiRedo() const { return false; }
int AcDbHostApplicationServices::getModelerFlavor() const { return 0; }
void* AcDbHostApplicationServices::acadInternalServices() { return nullptr; }
bool AcDbHostApplicationServices::isURL(const char16_t*) const { return false; }
bool AcDbHostApplicationServices::isRemoteFile(const char16_t*, char16_t* url, int len) const {
  if (url && len > 0) url[0] = 0;
  return false;
}
ES AcDbHostApplicationServices::getRemoteFile(const char16_t*, char16_t* out, int len, bool) const {
  if (out && len > 0) out[0] = 0;
  return Acad::eNotApplicable;
}
ES AcDbHostApplicationServices::putRemoteFile(const char16_t*, const char16_t*) const { return Acad::eNotApplicable; }
bool AcDbHostApplicationServices::isCloudFile(const char16_t*) const { return false; }
bool AcDbHostApplicationServices::launchBrowserDialog(char16_t* sel, int len, const char16_t*, const char16_t*,
                                                      const char16_t*, const char16_t*, bool) const {
  if (sel && len > 0) sel[0] = 0;
  return false;
}
void AcDbHostApplicationServices::drawOleOwnerDrawItem(void*, void*, int32_t, int32_t, int32_t, int32_t) {}
ES AcDbHostApplicationServices::getNewOleClientItem(void*& item) {
  item = nullptr;
  return Acad::eNotApplicable;
}
ES AcDbHostApplicationServices::serializeOleItem(void*, void*) { return Acad::eNotApplicable; }
ES AcDbHostApplicationServices::_entToWorldTransform(double*, double*) { return Acad::eNotApplicable; }
void AcDbHostApplicationServices::terminateScript() {}
int AcDbHostApplicationServices::getSubstituteFont(char16_t** fileName, char16_t* prompt, int type, int alt) {
  return getSubstituteFont(fileName, static_cast<const char16_t*>(prompt), type, alt);
}
// No substitute font chosen: the caller keeps its own fallback.
int AcDbHostApplicationServices::getSubstituteFont(char16_t** fileName, const char16_t*, int, int) {
  if (fileName) *fileName = nullptr;
  return 0;
}
void AcDbHostApplicationServices::alert(const char16_t*) const {}
void AcDbHostApplicationServices::auditPrintReport(void*, const char16_t*, int) const {}
const char16_t* AcDbHostApplicationServices::getAlternateFontName() const { return u"simplex.shx"; }
const char16_t* AcDbHostApplicationServices::getFontMapFileName() const { return u""; }
bool AcDbHostApplicationServices::cacheSymbolIndices() const { return false; }
AcDbPlotSettingsValidator* AcDbHostApplicationServices::plotSettingsValidator() const { return nullptr; }
AcDbLayoutManager* AcDbHostApplicationServices::layoutManager() const { return nullptr; }
bool AcDbHostApplicationServices::loadApp(const char16_t*, int, bool, bool) { return false; }
void AcDbHostApplicationServices::getDefaultPlotCfgInfo(char16_t* device, char16_t* style) {
  if (device) device[0] = 0;
  if (style) style[0] = 0;
}
void AcDbHostApplicationServices::signingComplete(Acad::ErrorStatus, const char16_t*, bool* result) {
  if (result) *result = false;
}
bool AcDbHostApplicationServices::getPassword(const char16_t*, int, char16_t* pw, size_t size) {
  if (pw && size > 0) pw[0] = 0;
  return false;
}
void AcDbHostApplicationServices::usedPasswordFromCacheMsg(const char16_t*) {}
void AcDbHostApplicationServices::missingCryptoProviderMsg() {}
const char16_t* AcDbHostApplicationServices::getColorBookLocation() { return u""; }
short AcDbHostApplicationServices::getKeyState(int) const { return 0; }
bool AcDbHostApplicationServices::requiredVersionNotAvailable(void*, AcDbDatabase*) const { return false; }
// Without a host, a corrupt drawing is not repaired: answer false so the reader gives up.
bool AcDbHostApplicationServices::notifyCorruptDrawingFoundOnOpen(uint64_t, uint32_t) { return false; }


Acad::ErrorStatus acdbSetHostApplicationServices(AcDbHostApplicationServices* services) {
  if (auto r = kel::sdk::enter(kel::sdk::Op::SetHostApplicationServices, {},
                               {static_cast<int64_t>(reinterpret_cast<intptr_t>(services))}))
    return *r;
  hostSlot() = services;
  return Acad::eOk;
}

AcDbHostApplicationServices* acdbHostApplicationServices() { return hostSlot(); }

Acad::ErrorStatus acdbValidateSetup(long lcid) {
  if (auto r = kel::sdk::enter(kel::sdk::Op::ValidateSetup, {}, {lcid})) return *r;
  if (!hostSlot()) return Acad::eNoAcDbHostApplication;
  return Acad::eOk;
}

Acad::ErrorStatus acdbCleanUp() { return Acad::eOk; }
