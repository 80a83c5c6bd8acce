// Text output of the command line: aligned tables for the terminal and
// fields of tab-separated lines. Result titles, URLs and engine names come
// from remote pages and files, so neither form lets a control character
// through to the terminal: an escape sequence in a title could otherwise
// rewrite the screen, set the window title or ring the bell.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace trovelane::cli {

// Columns padded to their widest cell, two blanks apart, the last unpadded.
void PrintTextTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

// A value for one line of a table: every control character becomes a blank.
// Control characters are C0 (below 0x20), DEL (0x7F) and C1 (U+0080 to
// U+009F), whether written in UTF-8 (C2 80 to C2 9F) or as a single byte
// 0x80 to 0x9F of 8-bit text; the bytes of other UTF-8 characters and of
// 8-bit letters pass unchanged.
std::string OneLine(std::string_view value);

// Tabs, line breaks and backslashes inside a value are written as \t, \n,
// \r and \\ so that every record stays one line of columns; every other
// control character (as OneLine counts them) is written byte by byte as \xHH.
std::string TsvField(std::string_view value);

// A URL for JSON output, whose strings are UTF-8: bytes that are no UTF-8
// (a link of an 8-bit page) are percent-encoded ("%E9"), so that the URL
// still names the same resource instead of holding U+FFFD.
std::string JsonUrl(std::string_view url);

}  // namespace trovelane::cli
