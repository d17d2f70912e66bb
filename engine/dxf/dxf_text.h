// Text of DXF files: code pages of files before AC1021 (through iconv), the \U+XXXX and \M+NXXXX
// escapes, and the caret notation of control characters in ASCII files.
#pragma once
#include <string>
#include <string_view>

namespace kel::engine::dxf {

// The iconv name for a $DWGCODEPAGE value ("ANSI_1252" -> "CP1252"); CP1252 for unknown names.
std::string iconvName(std::string_view dwgCodePage);

// The $DWGCODEPAGE name of a code page as a DWG file header numbers it (30 -> "ANSI_1252");
// ANSI_1252 for numbers we do not know.
std::string dwgCodePageName(unsigned number);

// Converts 8-bit text in the named code page to UTF-8. Pure ASCII passes unchanged; bytes the
// code page cannot convert become U+FFFD.
std::string toUtf8(std::string_view bytes, const std::string& iconvCodePage);

// Makes text valid UTF-8: well-formed sequences stay, each stray byte is taken as CP1252.
// Answers true when the text was valid already.
bool repairUtf8(std::string& text);

// Replaces \U+XXXX (a Unicode code point) and \M+NXXXX (a double-byte character of an Asian code
// page, N = 1..5) by the UTF-8 characters.
void decodeEscapes(std::string& text);

// ASCII DXF caret notation: "^J" is a line feed (any ^@.. ^_ a control character), "^ " a caret.
void decodeCarets(std::string& text);
// The reverse, for writing: control characters and carets in caret notation.
std::string encodeCarets(std::string_view text);

}  // namespace kel::engine::dxf
