// The per-thread last error and COM error information; the texts themselves are checked through
// the error reports of the utility library.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/com.h"
#include "platform/errors.h"
#include "platform/registry.h"

namespace {

using namespace plat;

TEST(LastError, PerThreadWithErrnoMapped) {
  setLastErrorFromErrno(EACCES);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  setLastErrorFromErrno(ELOOP);  // no Windows counterpart: kept as an errno code
  EXPECT_EQ(GetLastError(), errnoCode(ELOOP));
  DWORD other = 1;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  char16_t small[8];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, small, 8, nullptr), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(ComErrorInfo, PerThreadTakenOnceAndReferenceCounted) {
  IErrorInfo* info = createErrorInfo(IID_IErrorInfo, u"Src", nullptr);
  ASSERT_NE(info, nullptr);
  SetErrorInfo(0, info);
  EXPECT_EQ(info->AddRef(), 3u);  // ours, the thread's, this one
  info->Release();
  IErrorInfo* other = nullptr;
  std::thread([&] { GetErrorInfo(0, &other); }).join();
  EXPECT_EQ(other, nullptr);

  IErrorInfo* got = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got, info);
  EXPECT_EQ(GetErrorInfo(0, &other), S_FALSE);
  BSTR text = reinterpret_cast<BSTR>(1);
  got->GetDescription(&text);
  EXPECT_EQ(text, nullptr);
  got->GetSource(&text);
  EXPECT_EQ(SysStringLen(text), 3u);
  SysFreeString(text);
  EXPECT_EQ(got->Release(), 1u);
  EXPECT_EQ(info->Release(), 0u);

  char16_t* iid = nullptr;
  ASSERT_EQ(StringFromIID(IID_IErrorInfo, &iid), S_OK);
  EXPECT_EQ(std::u16string(iid), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");
  CoTaskMemFree(iid);
}

TEST(RegistryStandIn, KeysAreCaseBlindAndRemovable) {
  registryClear();
  registrySetValue(HKEY_CLASSES_ROOT, u"Interface\\{ABC}", u"IThing");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, u"\\INTERFACE", &key), 0);  // parents exist too
  char16_t value[16];
  LONG bytes = sizeof value;
  EXPECT_EQ(RegQueryValueW(key, u"{abc}", value, &bytes), 0);
  EXPECT_EQ(std::u16string(value), u"IThing");
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, u"Interface\\{ABC}", &key), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  registryDeleteKey(HKEY_CLASSES_ROOT, u"Interface");
  EXPECT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, u"Interface\\{ABC}", &key), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
