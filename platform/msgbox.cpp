#include "platform/msgbox.h"

#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/utf.h"

namespace plat {
namespace {

MessageBoxHandler& handlerSlot() {
  // Never destroyed: message boxes are shown while the library unloads.
  static auto* handler = new MessageBoxHandler;
  return *handler;
}

int defaultHandler(const char16_t* text, const char16_t* caption, unsigned type) {
  std::string cap = toUtf8(caption ? caption : u"Error"), body = toUtf8(text ? text : u"");
  std::fprintf(stderr, "[%s] %s\n", cap.c_str(), body.c_str());
  unsigned buttons = type & 0xF;
  bool yesNo = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
  if (!yesNo) {
    std::fflush(stderr);
    return buttons == MB_OKCANCEL ? IDOK : IDOK;
  }
  if (!isatty(STDIN_FILENO)) {
    std::fflush(stderr);
    return IDYES;
  }
  for (;;) {
    std::fprintf(stderr, "%s [y/n] ", buttons == MB_YESNOCANCEL ? "(yes/no/cancel)" : "(yes/no)");
    std::fflush(stderr);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin)) return IDYES;
    char c = line[0] | 0x20;
    if (c == 'y') return IDYES;
    if (c == 'n') return IDNO;
    if (c == 'c' && buttons == MB_YESNOCANCEL) return IDCANCEL;
  }
}

}  // namespace

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler old = std::move(handlerSlot());
  handlerSlot() = std::move(handler);
  return old;
}

int MessageBoxW(void*, const char16_t* text, const char16_t* caption, unsigned type) {
  if (handlerSlot()) return handlerSlot()(text, caption, type);
  return defaultHandler(text, caption, type);
}

}  // namespace plat
