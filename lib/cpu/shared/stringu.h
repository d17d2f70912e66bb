// stringu: the utility library's text helpers.
//
// Most operations come as an 8-bit and a wide (UTF-16, char16_t) overload of one name; the two
// behave alike and count in characters of their own width. Text operations return the caller's
// buffer (or a pointer into it) or null; strings that an operation allocates belong to the caller
// and are released with freeMem (heap.h) or free.
#pragma once
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Text encodings and the bracket notation for bytes ("[%02X]", "[41x3]", ...)

using TextEncoding = uint32_t;  // 0 ANSI, 1 UTF-8, 2/3 UTF-16 LE/BE, 4/5 UTF-32 LE/BE

struct EncodingInfo {
  uint32_t code;
  const char16_t* displayName;
  const char* bomNotation;         // byte-order mark in bracket notation; "" for ANSI
  const unsigned char* bomBytes;   // as many bytes as bomNotation has groups; null for ANSI
  uint32_t unitSize;               // bytes per code unit
};

// UTF-8, UTF-16 LE, UTF-16 BE, UTF-32 LE, UTF-32 BE, and ANSI last (its code 0 ends every lookup).
extern const EncodingInfo encodingTable[6];
// Highest byte escapeBytes shows as itself. Constant for the library's life.
extern const uint32_t maxPrintable;

// The record for code; every code other than 1 to 5 gives the ANSI record. Never null.
const EncodingInfo* findEncoding(uint32_t code);
// The code unit stored at bytes in the encoding's byte order (0 for an unknown code or null bytes).
uint32_t readUnit(const void* bytes, uint32_t code);
// The value whose little-endian memory image is the unit in the encoding's byte order.
uint32_t toEncodingOrder(uint32_t value, uint32_t code);
// Bytes as printable text: 0x20..maxPrintable as themselves except "[" and "]", everything else as
// "[%02X]". length 0xFFFFFFFF measures bytes as a NUL-terminated string. Null for a length of
// 0x3FFFFFFF or more or when memory runs out. Release the result with free.
char* escapeBytes(const void* bytes, uint32_t length);
// Builds bytes in the given encoding from text in bracket notation ("A[00][FEFF][41x3]").
// outLength receives the byte count (terminator not counted), maxEscapeWidth the widest escape in
// bytes; both may be null. The buffer carries one extra 0 byte. Null for malformed text. Release
// the result with free.
unsigned char* decodeEscapes(const char* text, uint32_t* outLength, uint32_t code,
                             int32_t* maxEscapeWidth);

// ---------------------------------------------------------------------------------------------
// Command-line splitting

// Splits commandLine into an argument vector: slot 0 "DLL", the arguments, a null slot. Stores the
// count including slot 0 through argc and the vector through argv; returns the number of
// arguments. Release with freeArgs.
uint32_t splitCommandLine(uint32_t* argc, char16_t*** argv, const char16_t* commandLine);
// Frees slots 0 to argc - 1 and the array, and sets *argv to null.
void freeArgs(uint32_t argc, char16_t*** argv);

// ---------------------------------------------------------------------------------------------
// Delimited fields and trimming

// A delimiter set usable as either form: it converts to the 8-bit or the wide string as needed.
struct DelimiterSet {
  const char* narrow;
  const char16_t* wide;
  constexpr operator const char*() const { return narrow; }
  constexpr operator const char16_t*() const { return wide; }
};
// Space, line feed, carriage return, tab, vertical tab, form feed and 0x1A, in this order. A null
// set stands for these wherever an operation says "default".
inline constexpr DelimiterSet defaultDelimiters{" \n\r\t\v\f\x1A", u" \n\r\t\v\f\x1A"};

