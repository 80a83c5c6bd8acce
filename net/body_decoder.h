// Decoding an answer's body as it comes off the connection: the chunked
// transfer coding of HTTP/1.1 and the gzip and deflate content codings.
//
// A BodyDecoder is fed the raw body bytes in pieces of any size (Give) and
// hands out the decoded bytes (Take). It holds at most one piece of input and
// inflates only as much as the caller takes, so a small compressed body that
// unpacks to gigabytes never sits in memory; the whole decoded body is capped
// at `maxOutput` bytes, after which the decoder reports kTooLarge.
//
// Hostile framing (a chunk size that overflows or is not hexadecimal, a size
// line or trailer without end, chunk data not followed by its line end) and
// broken compressed data end in kMalformed; nothing a server sends can make
// the decoder read out of bounds or grow without limit.
//
// Threads: one thread uses an object at a time. Plain value semantics are
// not offered (the zlib stream points into the object).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace trovelane {

// The content codings this program asks for and undoes.
enum class ContentCoding { kIdentity, kGzip, kDeflate };

// The coding a Content-Encoding value names ("gzip", "x-gzip", "deflate",
// any case, blanks around it); kIdentity for "identity", an empty value and
// anything this program does not decode.
ContentCoding ParseContentCoding(std::string_view value);

// Longest chunk-size line (digits and extensions) and the whole trailer after
// the last chunk.
inline constexpr size_t kMaxChunkLine = 4096;
inline constexpr size_t kMaxChunkTrailer = 64 * 1024;

// Undoes "Transfer-Encoding: chunked": the data of each chunk, in order.
class ChunkedDecoder {
 public:
  enum class State { kInProgress, kDone, kMalformed };

  // Decodes `input`, appending chunk data to `out` (never more bytes than it
  // reads). Input after the trailer's empty line is ignored; so is all input
  // once the state is no longer kInProgress.
  State Decode(std::string_view input, std::string& out);
  State state() const { return state_; }
  // For the user: why the framing is malformed.
  const std::string& problem() const { return problem_; }

 private:
  enum class Step { kSize, kExtension, kSizeLineEnd, kData, kDataCr, kDataLf, kTrailer };
  State Malformed(std::string why);

  Step step_ = Step::kSize;
  State state_ = State::kInProgress;
  std::string problem_;
  uint64_t chunkLeft_ = 0;
  size_t digits_ = 0;
  size_t lineBytes_ = 0;     // of the current size line
  size_t trailerBytes_ = 0;  // of the whole trailer
  size_t trailerLine_ = 0;   // bytes of the current trailer line, CR not counted
};

class BodyDecoder {
 public:
  enum class State {
    kNeedInput,  // give more raw bytes (or call EndOfInput when there are none)
    kHasOutput,  // Take returns bytes
    kDone,       // the whole body was decoded; later input is ignored
    kMalformed,  // broken chunk framing or compressed data (problem() says which)
    kTooLarge,   // the decoded body would be longer than maxOutput
    kTruncated,  // the raw bytes ended before the body was complete
  };

  BodyDecoder(bool chunked, ContentCoding coding, uint64_t maxOutput);
  ~BodyDecoder();
  BodyDecoder(const BodyDecoder&) = delete;
  BodyDecoder& operator=(const BodyDecoder&) = delete;

  // Hands over the next raw bytes; only when state() is kNeedInput.
  void Give(std::string_view raw);
  // The raw bytes ended (the server closed, or its Content-Length was read):
  // kDone when that is where the body ends, else kTruncated.
  void EndOfInput();
  // Writes up to `length` decoded bytes to `out` and returns how many; 0 when
  // state() is not kHasOutput after the call.
  size_t Take(char* out, size_t length);
  State state();
  const std::string& problem() const { return problem_; }

 private:
  struct Inflater;
  size_t Produce(char* out, size_t length);
  void FinishInflating();
  void Fail(State state, std::string why);

  const bool chunked_;
  const ContentCoding coding_;
  const uint64_t maxOutput_;
  ChunkedDecoder chunks_;
  std::unique_ptr<Inflater> inflater_;
  std::string input_;      // decoded by the chunk layer, not yet inflated or taken
  size_t inputOffset_ = 0;  // bytes of input_ already consumed
  bool inflateDone_ = false;
  bool inflateMayHaveMore_ = false;  // the last inflate filled its output buffer
  bool betweenMembers_ = false;      // a gzip member ended; another may follow
  bool ended_ = false;  // EndOfInput was called
  uint64_t produced_ = 0;
  State failure_ = State::kNeedInput;  // kMalformed, kTooLarge or kTruncated once failed
  std::string problem_;
};

}  // namespace trovelane
