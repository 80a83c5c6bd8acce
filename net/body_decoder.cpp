#include "net/body_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/ascii.h"

namespace trovelane {

ContentCoding ParseContentCoding(std::string_view value) {
  value = TrimBlanks(value);
  auto is = [&](std::string_view name) { return EqualsNoCase(value, name); };
  if (is("gzip") || is("x-gzip")) return ContentCoding::kGzip;
  if (is("deflate")) return ContentCoding::kDeflate;
  return ContentCoding::kIdentity;
}

// ---- chunked ----

ChunkedDecoder::State ChunkedDecoder::Malformed(std::string why) {
  state_ = State::kMalformed;
  problem_ = std::move(why);
  return state_;
}

//   chunked-body = *( chunk-size [ ";" ext ] CRLF chunk-data CRLF )
//                  "0" [ ";" ext ] CRLF *( trailer-field CRLF ) CRLF
// A bare LF is taken for CRLF, as most servers and clients do.
ChunkedDecoder::State ChunkedDecoder::Decode(std::string_view input, std::string& out) {
  size_t i = 0;
  while (i < input.size() && state_ == State::kInProgress) {
    const char c = input[i];
    switch (step_) {
      case Step::kSize:
      case Step::kExtension: {
        if (++lineBytes_ > kMaxChunkLine) {
          return Malformed("a chunk-size line is longer than " + std::to_string(kMaxChunkLine) +
                           " bytes");
        }
        ++i;
        if (c == '\n' || c == '\r') {
          if (digits_ == 0) return Malformed("a chunk-size line holds no size");
          if (c == '\r') {
            step_ = Step::kSizeLineEnd;
            break;
          }
        } else if (step_ == Step::kExtension) {
          break;
        } else if (int digit = HexDigitValue(c); digit >= 0) {
          if (chunkLeft_ > (std::numeric_limits<uint64_t>::max() >> 4)) {
            return Malformed("a chunk size overflows 64 bits");
          }
          chunkLeft_ = chunkLeft_ << 4 | static_cast<uint64_t>(digit);
          ++digits_;
          break;
        } else if ((c == ';' || c == ' ' || c == '\t') && digits_ > 0) {
          step_ = Step::kExtension;
          break;
        } else {
          return Malformed("a chunk size is not a hexadecimal number");
        }
        // A size line ended with LF.
        step_ = chunkLeft_ == 0 ? Step::kTrailer : Step::kData;
        break;
      }
      case Step::kSizeLineEnd:
        if (c != '\n') return Malformed("a chunk-size line ends in CR without LF");
        ++i;
        step_ = chunkLeft_ == 0 ? Step::kTrailer : Step::kData;
        break;
      case Step::kData: {
        size_t take = static_cast<size_t>(std::min<uint64_t>(chunkLeft_, input.size() - i));
        out.append(input.data() + i, take);
        i += take;
        chunkLeft_ -= take;
        if (chunkLeft_ == 0) step_ = Step::kDataCr;
        break;
      }
      case Step::kDataCr:
      case Step::kDataLf:
        if (c == '\r' && step_ == Step::kDataCr) {
          step_ = Step::kDataLf;
        } else if (c == '\n') {
          step_ = Step::kSize;
          digits_ = 0;
          lineBytes_ = 0;
        } else {
          return Malformed("chunk data is not followed by CRLF (longer than its size)");
        }
        ++i;
        break;
      case Step::kTrailer:
        if (++trailerBytes_ > kMaxChunkTrailer) {
          return Malformed("the trailer after the last chunk is longer than " +
                           std::to_string(kMaxChunkTrailer) + " bytes");
        }
        ++i;
        if (c == '\n') {
          if (trailerLine_ == 0) state_ = State::kDone;
          trailerLine_ = 0;
        } else if (c != '\r') {
          ++trailerLine_;
        }
        break;
    }
  }
  return state_;
}

// ---- the whole body ----

struct BodyDecoder::Inflater {
  z_stream stream{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

BodyDecoder::BodyDecoder(bool chunked, ContentCoding coding, uint64_t maxOutput)
    : chunked_(chunked), coding_(coding), maxOutput_(maxOutput) {
  if (coding_ != ContentCoding::kIdentity) inflater_ = std::make_unique<Inflater>();
}

BodyDecoder::~BodyDecoder() = default;

void BodyDecoder::Fail(State state, std::string why) {
  if (failure_ != State::kNeedInput) return;
  failure_ = state;
  problem_ = std::move(why);
}

void BodyDecoder::FinishInflating() {
  inflateDone_ = true;
  inflateMayHaveMore_ = false;
  betweenMembers_ = false;
  input_.clear();
  inputOffset_ = 0;
}

void BodyDecoder::Give(std::string_view raw) {
  if (failure_ != State::kNeedInput || ended_) return;
  input_.erase(0, inputOffset_);
  inputOffset_ = 0;
  if (!chunked_) {
    input_.append(raw);
    return;
  }
  if (chunks_.state() != ChunkedDecoder::State::kInProgress) return;
  if (chunks_.Decode(raw, input_) == ChunkedDecoder::State::kMalformed) {
    Fail(State::kMalformed, "malformed chunked body: " + chunks_.problem());
  }
}

void BodyDecoder::EndOfInput() {
  ended_ = true;
  if (failure_ == State::kNeedInput && state() == State::kNeedInput) {
    Fail(State::kTruncated, chunked_ && chunks_.state() != ChunkedDecoder::State::kDone
                                ? "the connection ended before the last chunk"
                                : "the connection ended inside the compressed body");
  }
}

BodyDecoder::State BodyDecoder::state() {
  if (failure_ != State::kNeedInput) return failure_;
  const size_t inputLeft = input_.size() - inputOffset_;
  // After the last chunk no more input comes, even while the connection stays.
  const bool noMoreInput = ended_ || (chunked_ && chunks_.state() == ChunkedDecoder::State::kDone);
  if (coding_ == ContentCoding::kIdentity) {
    if (inputLeft > 0) return State::kHasOutput;
    if (!chunked_ || chunks_.state() == ChunkedDecoder::State::kDone) return State::kDone;
  } else {
    if (inflateDone_) return State::kDone;
    if (betweenMembers_ && inputLeft < 2) {
      if (!noMoreInput) return State::kNeedInput;
      FinishInflating();  // at most one byte after the last member: ignored
      return State::kDone;
    }
    // zlib may hold output of input it has already consumed.
    if (inflateMayHaveMore_) return State::kHasOutput;
    // A deflate stream needs two bytes before it can tell its wrapping.
    const bool waitForWrapping = coding_ == ContentCoding::kDeflate && !inflater_->ready &&
                                 inputLeft < 2 && !noMoreInput;
    if (inputLeft > 0 && !waitForWrapping) return State::kHasOutput;
  }
  if (noMoreInput && !ended_) {
    Fail(State::kTruncated, "the last chunk came before the end of the compressed body");
    return failure_;
  }
  return State::kNeedInput;
}

size_t BodyDecoder::Take(char* out, size_t length) {
  if (length == 0 || state() != State::kHasOutput) return 0;
  if (produced_ >= maxOutput_) {
    // One byte more than allowed tells a body of exactly maxOutput bytes
    // from a longer one.
    char probe;
    if (Produce(&probe, 1) > 0) {
      Fail(State::kTooLarge, "the decoded body is longer than " + std::to_string(maxOutput_) +
                                 " bytes");
    }
    return 0;
  }
  size_t n = Produce(out, static_cast<size_t>(std::min<uint64_t>(length, maxOutput_ - produced_)));
  produced_ += n;
  return n;
}

size_t BodyDecoder::Produce(char* out, size_t length) {
  if (coding_ == ContentCoding::kIdentity) {
    size_t n = std::min(length, input_.size() - inputOffset_);
    std::memcpy(out, input_.data() + inputOffset_, n);
    inputOffset_ += n;
    return n;
  }

  Inflater& z = *inflater_;
  if (!z.ready) {
    // gzip has its own header; "deflate" should be zlib-wrapped, but some
    // servers send raw deflate data: a zlib header is a CMF byte with method
    // 8 and a check making the first two bytes a multiple of 31.
    int windowBits = 16 + MAX_WBITS;
    if (coding_ == ContentCoding::kDeflate) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(input_.data() + inputOffset_);
      const bool zlibWrapped = input_.size() - inputOffset_ >= 2 && (bytes[0] & 0x0F) == 8 &&
                               ((bytes[0] << 8) | bytes[1]) % 31 == 0;
      windowBits = zlibWrapped ? MAX_WBITS : -MAX_WBITS;
    }
    if (inflateInit2(&z.stream, windowBits) != Z_OK) {
      Fail(State::kMalformed, "cannot start zlib");
      return 0;
    }
    z.ready = true;
  }
  size_t produced = 0;
  while (produced == 0 && (inputOffset_ < input_.size() || inflateMayHaveMore_) && !inflateDone_) {
    if (betweenMembers_) {
      // gzip allows several members one after another; anything else after
      // the end of the data is ignored. Two bytes tell which it is.
      const size_t left = input_.size() - inputOffset_;
      if (left < 2) break;
      const auto* next = reinterpret_cast<const unsigned char*>(input_.data() + inputOffset_);
      if (next[0] == 0x1F && next[1] == 0x8B) {
        inflateReset(&z.stream);
        betweenMembers_ = false;
      } else {
        FinishInflating();
        break;
      }
    }
    z.stream.next_in =
        reinterpret_cast<Bytef*>(const_cast<char*>(input_.data()) + inputOffset_);
    z.stream.avail_in = static_cast<uInt>(
        std::min<size_t>(input_.size() - inputOffset_, std::numeric_limits<uInt>::max()));
    z.stream.next_out = reinterpret_cast<Bytef*>(out);
    z.stream.avail_out =
        static_cast<uInt>(std::min<size_t>(length, std::numeric_limits<uInt>::max()));
    const uInt inBefore = z.stream.avail_in;
    const uInt outBefore = z.stream.avail_out;
    int result = inflate(&z.stream, Z_NO_FLUSH);
    inputOffset_ += inBefore - z.stream.avail_in;
    produced = outBefore - z.stream.avail_out;
    inflateMayHaveMore_ = z.stream.avail_out == 0;
    if (result == Z_STREAM_END) {
      inflateMayHaveMore_ = false;
      if (coding_ == ContentCoding::kGzip) {
        betweenMembers_ = true;
      } else {
        FinishInflating();
      }
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      Fail(State::kMalformed,
           std::string("broken compressed body: ") +
               (z.stream.msg ? z.stream.msg : "zlib error " + std::to_string(result)));
      return produced;
    } else if (inBefore == z.stream.avail_in && produced == 0) {
      if (inBefore > 0) {
        // Cannot happen with room for output; never spin on it.
        Fail(State::kMalformed, "broken compressed body: zlib made no progress");
        return 0;
      }
      inflateMayHaveMore_ = false;
      break;  // zlib needs more input than there is
    }
  }
  return produced;
}

}  // namespace trovelane
