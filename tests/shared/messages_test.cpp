// The message facility: boxes, styles, the count and the sixth-message question, the quiet level
// and the log file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/cpu/shared/messages.h"
#include "platform/msgbox.h"
#include "platform/utf.h"
#include "tests/support/temp_dir.h"

namespace {

struct Box {
  std::u16string text, caption;
  unsigned style;
};

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetMessageState();
    plat::setMessageBoxHandler([this](const char16_t* text, const char16_t* caption, unsigned style) {
      boxes.push_back(Box{text, caption, style});
      return (style & 0xF) == plat::MB_YESNO ? answer : plat::IDOK;
    });
  }
  void TearDown() override {
    plat::setMessageBoxHandler(nullptr);
    resetMessageState();
  }
  std::vector<Box> boxes;
  int answer = plat::IDYES;
};

TEST_F(MessagesTest, FirstFiveAreOkBoxesThenTheQuestion) {
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(showMessage(u"note %d of %s", i, u"five"), 14);
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0].text, u"note 1 of five");
  EXPECT_EQ(boxes[0].caption, u"Message");
  EXPECT_EQ(boxes[0].style, 0x2040u);
  EXPECT_EQ(showMessage(u"sixth"), 5);
  EXPECT_EQ(boxes[5].text, u"sixth\n\nDisplay additional messages?");
  EXPECT_EQ(boxes[5].style, 0x2044u);
  showMessage(u"seventh");  // a Yes changes nothing: the next one asks again
  EXPECT_EQ(boxes[6].style, 0x2044u);
  EXPECT_EQ(messageState().messageCount, 7);
  EXPECT_EQ(messageState().quietLevel, 0);
}

TEST_F(MessagesTest, ErrorIsDecidedByTheFormatAlone) {
  showMessage(u"Disk eRRor in %s", u"x");
  showMessage(u"%s", u"ERROR in argument");
  showMessage(u"\nERROR (%x): %s %s", 0x2au, u"text", nullptr);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].style, 0x1010u);
  EXPECT_EQ(boxes[1].style, 0x2040u);
  EXPECT_EQ(boxes[2].text, u"\nERROR (2a): text (null)");
  EXPECT_EQ(boxes[2].style, 0x1010u);
}

TEST_F(MessagesTest, NoRaisesTheQuietLevel) {
  for (int i = 0; i < 5; ++i) showMessage(u"m");
  answer = plat::IDNO;
  showMessage(u"ordinary");  // No to an ordinary message: level 1
  EXPECT_EQ(messageState().quietLevel, 1);
  size_t shown = boxes.size();
  showMessage(u"silenced");
  EXPECT_EQ(boxes.size(), shown);
  EXPECT_EQ(messageState().messageCount, 7);  // counted though not shown
  showMessage(u"an error");  // errors still show at level 1; No adds 2
  EXPECT_EQ(boxes.back().style, 0x1014u);
  EXPECT_EQ(messageState().quietLevel, 3);
  showMessage(u"error again");
  EXPECT_EQ(boxes.size(), shown + 1);

  EXPECT_EQ(setMessageLog(0, nullptr), 3);  // shows again, still asking
  answer = plat::IDYES;
  showMessage(u"back");
  EXPECT_EQ(boxes.back().style, 0x2044u);

  resetMessageState();
  answer = plat::IDNO;
  for (int i = 0; i < 5; ++i) showMessage(u"m");
  showMessage(u"ERROR at level 0");
  EXPECT_EQ(messageState().quietLevel, 2);
  shown = boxes.size();
  showMessage(u"ERROR");
  showMessage(u"plain");
  EXPECT_EQ(boxes.size(), shown);
}

TEST_F(MessagesTest, LogFileTakesEverythingAndKeepsTheLevel) {
  kel::test::TempDir t;
  std::string log = t.str("msg.log");
  kel::test::writeFile(log, "old content");
  EXPECT_EQ(setMessageLog(255, log.c_str()), 0);
  EXPECT_EQ(messageState().quietLevel, 0);
  setMessageLog(0x102, log.c_str());  // reopening starts the file afresh; low 8 bits: level 2
  EXPECT_EQ(messageState().quietLevel, 2);
  EXPECT_EQ(showMessage(u"ERROR %s|", u"100% \u00e9"), 13);
  showMessage(u"line\n");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(messageState().messageCount, 0);
  EXPECT_EQ(setMessageLog(255, nullptr), 2);  // closes the log, level unchanged
  EXPECT_EQ(kel::test::readFile(log), "ERROR 100% \xC3\xA9|line\n");
  EXPECT_EQ(messageState().quietLevel, 2);
  EXPECT_FALSE(messageState().logOpen);

  EXPECT_EQ(setMessageLog(0x105, nullptr), 2);
  EXPECT_EQ(messageState().quietLevel, 5);
  setMessageLog(0, (t.str("no/such/dir") + "/x.log").c_str());  // cannot open: boxes again
  showMessage(u"to a box");
  EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MessagesTest, LongMessagesAreCutAndTheCompanions) {
  std::u16string big(10300, u'x');
  EXPECT_EQ(showMessage(u"%s", big.c_str()), -1);
  EXPECT_EQ(boxes.back().text.size(), 10239u);
  EXPECT_EQ(showMessage(u"%s", big.substr(0, 10239).c_str()), 10239);
  for (int i = 0; i < 3; ++i) showMessage(u"m");
  showMessage(u"%s", big.c_str());  // the sixth: the question is kept whole
  std::u16string sixth = boxes.back().text;
  EXPECT_EQ(sixth.size(), 10239u);
  EXPECT_EQ(sixth.substr(sixth.size() - 28), u"Display additional messages?");

  EXPECT_EQ(showPlainMessage(u"100%% sure"), 0);
  EXPECT_EQ(boxes.back().text.substr(0, 9), u"100% sure");
  size_t before = boxes.size();
  int32_t count = messageState().messageCount;
  EXPECT_EQ(discardMessage(u"ERROR %s", u"x"), 0);
  EXPECT_EQ(boxes.size(), before);
  EXPECT_EQ(messageState().messageCount, count);
}

}  // namespace
