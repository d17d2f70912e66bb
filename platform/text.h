// The C runtime's and Windows' text calls with their documented Windows meaning, over POSIX.
// Case folding is that of the C locale ("a".."z" <-> "A".."Z" only); a Windows `long` is 32 bits.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Case folding and case-blind comparison. The comparisons fold to lower case first, as the
// Microsoft runtime does, and return the difference of the first differing folded characters.
char* _strupr(char* s);
char16_t* _wcsupr(char16_t* s);
char* _strlwr(char* s);
char16_t* _wcslwr(char16_t* s);
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t count);
int _wcsicmp(const char16_t* a, const char16_t* b);
int _wcsnicmp(const char16_t* a, const char16_t* b, size_t count);

// The plain wide string calls for char16_t text (wchar_t is 32 bits here).
int wcscmp(const char16_t* a, const char16_t* b);
int wcsncmp(const char16_t* a, const char16_t* b, size_t count);
const char16_t* wcschr(const char16_t* s, char16_t c);
const char16_t* wcsstr(const char16_t* s, const char16_t* sub);
size_t wcsspn(const char16_t* s, const char16_t* set);
size_t wcscspn(const char16_t* s, const char16_t* set);
// malloc'd copy (release with free); null when memory runs out or s is null.
char16_t* _wcsdup(const char16_t* s);

// atoi/atol/_wtoi/_wtol: leading C-locale white space, an optional sign, decimal digits; anything
// after them is ignored. Out-of-range values saturate (INT_MIN/INT_MAX, LONG_MIN/LONG_MAX of a
// 32-bit long), as the Microsoft runtime documents. A null text gives 0.
int32_t atoi(const char* s);
int32_t atol(const char* s);
int32_t _wtoi(const char16_t* s);
int32_t _wtol(const char16_t* s);

// Code pages understood by the conversions: the process's 8-bit code page and UTF-8.
inline constexpr uint32_t CP_ACP = 0;
inline constexpr uint32_t CP_UTF8 = 65001;

// MultiByteToWideChar / WideCharToMultiByte. srcLen -1 converts a NUL-terminated text including
// its terminator. With destLen 0 the call returns the units needed and writes nothing; otherwise it
// returns the units written, or 0 when they do not fit (then nothing is written) or the code page is
// not known. Invalid input never fails: a bad UTF-8 sequence or byte of the code page becomes
// U+FFFD, a character the code page lacks becomes defaultChar (null: "?") and sets *usedDefault.
// CP_ACP is the code set of the process locale (nl_langinfo(CODESET)), converted with iconv.
int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                        char16_t* dest, int destLen);
int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* src, int srcLen,
                        char* dest, int destLen, const char* defaultChar, int* usedDefault);

}  // namespace plat
