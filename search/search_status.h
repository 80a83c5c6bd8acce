// The texts a search shows: the status lines of the workers, the status bar
// pane and the search-threads rows, and the two refusals of a start.
#pragma once

#include <string>

namespace trovelane {

// Worker status texts (the engine's row while it is searched).
inline constexpr const char* kStatusConnecting = "Connecting to site %s...";
inline constexpr const char* kStatusConnected = "Connected to site %s.";
inline constexpr const char* kStatusRetrieving = "Retrieving %s...";
inline constexpr const char* kStatusParsing = "Parsing HTML...";
inline constexpr const char* kStatusParsingAnswer = "Reading the answer...";
inline constexpr const char* kStatusCheckingUrl = "Checking URL %s...%s";
// The last status of an engine whose server stayed silent past the time-outs.
inline constexpr const char* kStatusTimedOut = "Timed out";

// Why an engine ended before its last page; the last text of its row.
inline constexpr const char* kStatusPageTooLarge =
    "The result page is larger than 64 MiB; the engine was stopped.";
inline constexpr const char* kStatusSpoolFailed =
    "The result page could not be written to %s; the engine was stopped.";
inline constexpr const char* kStatusNoNewResults =
    "The last result page brought no new link; the engine was stopped.";
inline constexpr const char* kStatusRepeatedRequest =
    "The next result page was requested before; the engine was stopped.";
inline constexpr const char* kStatusRateLimitReached =
    "The engine's answer says its requests are used up for now; the engine was stopped.";
inline constexpr const char* kStatusPageLimit =
    "%s result pages fetched, the most one engine may fetch; the engine was stopped.";
inline constexpr const char* kStatusOutOfMemory = "Out of memory; the engine was stopped.";
inline constexpr const char* kStatusEngineError = "Error: %s; the engine was stopped.";

// Status bar pane 0.
inline constexpr const char* kResultsFound = "%d Result%s Found !";
inline constexpr const char* kReady = "Ready";

// Search-threads rows of engines that do not run, and of one being stopped.
inline constexpr const char* kNotActive = "Not Active";
inline constexpr const char* kTryingToStop = "Trying to stop...";

// Refusals of a start (message boxes).
inline constexpr const char* kInvalidExpression =
    "The search expression you have entered is either invalid or empty.\n"
    "Please refer to trovelane Help or use the trovelane Expression Wizard !";
inline constexpr const char* kNothingToSearch = "Nothing to search for !";

// "1 Result Found !", "2 Results Found !".
std::string FormatResultsFound(int resultTotal);

// A status text with its one or two %s filled in, the way the worker sends it.
std::string FormatStatus(const char* format, const std::string& first,
                         const std::string& second = {});

}  // namespace trovelane
