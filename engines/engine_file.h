// The ".eng" text format of one engine definition. A ".eng" file holds one
// definition; a profile file holds a header and any number of definitions
// back to back. The format is positional: the k-th line read fills the k-th
// field, whatever its key says (docs/engine_file.md).
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "engines/engine_definition.h"

namespace trovelane {

// The longest line, its LF included, that a reader with a 4096-byte line
// buffer reads whole. Longer lines would be split and shift every later field.
inline constexpr size_t kMaxEngineLineLength = 4095;

// Why `engine` cannot be written so that it reads back unchanged: a value
// holding a CR or LF (it would end its line early), or a line longer than
// kMaxEngineLineLength. Empty when it can.
std::string CheckEngineDefinition(const EngineDefinition& engine);

// Why `engine`, as read from a file, is no engine at all: it has no name
// (SIT) or no search URL (ACT), or one of them holds a control character
// other than a tab, as no definition written by a person does. Any file with
// enough lines reads as some definition, so an import checks this before
// taking one. Empty when both are there.
std::string MissingEngineIdentity(const EngineDefinition& engine);

// Writes the definition in the ".eng" format with LF line ends. Refuses,
// writing nothing, when CheckEngineDefinition finds a fault; `error` (if
// given) then says why. False also when the stream reports an error.
bool WriteEngineDefinition(const EngineDefinition& engine, std::ostream& out,
                           std::string* error = nullptr);

// Reads one definition starting at the stream's current line into `engine`,
// which should be freshly constructed. True when the definition's last line
// (COO) was read; false when the stream ended before. The stream is left
// after the last line consumed. Lines may end in LF or CR LF.
bool ReadEngineDefinition(EngineDefinition& engine, std::istream& in);

}  // namespace trovelane
