// UTF-8 <-> UTF-16 conversion used everywhere wide text meets the POSIX world.
// Invalid input never fails: each bad sequence (or lone surrogate) becomes U+FFFD.
#pragma once
#include <string>
#include <string_view>

namespace plat {

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// Length of a NUL-terminated wide text; a null pointer has length 0.
size_t wlen(const char16_t* text);

// Windows-form path (backslashes) to the POSIX path the file system takes: every '\' becomes '/'.
std::string toPosixPath(const char16_t* path);

}  // namespace plat
