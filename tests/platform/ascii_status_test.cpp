#include <gtest/gtest.h>

#include <string>

#include "platform/ascii.h"
#include "platform/status.h"

namespace trovelane {
namespace {

TEST(AsciiTest, ClassesAreThoseOfTheCLocaleWhateverTheByte) {
  for (char c : std::string(" \t\n\v\f\r")) EXPECT_TRUE(IsAsciiBlank(c)) << int(c);
  // Bytes above ASCII (a UTF-8 lead byte, a Latin-1 NBSP) are neither blanks nor letters.
  for (char c : {'\x85', '\xa0', '\xc3', '\0', 'x', '_'}) EXPECT_FALSE(IsAsciiBlank(c)) << int(c);
  EXPECT_FALSE(IsAsciiLetter('\xe9'));
  EXPECT_TRUE(IsAsciiLetterOrDigit('7'));
  EXPECT_EQ(ToLowerAscii('\xc9'), '\xc9');
  EXPECT_EQ(ToUpperAscii('z'), 'Z');
}

TEST(AsciiTest, CaseFoldingAndTrimming) {
  EXPECT_TRUE(EqualsNoCase("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
  EXPECT_FALSE(EqualsNoCase("\xc3\xa9", "\xc3\x89"));  // é and É differ: not ASCII
  EXPECT_TRUE(StartsWithNoCase("HTTPS://h", "https://"));
  EXPECT_FALSE(StartsWithNoCase("http", "https://"));
  EXPECT_EQ(TrimBlanks(" \t\v a b \f\r\n"), "a b");
  EXPECT_EQ(TrimBlanks(" \n "), "");
  EXPECT_EQ(TrimBlanks(""), "");
}

TEST(StatusTest, OkByDefaultAndFailuresKeepCodeAndMessageExactly) {
  Status ok;
  EXPECT_TRUE(ok.ok());
  EXPECT_EQ(ok, Status::Ok());
  EXPECT_TRUE(ok.message().empty());

  const Status failed = Status::IoError("Unable to save x.qmk: No space left on device");
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.code(), Status::Code::kIoError);
  EXPECT_EQ(failed.message(), "Unable to save x.qmk: No space left on device");
  EXPECT_NE(failed, Status::Corruption(failed.message()));
  EXPECT_EQ(Status::NotFound("").code(), Status::Code::kNotFound);
}

}  // namespace
}  // namespace trovelane
