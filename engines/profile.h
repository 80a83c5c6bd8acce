// Search profiles: a profile file holds three header lines (COM, MAX, TAR)
// and the definitions of its engines back to back, in ".eng" format. The
// engine catalogue is always the content of one profile (docs/profiles.md).
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "engines/engine_definition.h"
#include "platform/atomic_file.h"

namespace trovelane {

// Three numbers a profile carries; nothing uses them, but they are written
// back unchanged on save.
struct ProfileHeader {
  int com = 0;
  int max = 0;
  int tar = 0;
  bool operator==(const ProfileHeader&) const = default;
};

// The engines of the current profile in file order; an engine is identified
// by its index. New engines are appended.
struct EngineCatalogue {
  std::vector<EngineDefinition> engines;
  ProfileHeader header;
};

// Replaces the catalogue's engines by the content of the profile file at
// `path`. A missing file or a header shorter than three lines leaves the
// catalogue empty; a header line without a third word keeps that header
// value as it was. Reading stops at the first incomplete definition, keeping
// the complete ones before it. Not OK only when the file could not be opened:
// kNotFound when it is not there, else kIoError ("cannot open PATH: reason").
Status LoadProfile(const std::string& path, EngineCatalogue& catalogue);

// Reads a profile's header and engines from `in` as LoadProfile does.
void ReadProfile(std::istream& in, EngineCatalogue& catalogue);

// The profile file text of `catalogue` into `text`. kInvalidArgument when an
// engine cannot be stored (see CheckEngineDefinition); `text` is then left
// alone.
Status FormatProfile(const EngineCatalogue& catalogue, std::string& text);

// Writes the header and every engine to `path`, replacing the file at once;
// the old file stays whole when anything fails. An engine that cannot be
// stored is kInvalidArgument ("cannot save PATH: why"); a failed write is
// kIoError (see WriteFileAtomically).
Status SaveProfile(const std::string& path, const EngineCatalogue& catalogue);

}  // namespace trovelane
