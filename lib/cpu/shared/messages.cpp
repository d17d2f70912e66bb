// The message facility: log file or message boxes, quiet level and message count.
#include "lib/cpu/shared/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/cpu/shared/stringu.h"
#include "platform/msgbox.h"
#include "platform/utf.h"
#include "platform/wformat.h"

namespace {

FILE* messageLog = nullptr;
int32_t quietLevel = 0;
int32_t messageCount = 0;

constexpr int32_t kMaxMessage = 10239;  // characters; the buffer holds one more for the terminator
constexpr char16_t kQuestion[] = u"\n\nDisplay additional messages?";
constexpr size_t kQuestionLen = sizeof kQuestion / sizeof kQuestion[0] - 1;

bool formatMentionsError(const char16_t* format) {
  // Only the format's first 10239 characters count, upper-cased as the C locale does it.
  char16_t upper[kMaxMessage + 1];
  boundedCopy(upper, format ? format : u"", kMaxMessage);
  for (char16_t* p = upper; *p; ++p)
    if (*p >= u'a' && *p <= u'z') *p = static_cast<char16_t>(*p - 0x20);
  static constexpr char16_t kWord[] = u"ERROR";
  for (const char16_t* p = upper; *p; ++p) {
    size_t i = 0;
    while (kWord[i] && p[i] == kWord[i]) ++i;
    if (!kWord[i]) return true;
  }
  return false;
}

}  // namespace

int32_t setMessageLog(int32_t level, const char* logPath) {
  uint32_t low = static_cast<uint32_t>(level) & 0xFF;
  if (messageLog) {
    std::fclose(messageLog);
    messageLog = nullptr;
  }
  if (logPath) messageLog = std::fopen(logPath, "w");
  int32_t before = quietLevel;
  if (low != 255) quietLevel = static_cast<int32_t>(low);
  return before;
}

int32_t showMessage(const char16_t* format, ...) {
  char16_t buf[kMaxMessage + 1];
  std::memset(buf, 0, sizeof buf);
  bool isError = formatMentionsError(format);

  va_list ap;
  va_start(ap, format);
  int32_t result = plat::vsnwprintf(buf, kMaxMessage, format ? format : u"", ap);
  va_end(ap);
  buf[kMaxMessage] = 0;

  if (messageLog) {
    // The log holds UTF-8 text; the message goes out as it is, with no line break added.
    std::string text = plat::toUtf8(buf);
    std::fputs(text.c_str(), messageLog);
    std::fflush(messageLog);
    return result;
  }

  ++messageCount;
  unsigned style = isError ? (plat::MB_SYSTEMMODAL | plat::MB_ICONHAND) : (plat::MB_TASKMODAL | plat::MB_ICONASTERISK);
  bool show = isError ? quietLevel <= 1 : quietLevel <= 0;
  if (messageCount > 5) {
    // The question must reach the user whole; a message that leaves it no room is cut instead.
    size_t len = plat::wlen(buf);
    if (len + kQuestionLen > static_cast<size_t>(kMaxMessage)) len = kMaxMessage - kQuestionLen;
    std::memcpy(buf + len, kQuestion, (kQuestionLen + 1) * sizeof(char16_t));
    style |= plat::MB_YESNO;
  }
  if (show) {
    int answer = plat::MessageBoxW(nullptr, buf, u"Message", style);
    if (answer == plat::IDNO) quietLevel += isError ? 2 : 1;
  }
  return result;
}

int32_t discardMessage(const char16_t*, ...) { return 0; }

int32_t showPlainMessage(const char16_t* text) {
  showMessage(text);
  return 0;
}

MessageState messageState() { return MessageState{quietLevel, messageCount, messageLog != nullptr}; }

void resetMessageState() {
  if (messageLog) std::fclose(messageLog);
  messageLog = nullptr;
  quietLevel = 0;
  messageCount = 0;
}
