// Text output of the command line: aligned tables for the terminal and
// fields of tab-separated lines.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace trovelane::cli {

// Columns padded to their widest cell, two blanks apart, the last unpadded.
void PrintTextTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

// Tabs, line breaks and backslashes inside a value are written as \t, \n,
// \r and \\ so that every record stays one line of columns.
std::string TsvField(std::string_view value);

}  // namespace trovelane::cli
