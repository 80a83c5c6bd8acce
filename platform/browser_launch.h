// Starting the web browser for a URL. No shell ever sees the URL: the program
// is started by posix_spawn with an argument vector, the URL one element of
// it, and only http, https and ftp URLs are started at all (anything else, a
// "file:" or "javascript:" URL or a text beginning with "-", is refused).
//
// Threads: any thread. The started program is not waited for; a thread of
// its own reaps it when it ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovelane {

// True for "http://", "https://" and "ftp://" URLs (scheme in any case) that
// carry no control characters.
bool IsLaunchableUrl(std::string_view url);

// Starts argv[0] (an absolute path, or a name looked up in $PATH) with the
// given arguments, its standard input and output on /dev/null. True when the
// program was started.
bool SpawnDetached(const std::vector<std::string>& argv);

// Opens `url` with the desktop's handler for it (xdg-open). False when the
// URL is refused or the handler cannot be started.
bool OpenUrlWithDesktop(const std::string& url);

// Starts `browserPath` with the URL as its one argument (a new browser
// window). False when the path is empty, the URL is refused or the program
// cannot be started.
bool LaunchBrowserProgram(const std::string& browserPath, const std::string& url);

}  // namespace trovelane
