// Status: how an operation that can fail (reading or writing a file, parsing
// a URL or a document, saving settings) tells its caller what happened. A
// status is OK, or carries a code for the kind of failure and a message.
//
// The message is the text the user is shown, exactly as the operation words
// it (it may be empty when the caller shows its own text, as for a
// malformed URL). Callers that only need to know whether it worked test
// ok(); those that word their own message branch on code().
//
//   Status saved = SaveNetworkSettings(path, settings);
//   if (!saved.ok()) ShowError(saved.message());
//
// A Status is a small value: copy and move it freely; any thread.
// Operations where a caller picks among several outcomes (StartOutcome,
// OpenFailure) keep their own enum.
#pragma once

#include <string>
#include <utility>

namespace trovelane {

class [[nodiscard]] Status {
 public:
  enum class Code {
    kOk = 0,
    kNotFound,         // the file (or entry) is not there
    kIoError,          // the system refused a read or a write
    kCorruption,       // the data is not what it should be (a damaged or foreign file)
    kInvalidArgument,  // a value that cannot be taken (a malformed URL, a field too long)
  };

  // OK.
  Status() = default;

  static Status Ok() { return Status(); }
  static Status NotFound(std::string message) { return {Code::kNotFound, std::move(message)}; }
  static Status IoError(std::string message) { return {Code::kIoError, std::move(message)}; }
  static Status Corruption(std::string message) {
    return {Code::kCorruption, std::move(message)};
  }
  static Status InvalidArgument(std::string message) {
    return {Code::kInvalidArgument, std::move(message)};
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Empty when OK.
  const std::string& message() const { return message_; }

  // For a caller that has dealt with the failure in another way and means
  // to drop it; says so at the call.
  void IgnoreError() const {}

  friend bool operator==(const Status&, const Status&) = default;

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace trovelane
