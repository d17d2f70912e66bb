// messages: how the utility library tells its user something.
//
// showMessage formats a wide message (%s takes a wide text, as %ls does) and writes it to the
// message log when one is set, otherwise shows it in a message box captioned "Message". A format
// that contains "ERROR" in any letter case makes an error message (system-modal, stop icon);
// anything else is an ordinary one (task-modal, information icon). Messages that reach the
// message-box path are counted; from the sixth on the box asks "Display additional messages?" with
// Yes and No, and No raises the quiet level: by 1 for an ordinary message (later ordinary
// messages are silenced), by 2 for an error message (everything is silenced). Ordinary messages
// show while the quiet level is 0 or less, error messages while it is 1 or less.
//
// The log, quiet level and count are process-wide and unguarded: one thread at a time.
#pragma once
#include <cstdint>

// Ends the current log, opens logPath (8-bit, may be null) truncated as the new one, and sets the
// quiet level to the low 8 bits of level unless they are 255. Returns the quiet level before.
int32_t setMessageLog(int32_t level, const char* logPath);
// Returns the length of the formatted message, or -1 when it was cut at 10239 characters.
int32_t showMessage(const char16_t* format, ...);
// Takes showMessage's arguments and does nothing; always 0.
int32_t discardMessage(const char16_t* format, ...);
// Shows text as it is (it must hold no conversion other than "%%"); always 0.
int32_t showPlainMessage(const char16_t* text);

// Test seam: the facility's state, and the way back to its state at load (no log, level 0,
// count 0).
struct MessageState {
  int32_t quietLevel;
  int32_t messageCount;
  bool logOpen;
};
MessageState messageState();
void resetMessageState();
