#include "search/validation_fetch.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engines/expression_match.h"
#include "search/relevance.h"

namespace trovelane {
namespace {

// Status texts are cut to this many bytes, the width of the status field.
constexpr std::size_t kMaxStatusLength = 1023;

// Largest piece asked for in one read, whatever the settings say.
constexpr int kMaxChunkSize = 1 << 20;

void SendScanning(const std::function<void(const std::string&)>& status, const CHttpURL& page,
                  int bytes) {
  if (!status) return;
  const std::string& path = page.GetPath();
  std::vector<char> text(path.size() + 64);
  std::snprintf(text.data(), text.size(), kScanningStatusFormat, path.c_str(), bytes);
  std::string message(text.data());
  if (message.size() > kMaxStatusLength) message.resize(kMaxStatusLength);
  status(message);
}

// VAL: the expression is tested on each piece together with the one before.
int MatchWhileReading(CHttpURL& page, ExpressionNode& root, int chunkSize,
                      const std::function<void(const std::string&)>& status) {
  std::string piece(static_cast<std::size_t>(chunkSize), '\0');
  std::string window;
  window.reserve(2 * piece.size());
  for (;;) {
    const int count = page.Read(piece.data(), chunkSize);
    if (count < 1) break;
    SendScanning(status, page, count);
    const std::string_view read(piece.data(), static_cast<std::size_t>(count));
    window.append(read);
    AccumulateMatches(root, window);
    if (root.matched) return 1;
    window.assign(read);
  }
  return FinalMatch(root) ? 1 : 0;
}

// VAL+REL: the whole page, up to kMaxScoredPageBytes.
std::string ReadWholePage(CHttpURL& page, int chunkSize,
                          const std::function<void(const std::string&)>& status) {
  std::string text;
  std::string piece(static_cast<std::size_t>(chunkSize), '\0');
  while (text.size() < kMaxScoredPageBytes) {
    const int count = page.Read(piece.data(), chunkSize);
    if (count < 1) break;
    SendScanning(status, page, count);
    text.append(piece.data(), std::min<std::size_t>(static_cast<std::size_t>(count),
                                                    kMaxScoredPageBytes - text.size()));
  }
  return text;
}

// Sends the request of a validation; false when no answer came.
bool OpenPage(CHttpURL& page, std::string_view url, const NetworkSettings& settings) {
  if (page.IsCancelled()) return false;
  // A malformed url has no page to check.
  if (!page.SetURL(url, false).ok()) return false;
  page.SetTimeouts(settings.program);
  // An empty referer, not the one an earlier fetch of this object kept.
  return page.Open(settings.program.userAgent.c_str(), "", nullptr, &settings.proxy);
}

int Fetch(CHttpURL& page, std::string_view url, SearchExpression& expression,
          const NetworkSettings& settings, int* relevanceOut,
          const std::function<void(const std::string&)>& status) {
  if (!OpenPage(page, url, settings)) return 0;
  // A server that answers with an error has no such page, whatever its
  // error page says.
  if (page.GetStatus() >= 400) return 0;

  ExpressionNode& root = expression.Root();
  ResetMatches(root);
  const int chunkSize = std::clamp(settings.readChunkSize, 1, kMaxChunkSize);
  if (!relevanceOut) {
    const int result = MatchWhileReading(page, root, chunkSize, status);
    // A match found is a match; a page cut short before one proves nothing.
    if (page.IsCancelled()) return 0;
    return result == 1 && (root.matched || page.GetReadFailure() == ReadFailure::kNone) ? 1 : 0;
  }

  const std::string text = ReadWholePage(page, chunkSize, status);
  page.Close();
  // A page cut short by Stop, a time-out or a broken connection proves nothing.
  if (page.IsCancelled() || page.GetReadFailure() != ReadFailure::kNone) return 0;
  AccumulateMatches(root, text);
  if (!FinalMatch(root)) return 0;
  *relevanceOut =
      ScoreRelevance(root, text, settings.search, [&page] { return page.IsCancelled(); });
  if (page.IsCancelled()) return 0;
  return 1;
}

PageCheck Check(CHttpURL& page, std::string_view url, const NetworkSettings& settings) {
  // A malformed URL, or one without a host, names no page that could be
  // gone; nor may the failure of an earlier Open speak for it.
  if (!page.SetURL(url, false).ok() || page.GetHost().empty()) return PageCheck::kUnknown;
  if (!OpenPage(page, url, settings)) {
    if (page.IsCancelled()) return PageCheck::kUnknown;
    // Only a failure of the server's own name or address proves the page
    // gone; a proxy that failed says nothing about it.
    const bool viaProxy = settings.proxy.enabled;
    const OpenFailure failure = page.GetFailure();
    return !viaProxy && (failure == OpenFailure::kResolve || failure == OpenFailure::kConnect)
               ? PageCheck::kGone
               : PageCheck::kUnknown;
  }
  if (!page.HasStatusLine()) return PageCheck::kUnknown;
  const int code = page.GetStatus();
  if (code == 404 || code == 410) return PageCheck::kGone;
  return code < 400 ? PageCheck::kThere : PageCheck::kUnknown;
}

}  // namespace

void SetUpValidationConnection(CHttpURL& connection, const RequestOptions& options,
                               const ProgramOptions& program, ConnectionPool* pool) {
  connection.SetRequestOptions(options);
  connection.SetTimeouts(program);
  connection.SetConnectionPool(pool);
}

PageCheck CheckPage(CHttpURL& connection, std::string_view url, const NetworkSettings& settings) {
  connection.Close();
  const PageCheck result = Check(connection, url, settings);
  connection.Close();
  return result;
}

int ValidationFetch(CHttpURL& connection, std::string_view url, SearchExpression& expression,
                    const NetworkSettings& settings, int* relevanceOut,
                    const std::function<void(const std::string&)>& status) {
  const int result =
      ValidationFetchLeavingOpen(connection, url, expression, settings, relevanceOut, status);
  connection.Close();
  return result;
}

int ValidationFetchLeavingOpen(CHttpURL& connection, std::string_view url,
                               SearchExpression& expression, const NetworkSettings& settings,
                               int* relevanceOut,
                               const std::function<void(const std::string&)>& status) {
  connection.Close();
  return Fetch(connection, url, expression, settings, relevanceOut, status);
}

}  // namespace trovelane
