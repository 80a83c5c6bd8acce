// Downloads a 64 MiB body from a loopback server with CHttpURL (read sizes
// 65535 and 128000) and with `curl -s -o /dev/null`, and times Open (connect,
// send, read a 30-line head) against curl's time to first byte. It also
// downloads a 64 MiB result page sent gzip-compressed in chunks, as engines
// of today send it, decoded by CHttpURL and by `curl --compressed`. The
// summary at the end gives the ratios to curl, measured in the same run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "net/http_url.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBodySize = 64u << 20;

// Serves every connection in turn: reads the request head, sends a head of
// 30 lines and then the body ("/big": 64 MiB, anything else: 16 bytes).
class BenchServer {
 public:
  BenchServer() : body_(kBodySize, 'x') {
    for (int i = 0; i < 28; ++i) head_ += "X-Header-" + std::to_string(i) + ": some value\r\n";
    compressed_ = ChunkedGzip(ResultPage());
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listen_, 64);
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~BenchServer() {
    stop_ = true;
    shutdown(listen_, SHUT_RDWR);
    thread_.join();
    close(listen_);
  }
  std::string Url(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  void Loop() {
    while (!stop_) {
      int fd = accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      if (request.find(" /big-gz ") != std::string::npos) {
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n" +
            head_ + "\r\n";
        SendAll(fd, head.data(), head.size());
        SendAll(fd, compressed_.data(), compressed_.size());
        shutdown(fd, SHUT_WR);
        while (recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        close(fd);
        continue;
      }
      bool big = request.find(" /big ") != std::string::npos;
      size_t size = big ? kBodySize : 16;
      std::string head =
          "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n" + head_ + "\r\n";
      SendAll(fd, head.data(), head.size());
      SendAll(fd, body_.data(), size);
      shutdown(fd, SHUT_WR);
      while (recv(fd, buffer, sizeof buffer, 0) > 0) {
      }
      close(fd);
    }
  }
  // kBodySize bytes of result-page markup, which compresses about as real
  // pages do.
  static std::string ResultPage() {
    std::string page;
    page.reserve(kBodySize + 200);
    for (unsigned i = 0; page.size() < kBodySize; ++i) {
      page += "<li class=\"result\"><a class=\"result__a\" href=\"https://site" +
              std::to_string(i * 2654435761u % 100000) + ".example/page/" + std::to_string(i) +
              "\">Result " + std::to_string(i) + "</a><p>snippet text " +
              std::to_string(i * 40503u % 9973) + "</p></li>\n";
    }
    page.resize(kBodySize);
    return page;
  }
  // gzip, then chunks of 16 KiB.
  static std::string ChunkedGzip(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string gz(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(gz.data());
    stream.avail_out = static_cast<uInt>(gz.size());
    deflate(&stream, Z_FINISH);
    gz.resize(stream.total_out);
    deflateEnd(&stream);
    std::string chunked;
    char line[32];
    for (size_t at = 0; at < gz.size(); at += 16384) {
      size_t n = std::min<size_t>(16384, gz.size() - at);
      std::snprintf(line, sizeof line, "%zx\r\n", n);
      chunked += line;
      chunked.append(gz, at, n);
      chunked += "\r\n";
    }
    return chunked + "0\r\n\r\n";
  }

  static void SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
      ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
      if (n <= 0) return;
      data += n;
      length -= static_cast<size_t>(n);
    }
  }

  std::string body_;
  std::string compressed_;
  std::string head_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

BenchServer* server = nullptr;
std::map<std::string, double> seconds;  // mean seconds per iteration, by name

void Record(benchmark::State& state, const std::string& name, Clock::duration total) {
  double s = std::chrono::duration<double>(total).count() / static_cast<double>(state.iterations());
  seconds[name] = s;
}

// One download of /big (or /big-gz, decoded); its seconds, or -1 when it failed.
double DownloadWithCHttpURL(int readSize, bool compressed = false) {
  static std::vector<char> buffer;
  buffer.resize(static_cast<size_t>(readSize));
  auto start = Clock::now();
  trovelane::CHttpURL page;
  if (compressed) {
    trovelane::RequestOptions options;
    options.http11 = true;
    options.acceptCompression = true;
    page.SetRequestOptions(options);
  }
  if (!page.SetURL(server->Url(compressed ? "/big-gz" : "/big"), false).ok()) std::abort();
  if (!page.Open(trovelane::kDefaultUserAgent, nullptr, nullptr, nullptr)) return -1;
  size_t got = 0;
  while (int n = page.Read(buffer.data(), readSize)) got += static_cast<size_t>(n);
  page.Close();
  double s = std::chrono::duration<double>(Clock::now() - start).count();
  return got == kBodySize ? s : -1;
}

void BM_CHttpURLDownload(benchmark::State& state) {
  const int readSize = static_cast<int>(state.range(0));
  Clock::duration total{};
  for (auto _ : state) {
    double s = DownloadWithCHttpURL(readSize);
    if (s < 0) {
      state.SkipWithError("Open failed or short body");
      return;
    }
    total += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
  Record(state, "download/" + std::to_string(readSize), total);
}
BENCHMARK(BM_CHttpURLDownload)
    ->Arg(65535)
    ->Arg(128000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Runs curl and returns what it printed for `format`.
std::string Curl(const std::string& url, const char* format, bool compressed = false) {
  std::string command = std::string("curl -s ") + (compressed ? "--compressed " : "") +
                        "-o /dev/null -w '" + format + "' '" + url + "'";
  FILE* out = popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  while (out && fgets(buffer, sizeof buffer, out)) text += buffer;
  if (out) pclose(out);
  return text;
}

// One curl download of /big, timed by curl itself (its time_total) so that
// its process start-up does not count against it; -1 when it failed.
double DownloadWithCurl() {
  std::string out = Curl(server->Url("/big"), "%{size_download} %{time_total}");
  size_t blank = out.find(' ');
  if (blank == std::string::npos || std::stoull(out.substr(0, blank)) != kBodySize) return -1;
  return std::atof(out.c_str() + blank + 1);
}

// curl --compressed of /big-gz, timed by curl; -1 when it failed.
double CompressedDownloadWithCurl() {
  std::string out = Curl(server->Url("/big-gz"), "%{http_code} %{time_total}", true);
  if (out.rfind("200 ", 0) != 0) return -1;
  return std::atof(out.c_str() + 4);
}

void BM_CurlDownload(benchmark::State& state) {
  double total = 0;
  for (auto _ : state) {
    double s = DownloadWithCurl();
    if (s < 0) {
      state.SkipWithError("curl failed");
      return;
    }
    total += s;
    state.SetIterationTime(s);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
  seconds["download/curl"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CurlDownload)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_CHttpURLOpen(benchmark::State& state) {
  Clock::duration total{};
  for (auto _ : state) {
    trovelane::CHttpURL page;
    if (!page.SetURL(server->Url("/small"), false).ok()) std::abort();
    auto start = Clock::now();
    bool ok = page.Open(trovelane::kDefaultUserAgent, nullptr, nullptr, nullptr);
    auto elapsed = Clock::now() - start;
    total += elapsed;
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    if (!ok) state.SkipWithError("Open failed");
    char buffer[64];
    while (page.Read(buffer, sizeof buffer) > 0) {
    }
  }
  Record(state, "open/CHttpURL", total);
}
BENCHMARK(BM_CHttpURLOpen)->Unit(benchmark::kMicrosecond)->UseManualTime();

// curl's own measure, from its start of the transfer to the first byte of
// the answer (resolving, connecting, sending, waiting), without its start-up.
void BM_CurlTimeToFirstByte(benchmark::State& state) {
  double total = 0;
  for (auto _ : state) {
    double s = std::atof(Curl(server->Url("/small"), "%{time_starttransfer}").c_str());
    total += s;
    state.SetIterationTime(s);
  }
  seconds["open/curl"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_CurlTimeToFirstByte)->Unit(benchmark::kMicrosecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchServer benchServer;
  server = &benchServer;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // The machine may be busy with other work; rounds that alternate the three
  // downloads see the same load, so their medians give the steadier ratio.
  constexpr int kRounds = 7;
  std::vector<double> curlRounds, rounds65535, rounds128000;
  for (int i = 0; i < kRounds; ++i) {
    curlRounds.push_back(DownloadWithCurl());
    rounds65535.push_back(DownloadWithCHttpURL(65535));
    rounds128000.push_back(DownloadWithCHttpURL(128000));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };

  auto mibPerSecond = [](double s) { return s > 0 ? (kBodySize / 1048576.0) / s : 0; };
  std::printf("\ninterleaved rounds (median of %d; ratio > 1: CHttpURL faster than curl)\n",
              kRounds);
  double curlMedian = median(curlRounds);
  std::printf("  download curl              %8.1f MiB/s\n", mibPerSecond(curlMedian));
  for (auto& [size, v] : {std::pair{"65535", &rounds65535}, std::pair{"128000", &rounds128000}}) {
    double m = median(*v);
    std::printf("  download CHttpURL %-8s %8.1f MiB/s   ratio %.2f\n", size, mibPerSecond(m),
                curlMedian / m);
  }
  std::vector<double> curlCompressed, compressed;
  for (int i = 0; i < kRounds; ++i) {
    curlCompressed.push_back(CompressedDownloadWithCurl());
    compressed.push_back(DownloadWithCHttpURL(65535, true));
  }
  double curlCompressedMedian = median(curlCompressed), compressedMedian = median(compressed);
  std::printf("  gzip+chunked curl --compressed %8.1f MiB/s (decoded)\n",
              mibPerSecond(curlCompressedMedian));
  std::printf("  gzip+chunked CHttpURL 65535    %8.1f MiB/s (decoded)   ratio %.2f\n",
              mibPerSecond(compressedMedian), curlCompressedMedian / compressedMedian);

  std::printf("\nsummary of the runs above (ratio > 1: CHttpURL faster than curl)\n");
  if (seconds.count("download/curl")) {
    double curl = seconds["download/curl"];
    std::printf("  download curl              %8.1f MiB/s\n", mibPerSecond(curl));
    for (const char* size : {"65535", "128000"}) {
      std::string key = std::string("download/") + size;
      if (!seconds.count(key)) continue;
      std::printf("  download CHttpURL %-8s %8.1f MiB/s   ratio %.2f\n", size,
                  mibPerSecond(seconds[key]), curl / seconds[key]);
    }
  }
  if (seconds.count("open/curl") && seconds.count("open/CHttpURL")) {
    std::printf("  curl time to first byte    %8.1f us\n", seconds["open/curl"] * 1e6);
    std::printf("  CHttpURL Open (30 lines)   %8.1f us   ratio %.2f\n",
                seconds["open/CHttpURL"] * 1e6, seconds["open/curl"] / seconds["open/CHttpURL"]);
  }
  return 0;
}