// First character of s not in set, or null when there is none. set required.
const char* skipDelimiters(const char* s, const char* set);
const char16_t* skipDelimiters(const char16_t* s, const char16_t* set);
char* skipDelimiters(char* s, const char* set);
char16_t* skipDelimiters(char16_t* s, const char16_t* set);
// Number of runs of non-delimiter characters. set required.
uint32_t countFields(const char* s, const char* set);
// Start of field n (from 0), or null. set default.
const char* nthField(const char* s, const char* set, int32_t n);
const char16_t* nthField(const char16_t* s, const char16_t* set, int32_t n);
char* nthField(char* s, const char* set, int32_t n);
char16_t* nthField(char16_t* s, const char16_t* set, int32_t n);
// Index of the first field equal to name, or -1. set required.
int32_t fieldIndex(const char* s, const char* set, const char* name);
// Copies the part of src before its first delimiter, cut to maxLen characters when maxLen > 0
// (-1: no limit). set default. Returns dest.
char* copyField(char* dest, const char* src, const char* set, int32_t maxLen);
char16_t* copyField(char16_t* dest, const char16_t* src, const char16_t* set, int32_t maxLen);
// As copyField without a limit, but a delimiter right after the escape character (null: backslash)
// does not end the field; both are copied. set default.
char* copyFieldEscaped(char* dest, const char* src, const char* set, const char* escape);
// Appends the part of src before its first delimiter. set default.
char* appendField(char* dest, const char* src, const char* set);
// Copies field n into dest (emptied first); dest may be null. set default.
char* copyNthField(char* dest, const char* s, const char* set, int32_t n);
// Copies the field at *cursor and moves *cursor one character past it; null when the field is
// empty or the position is null. set default.
char* nextEntry(char* dest, const char** cursor, const char* set);
// Copies the field at *cursor and moves *cursor to the next field (null when none is left); null
// when the field is empty or the position is null. set required.
char* nextField(char* dest, const char** cursor, const char* set);
// Number of pieces of s split at the first character of sep (0 for null or empty s).
uint32_t countSeparated(const char* s, const char* sep);
uint32_t countSeparated(const char16_t* s, const char16_t* sep);
// Position just after the n-th delimiter character (s itself for n = 0), or null. set required.
const char* afterNthDelimiter(const char* s, const char* set, uint32_t n);
const char16_t* afterNthDelimiter(const char16_t* s, const char16_t* set, uint32_t n);
char* afterNthDelimiter(char* s, const char* set, uint32_t n);
char16_t* afterNthDelimiter(char16_t* s, const char16_t* set, uint32_t n);
// Number of characters of s that are in set. set required.
uint32_t countAnyOf(const char* s, const char* set);
uint32_t countAnyOf(const char16_t* s, const char16_t* set);
// Cuts delimiter characters off the end of s in place. set default. Returns s.
char* trimRight(char* s, const char* set);
char16_t* trimRight(char16_t* s, const char16_t* set);

// ---------------------------------------------------------------------------------------------
// Search, replace and comparison

// Replaces every occurrence of pattern in str, in place, left to right; replaced text is not
// scanned again. str must hold the result. Returns str; null (str untouched) when a working copy
// cannot be made.
char* replaceAll(char* str, const char* replacement, const char* pattern);
char16_t* replaceAll(char16_t* str, const char16_t* replacement, const char16_t* pattern);
char* replaceAllNoCase(char* str, const char* replacement, const char* pattern);
char16_t* replaceAllNoCase(char16_t* str, const char16_t* replacement, const char16_t* pattern);
// First match of sub in s without regard to case, or null (also for empty strings).
const char* findNoCase(const char* s, const char* sub);
const char16_t* findNoCase(const char16_t* s, const char16_t* sub);
char* findNoCase(char* s, const char* sub);
char16_t* findNoCase(char16_t* s, const char16_t* sub);
// strncmp / _strnicmp of s with prefix over the length of prefix.
int comparePrefix(const char* s, const char* prefix);
int comparePrefix(const char16_t* s, const char16_t* prefix);
int comparePrefixNoCase(const char* s, const char* prefix);
int comparePrefixNoCase(const char16_t* s, const char16_t* prefix);
// Both non-null and equal.
bool equals(const char* a, const char* b);
bool equals(const char16_t* a, const char16_t* b);
// 8-bit: both non-null and equal without regard to case.
bool equalsNoCase(const char* a, const char* b);
// Wide: true when both are null, false when one is, else equal without regard to case. flag does
// not change the result.
bool equalsNoCase(const char16_t* a, const char16_t* b, bool flag = false);
// Both non-null and s begins with prefix without regard to case.
bool startsWithNoCase(const char* s, const char* prefix);
bool startsWithNoCase(const char16_t* s, const char16_t* prefix);
// Equal after folding "a".."z" to upper case.
bool sameLetterNoCase(char c1, char c2);
// Class codes: '#' digits, 'A' letters, 'H' digits and "A".."F", 'a' lower-case letters; any other
// code has no members.
bool inClass(char16_t c, char16_t cls);
// Every character in the class (true for an empty string).
bool allInClass(const char16_t* s, char16_t cls);

