// MessageBoxW over POSIX. The default handler writes the caption and text to standard error; for a
// Yes/No question it asks on the terminal when standard input is one, and otherwise answers Yes
// without waiting. Tests replace the handler.
#pragma once
#include <functional>

namespace plat {

constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4,
                   MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
                   MB_ICONINFORMATION = 0x40;
// Icon and modality bits under their older names, as the utility library's message facility uses them.
constexpr unsigned MB_ICONHAND = 0x10, MB_ICONASTERISK = 0x40, MB_APPLMODAL = 0x0, MB_SYSTEMMODAL = 0x1000,
                   MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;

int MessageBoxW(void* owner, const char16_t* text, const char16_t* caption, unsigned type);

using MessageBoxHandler = std::function<int(const char16_t* text, const char16_t* caption, unsigned type)>;
// Replaces the handler (null restores the default); returns the previous one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

}  // namespace plat
