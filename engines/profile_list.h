// The profile list file "qmkprfl.dat": line 1 is the path of the current
// profile, every further line a display name, a TAB and a profile path.
#pragma once

#include <string>
#include <vector>

#include "platform/atomic_file.h"

namespace trovelane {

inline constexpr const char* kProfileListFileName = "qmkprfl.dat";

struct SearchProfile {
  std::string name;  // shown to the user
  std::string path;  // the profile file; only this matters to loading
  bool operator==(const SearchProfile&) const = default;
};

// Sets `currentPath` from line 1 of the list file, cut at its first CR or LF.
// Leaves it as it was when the file cannot be opened or is empty.
void ReadCurrentProfilePath(const std::string& listFile, std::string& currentPath);

// Appends the entries of the list file to `list` in file order. The name is
// everything up to the first TAB (the whole line when there is none); after
// the TAB whitespace is skipped and the path runs to the first CR or LF.
// Returns the index in `list` of the last entry whose path equals
// `currentPath` (compared case-sensitively), or -1.
int ReadProfileList(const std::string& listFile, std::vector<SearchProfile>& list,
                    const std::string& currentPath);

// OK when `profile` can be stored in the list file so that it reads back the
// same; else kInvalidArgument saying why (a TAB or line break in the name, a
// line break in the path, a path that begins with whitespace).
Status CheckSearchProfile(const SearchProfile& profile);

// Writes the list file: the selected entry's path (empty when `selected` is
// not an index of `list`), then every entry. On success `selectedPath` is
// set to that path, which becomes the current profile path. An entry that
// cannot be stored is kInvalidArgument ("cannot save FILE: why"), and
// nothing is written; a failed write is kIoError.
Status WriteProfileList(const std::string& listFile, const std::vector<SearchProfile>& list,
                            int selected, std::string& selectedPath);

}  // namespace trovelane
