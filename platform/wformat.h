// printf-style formatting into UTF-16 text with the Windows wide-printf reading of the conversions:
// %s and %ls take a wide (char16_t) text, %hs and %S an 8-bit text, %c a wide character and %hc an
// 8-bit one. Numbers, flags, width, precision, '*' and the length modifiers h, hh, l, ll, L, z, j, t,
// I32 and I64 follow the C library. A null text prints as "(null)". %n is refused (prints nothing).
#pragma once
#include <cstdarg>
#include <string>

namespace plat {

// Appends the formatted text to out.
void formatW(std::u16string& out, const char16_t* fmt, va_list ap);
std::u16string formatW(const char16_t* fmt, ...);

// _vsnwprintf: writes at most count units (no terminator when the text fills the buffer exactly);
// returns the length written, or -1 when the text did not fit.
int vsnwprintf(char16_t* buffer, size_t count, const char16_t* fmt, va_list ap);

}  // namespace plat
