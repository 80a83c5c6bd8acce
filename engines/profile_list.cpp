#include "engines/profile_list.h"

#include <fstream>

#include "engines/positional_text.h"

namespace trovelane {
void ReadCurrentProfilePath(const std::string& listFile, std::string& currentPath) {
  std::ifstream in(listFile, std::ios::binary);
  std::string line;
  if (in && ReadTextLine(in, line)) currentPath = std::string(CutAtLineEnd(line));
}

int ReadProfileList(const std::string& listFile, std::vector<SearchProfile>& list,
                    const std::string& currentPath) {
  std::ifstream in(listFile, std::ios::binary);
  std::string line;
  if (!in || !ReadTextLine(in, line)) return -1;
  int selected = -1;
  while (ReadTextLine(in, line)) {
    std::string_view rest = line;
    size_t tab = rest.find('\t');
    SearchProfile entry;
    if (tab == std::string_view::npos) {
      entry.name = std::string(CutAtLineEnd(rest));
    } else {
      entry.name = std::string(rest.substr(0, tab));
      rest.remove_prefix(tab + 1);
      while (!rest.empty() && IsAsciiBlank(rest.front())) rest.remove_prefix(1);
      entry.path = std::string(CutAtLineEnd(rest));
    }
    if (entry.path == currentPath) selected = static_cast<int>(list.size());
    list.push_back(std::move(entry));
  }
  return selected;
}

Status CheckSearchProfile(const SearchProfile& profile) {
  if (profile.name.find_first_of("\t\r\n") != std::string::npos) {
    return Status::InvalidArgument("the profile name \"" + profile.name +
                                   "\" holds a TAB or a line break");
  }
  if (profile.path.find_first_of("\r\n") != std::string::npos) {
    return Status::InvalidArgument("the profile path \"" + profile.path + "\" holds a line break");
  }
  if (!profile.path.empty() && IsAsciiBlank(profile.path.front())) {
    return Status::InvalidArgument("the profile path \"" + profile.path +
                                   "\" begins with whitespace");
  }
  return Status::Ok();
}

Status WriteProfileList(const std::string& listFile, const std::vector<SearchProfile>& list,
                            int selected, std::string& selectedPath) {
  std::string current;
  if (selected >= 0 && static_cast<size_t>(selected) < list.size()) current = list[selected].path;
  std::string text = current + '\n';
  for (const SearchProfile& entry : list) {
    Status checked = CheckSearchProfile(entry);
    if (!checked.ok()) {
      return Status::InvalidArgument("cannot save " + listFile + ": " + checked.message());
    }
    text += entry.name + '\t' + entry.path + '\n';
  }
  Status saved = WriteFileAtomically(listFile, text);
  if (saved.ok()) selectedPath = current;
  return saved;
}

}  // namespace trovelane
