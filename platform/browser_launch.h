// Starting the web browser for a result URL. Both ways start a program with
// an argument vector (posix_spawn), never through a shell, so nothing in a
// URL is ever read as a command; and only http, https and ftp URLs are
// started at all, so a hostile result cannot make the desktop open a local
// file or run a custom URL handler.
//
// Threads: any thread. A started child is reaped by a detached thread, so
// no zombie stays behind; the caller never waits for the browser.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovelane {

// True for a URL that begins with "http://", "https://" or "ftp://" (any
// case) and holds no control character.
bool IsLaunchableUrl(std::string_view url);

// Starts `argv[0]` (a path, or a name looked up in $PATH) with the given
// arguments, detached from the caller, its standard input from /dev/null.
// False when it could not be started.
bool SpawnDetached(const std::vector<std::string>& argv);

// Opens `url` with the desktop's default handler (xdg-open URL). False for a
// URL IsLaunchableUrl refuses, or when xdg-open could not be started.
bool OpenUrlWithDesktop(const std::string& url);

// Opens a local file with the desktop's handler (xdg-open PATH), e.g. the
// help page. False when the file does not exist or xdg-open did not start.
bool OpenFileWithDesktop(const std::string& path);

// Starts the browser program `browserPath` as {browserPath, url}: a new
// window of the user's chosen browser. False for a refused URL, an empty
// path, or a program that could not be started.
bool LaunchBrowserProgram(const std::string& browserPath, const std::string& url);

}  // namespace trovelane
