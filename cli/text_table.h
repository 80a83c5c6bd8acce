// Plain-text tables for the terminal: columns padded to their widest cell,
// two blanks apart, the last column unpadded.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace trovelane::cli {

void PrintTextTable(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

}  // namespace trovelane::cli
