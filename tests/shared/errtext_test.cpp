// System error texts and COM error information, and their reports through the message facility.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "lib/cpu/shared/errtext.h"
#include "lib/cpu/shared/heap.h"
#include "lib/cpu/shared/messages.h"
#include "platform/com.h"
#include "platform/errors.h"
#include "platform/findfile.h"
#include "platform/msgbox.h"
#include "platform/registry.h"
#include "platform/utf.h"

namespace {

constexpr plat::GUID kThing = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr char16_t kThingText[] = u"{12345678-9ABC-DEF0-0102-030405060708}";

struct Box {
  std::u16string text;
  unsigned style;
};

class ErrTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMessageState();
    plat::registryClear();
    plat::setMessageBoxHandler([this](const char16_t* text, const char16_t*, unsigned style) {
      boxes.push_back(Box{text, style});
      return plat::IDOK;
    });
  }
  void TearDown() override {
    plat::setMessageBoxHandler(nullptr);
    plat::SetErrorInfo(0, nullptr);
    plat::registryClear();
    resetMessageState();
  }
  // Leaves a new error object on the thread, as a failing COM component would.
  static void leaveError(const plat::GUID& g, const char16_t* source, const char16_t* description) {
    plat::IErrorInfo* info = plat::createErrorInfo(g, source, description);
    plat::SetErrorInfo(0, info);
    info->Release();
  }
  std::u16string format(plat::IErrorInfo* info) {
    char16_t* text = nullptr;
    formatErrorInfo(&text, info);
    std::u16string out = text ? text : u"<unset>";
    freeMem(text);
    return out;
  }
  std::vector<Box> boxes;
};

TEST_F(ErrTextTest, SystemErrorOfTheLastFailedCall) {
  plat::WIN32_FIND_DATAW ffd;
  ASSERT_EQ(plat::FindFirstFileW(u"/no/such/dir\\*.*", &ffd), plat::INVALID_HANDLE_VALUE);
  EXPECT_EQ(reportSystemError(0, 0), 3u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"\nERROR (3): The system cannot find the path specified.\r\n (null)");
  EXPECT_EQ(boxes[0].style, 0x1010u);

  leaveError(kThing, u"Engine", u"went wrong");
  EXPECT_EQ(reportSystemError(0x80070005, 0), 0x80070005u);
  EXPECT_EQ(boxes[1].text, std::u16string(u"\nERROR (80070005): Access is denied.\r\n ") + kThingText +
                               u": Engine went wrong");
  plat::IErrorInfo* left = nullptr;
  EXPECT_EQ(plat::GetErrorInfo(0, &left), plat::S_FALSE);  // taken by the report
}

TEST_F(ErrTextTest, QuietReportShowsNothingButTakesTheComInformation) {
  leaveError(kThing, u"S", u"D");
  EXPECT_EQ(reportSystemError(2, 1), 2u);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(messageState().messageCount, 0);
  plat::IErrorInfo* left = nullptr;
  EXPECT_EQ(plat::GetErrorInfo(0, &left), plat::S_FALSE);
}

TEST_F(ErrTextTest, GetErrorTextsForKnownAndUnknownCodes) {
  char16_t* msg = reinterpret_cast<char16_t*>(1);
  char16_t* info = nullptr;
  EXPECT_EQ(getErrorTexts(&msg, &info, plat::errnoCode(EROFS)), plat::errnoCode(EROFS));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(std::u16string(msg), plat::fromUtf8(std::strerror(EROFS)) + u"\r\n");
  EXPECT_EQ(info, nullptr);  // no COM information: left as it was
  freeMem(msg);
  plat::SetLastError(0x7777);
  EXPECT_EQ(getErrorTexts(&msg, nullptr, 0), 0x7777u);
  EXPECT_EQ(msg, nullptr);
  EXPECT_EQ(getErrorTexts(nullptr, nullptr, 5), 5u);
}

TEST_F(ErrTextTest, ComTextNamesTheInterfaceTheIdentifierOrNeither) {
  plat::IErrorInfo* info = plat::createErrorInfo(kThing, u"Src", u"Desc");
  EXPECT_EQ(format(info), std::u16string(kThingText) + u": Src Desc");
  plat::registrySetValue(plat::HKEY_CLASSES_ROOT, (std::u16string(u"Interface\\") + kThingText).c_str(), u"IThing");
  EXPECT_EQ(format(info), u"IThing: Src Desc");
  // A name that does not fit the 511 bytes of the read is not used; one that fits is.
  plat::registrySetValue(plat::HKEY_CLASSES_ROOT, (std::u16string(u"Interface\\") + kThingText).c_str(),
                         std::u16string(255, u'N').c_str());
  EXPECT_EQ(format(info), std::u16string(kThingText) + u": Src Desc");
  plat::registrySetValue(plat::HKEY_CLASSES_ROOT, (std::u16string(u"Interface\\") + kThingText).c_str(),
                         std::u16string(254, u'N').c_str());
  EXPECT_EQ(format(info), std::u16string(254, u'N') + u": Src Desc");
  EXPECT_EQ(info->AddRef(), 2u);  // passed in: still the caller's
  info->Release();
  info->Release();

  // The null identifier skips the registry, even when it holds a name for it.
  plat::registrySetValue(plat::HKEY_CLASSES_ROOT, u"Interface\\{00000000-0000-0000-0000-000000000000}", u"Wrong");
  plat::IErrorInfo* plain = plat::createErrorInfo(plat::GUID_NULL, nullptr, u"Desc");
  EXPECT_EQ(format(plain), u"<Unknown IErrorInfo source> Desc");
  plain->Release();

  plat::IErrorInfo* longOne = plat::createErrorInfo(plat::GUID_NULL, u"S", std::u16string(2000, u'd').c_str());
  EXPECT_EQ(format(longOne).size(), 1023u);
  longOne->Release();
}

TEST_F(ErrTextTest, ThreadInformationIsTakenOnce) {
  leaveError(plat::GUID_NULL, u"S", nullptr);
  EXPECT_EQ(format(nullptr), u"S (null)");
  EXPECT_EQ(format(nullptr), u"<unset>");

  leaveError(plat::GUID_NULL, u"Src", u"Desc");
  reportErrorInfo(nullptr, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"Src Desc");
  EXPECT_EQ(boxes[0].style, 0x2040u);  // an ordinary message
  leaveError(plat::GUID_NULL, u"Src", u"Desc");
  reportErrorInfo(nullptr, 1);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(format(nullptr), u"<unset>");
}

}  // namespace
