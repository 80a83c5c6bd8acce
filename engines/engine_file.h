// The ".eng" text format of one engine definition. A ".eng" file holds one
// definition; a profile file holds a header and any number of definitions
// back to back. The format is positional: the k-th line read fills the k-th
// field, whatever its key says (docs/engine_file.md).
//
// What a definition says beyond those fields (EngineDefinition::web) follows
// all of them, in an extensions part that opens with kExtensionsMarker and
// runs to the end of the file: its lines are keyed, one block per engine
// that has any. A definition without extensions is written exactly as the
// positional format alone, so files without the part read and write back
// byte for byte. All functions are plain and may run on any thread.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engines/engine_definition.h"
#include "platform/status.h"

namespace trovelane {

// The longest line, its LF included, that a reader with a 4096-byte line
// buffer reads whole. Longer lines would be split and shift every later field.
inline constexpr size_t kMaxEngineLineLength = 4095;

// The line that opens the extensions part.
inline constexpr const char* kExtensionsMarker = "EXT = trovelane extensions";

// OK when `engine` can be written so that it reads back unchanged; else
// kInvalidArgument saying why: a value holding a CR or LF (it would end its
// line early), a line longer than kMaxEngineLineLength, or a request header
// name that is empty or holds a blank, a control character or ":".
Status CheckEngineDefinition(const EngineDefinition& engine);

// OK when `engine`, as read from a file, is an engine at all; else
// kCorruption saying why: it has no name (SIT) or no search URL (ACT), or one
// of them holds a control character other than a tab, as no definition
// written by a person does. Any file with enough lines reads as some
// definition, so an import checks this before taking one.
Status CheckEngineIdentity(const EngineDefinition& engine);

// Writes the definition as a ".eng" file, LF line ends: its positional
// lines, then its extensions part when it has extensions. Refuses, writing
// nothing, when CheckEngineDefinition finds a fault (kInvalidArgument, its
// message prefixed with the engine's name). kIoError when the stream reports
// an error.
Status WriteEngineDefinition(const EngineDefinition& engine, std::ostream& out);

// Writes the definitions back to back, as a profile holds them, and after
// the last one a single extensions part for all that have extensions.
// Refuses, writing nothing, when any definition has a fault.
Status WriteEngineDefinitions(const std::vector<EngineDefinition>& engines, std::ostream& out);

// Reads one definition starting at the stream's current line into `engine`,
// which should be freshly constructed. True when the definition's last line
// (COO) was read; false when the stream ended before. When the next line
// opens an extensions part (as in a ".eng" file that has one), the part is
// read to the end of the stream and its block 0 gives engine.web; otherwise
// the stream is left after the last line consumed. Lines may end in LF or
// CR LF.
bool ReadEngineDefinition(EngineDefinition& engine, std::istream& in);

// Reads definitions back to back (as in a profile) and appends them to
// `engines` (normally empty), until one is incomplete or the extensions part
// begins; the part's blocks then go to the engines by their place in
// `engines`, from 0. An incomplete definition adds nothing.
void ReadEngineDefinitions(std::istream& in, std::vector<EngineDefinition>& engines);

}  // namespace trovelane
