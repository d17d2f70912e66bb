// System and COM error texts.
#include "lib/cpu/shared/errtext.h"

#include <string>

#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/messages.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/utf.h"
#include "platform/wformat.h"

namespace {

constexpr size_t kInterfaceUnits = 256;
constexpr int32_t kInterfaceBytes = 511;
constexpr size_t kKeyUnits = 256;
constexpr size_t kTextUnits = 1024;

char16_t* heapCopy(const char16_t* s) {
  if (!s) return nullptr;
  return static_cast<char16_t*>(dupMem(s, (plat::wlen(s) + 1) * sizeof(char16_t), __FILE__, __LINE__));
}

}  // namespace

uint32_t getErrorTexts(char16_t** pszErrMsg, char16_t** pszErrInfoMsg, uint32_t code) {
  if (code == 0) code = plat::GetLastError();
  char16_t* pErrMsg = nullptr;
  plat::FormatMessageW(plat::FORMAT_MESSAGE_ALLOCATE_BUFFER | plat::FORMAT_MESSAGE_IGNORE_INSERTS |
                           plat::FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, plat::MAKELANGID(plat::LANG_NEUTRAL, plat::SUBLANG_DEFAULT),
                       reinterpret_cast<char16_t*>(&pErrMsg), 0, nullptr);
  if (pszErrMsg) *pszErrMsg = heapCopy(pErrMsg);
  plat::LocalFree(pErrMsg);
  if (pszErrInfoMsg) formatErrorInfo(pszErrInfoMsg, nullptr);
  return code;
}

uint32_t reportSystemError(uint32_t code, int32_t quiet) {
  char16_t* pszErrMsg = nullptr;
  char16_t* pszErrInfoMsg = nullptr;
  uint32_t used = getErrorTexts(&pszErrMsg, &pszErrInfoMsg, code);
  if (quiet == 0) showMessage(u"\nERROR (%x): %s %s", used, pszErrMsg, pszErrInfoMsg);
  else discardMessage(u"\nERROR (%x): %s %s", used, pszErrMsg, pszErrInfoMsg);
  freeMem(pszErrMsg);
  freeMem(pszErrInfoMsg);
  return used;
}

void formatErrorInfo(char16_t** pszErrInfoMsg, plat::IErrorInfo* pIErrorInfo) {
  bool taken = false;
  if (!pIErrorInfo) {
    plat::GetErrorInfo(0, &pIErrorInfo);
    taken = pIErrorInfo != nullptr;
  }
  if (!pIErrorInfo) return;

  plat::BSTR bsDescription = nullptr;
  plat::BSTR bsSource = nullptr;
  char16_t* lsIID = nullptr;
  char16_t sInterface[kInterfaceUnits] = {};
  plat::GUID guid = plat::GUID_NULL;
  pIErrorInfo->GetDescription(&bsDescription);
  pIErrorInfo->GetSource(&bsSource);
  pIErrorInfo->GetGUID(&guid);

  if (!(guid == plat::GUID_NULL) && plat::StringFromIID(guid, &lsIID) == plat::S_OK && lsIID) {
    std::u16string sKeyname = plat::formatW(u"\\Interface\\%ls", lsIID);
    if (sKeyname.size() > kKeyUnits - 1) sKeyname.resize(kKeyUnits - 1);
    plat::HKEY rkInterface = nullptr;
    if (plat::RegOpenKeyW(plat::HKEY_CLASSES_ROOT, sKeyname.c_str(), &rkInterface) == 0) {
      plat::LONG lInterface = kInterfaceBytes;
      // A value that does not fit (or any failed read) is not used: the name stays empty.
      if (plat::RegQueryValueW(rkInterface, nullptr, sInterface, &lInterface) != 0) sInterface[0] = 0;
      sInterface[kInterfaceUnits - 1] = 0;
      plat::RegCloseKey(rkInterface);
    }
  }
  const char16_t* source = bsSource ? bsSource : u"<Unknown IErrorInfo source>";
  std::u16string sbuf;
  if (sInterface[0]) sbuf = plat::formatW(u"%s: %ls %ls", sInterface, source, bsDescription);
  else if (lsIID) sbuf = plat::formatW(u"%ls: %ls %ls", lsIID, source, bsDescription);
  else sbuf = plat::formatW(u"%ls %ls", source, bsDescription);
  // The composed text holds at most 1023 characters; a longer one loses its end.
  if (sbuf.size() > kTextUnits - 1) sbuf.resize(kTextUnits - 1);
  if (pszErrInfoMsg) *pszErrInfoMsg = heapCopy(sbuf.c_str());

  plat::SysFreeString(bsDescription);
  plat::SysFreeString(bsSource);
  plat::CoTaskMemFree(lsIID);
  if (taken) pIErrorInfo->Release();
}

void reportErrorInfo(plat::IErrorInfo* pIErrorInfo, int32_t quiet) {
  char16_t* pszErrInfoMsg = nullptr;
  formatErrorInfo(&pszErrInfoMsg, pIErrorInfo);
  if (quiet == 0) showMessage(u"%s", pszErrInfoMsg);
  else discardMessage(u"%s", pszErrInfoMsg);
  freeMem(pszErrInfoMsg);
}