// ---------------------------------------------------------------------------------------------
// Copying, shortening, conversion, numbers and checks

// Copies at most max characters of src and always terminates; dest holds max + 1 characters.
char* boundedCopy(char* dest, const char* src, int32_t max);
char16_t* boundedCopy(char16_t* dest, const char16_t* src, int32_t max);
// Appends src so that dest does not grow past max characters through this call.
char* boundedAppend(char* dest, const char* src, int32_t max);
// Fills s with ch up to width characters.
char* padRight(char* s, char ch, int32_t width);
// Shortens s to max characters ending in "..."; true when it did.
bool shortenWithEllipsis(char* s, int32_t max);
bool shortenWithEllipsis(char16_t* s, int32_t max);
// Replaces the owned string *target by a fresh duplicate of src and returns it.
char* assignCopy(char** target, const char* src);

const char* nullIfEmpty(const char* s);
const char16_t* nullIfEmpty(const char16_t* s);
bool isNullOrEmpty(const char* s);
bool isNullOrEmpty(const char16_t* s);
const char* orEmpty(const char* s);
const char16_t* orEmpty(const char16_t* s);
const char* firstNonEmpty(const char* a, const char* b, const char* c = nullptr,
                          const char* d = nullptr, const char* e = nullptr);
const char16_t* firstNonEmpty(const char16_t* a, const char16_t* b, const char16_t* c = nullptr,
                              const char16_t* d = nullptr, const char16_t* e = nullptr);
// Pointer to the terminator of s (null for null).
const char* endOf(const char* s);
const char16_t* endOf(const char16_t* s);
char* endOf(char* s);
char16_t* endOf(char16_t* s);
// Last character of s; 0 for null or empty.
char lastChar(const char* s);
char16_t lastChar(const char16_t* s);

// New UTF-8 / UTF-16 copies (release with free); null when memory runs out or ws/s is null.
char* toUtf8(const char16_t* ws);
char16_t* fromUtf8(const char* s);
// ANSI code page <-> wide into a caller buffer. Null when src is null, else dest.
char16_t* ansiToWide(char16_t* dest, const char* src, int32_t destChars);
char* wideToAnsi(char* dest, const char16_t* src, int32_t destBytes);

// Number of s, narrowed to the result's width; a value that narrows to 0 gives fallback unless s
// begins with "0".
int32_t toLongOr(const char* s, int32_t fallback);
int32_t toLongOr(const char16_t* s, int32_t fallback);
int16_t toShortOr(const char* s, int16_t fallback);
int16_t toShortOr(const char16_t* s, int16_t fallback);
uint8_t toByteOr(const char* s, uint8_t fallback);
uint8_t toByteOr(const char16_t* s, uint8_t fallback);

// Every character below 0x80 (and with hexOnly one of "0".."9", "A".."F"); failPos receives the
// index of the first failing character, 0 on success.
bool isAsciiText(const char* s, bool hexOnly = false, uint32_t* failPos = nullptr);
bool isAsciiText(const char16_t* ws);
// Every character below 0xC5 (8-bit) or 0xFF (wide).
bool allBelowLimit(const char* s);
bool allBelowLimit(const char16_t* s);
// 1 to 16 hexadecimal digits up to the terminator or a tab.
bool isHexNumber(const char16_t* ws, bool upperOnly);
// 1 to 19 digits, spaces skipped, an optional leading minus, up to the first other character.
bool isDecimalNumber(const char16_t* ws, bool allowMinus);
