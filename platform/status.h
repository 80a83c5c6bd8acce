// Status: how an operation that can fail (reading or writing a file, parsing
// a URL or a document, saving settings) tells its caller what happened. A
// status is OK, or carries a code for the kind of failure and a message.
//
// The message is the text the user is shown, exactly as the operation words
// it (it may be empty when the caller shows its own text, as for a
// malformed URL). Where that text is a fixed one of the program's ("Error
// while saving file %s"), the system's reason travels apart as the detail,
// for the front ends that show it too. Callers that only need to know
// whether it worked test ok(); those that word their own message branch on
// code().
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
  static Status NotFound(std::string message, std::string detail = {}) {
    return {Code::kNotFound, std::move(message), std::move(detail)};
  }
  static Status IoError(std::string message, std::string detail = {}) {
    return {Code::kIoError, std::move(message), std::move(detail)};
  }
  static Status Corruption(std::string message, std::string detail = {}) {
    return {Code::kCorruption, std::move(message), std::move(detail)};
  }
  static Status InvalidArgument(std::string message, std::string detail = {}) {
    return {Code::kInvalidArgument, std::move(message), std::move(detail)};
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // Empty when OK.
  const std::string& message() const { return message_; }
  // The reason behind the message (a system error text, what broke inside a
  // file), when the operation keeps it apart; often empty.
  const std::string& detail() const { return detail_; }

  // For a caller that has dealt with the failure in another way and means
  // to drop it; says so at the call.
  void IgnoreError() const {}

  friend bool operator==(const Status&, const Status&) = default;

 private:
  Status(Code code, std::string message, std::string detail)
      : code_(code), message_(std::move(message)), detail_(std::move(detail)) {}

  Code code_ = Code::kOk;
  std::string message_;
  std::string detail_;
};

}  // namespace trovelane
