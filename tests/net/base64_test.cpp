#include "net/base64.h"

#include <gtest/gtest.h>

#include "net/credentials.h"

namespace trovelane {
namespace {

TEST(Base64Test, KnownVectorsRoundTrip) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"user:pass", "dXNlcjpwYXNz"},
  };
  for (auto [plain, encoded] : cases) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), plain);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64Test, LongInputHasNoLineBreaksAndBrokenInputStillDecodes) {
  std::string user(200, 'u');
  std::string encoded = Base64Encode(user + ":" + "pw");
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);

  // Text as an encoder that breaks lines every 76 characters writes it.
  std::string broken;
  for (size_t i = 0; i < encoded.size(); i += 76) broken += encoded.substr(i, 76) + "\r\n";
  EXPECT_EQ(Base64Decode(broken), user + ":pw");
}

TEST(Base64Test, DecodingStopsAtGarbage) {
  EXPECT_EQ(Base64Decode("Zm9v*Zm9v"), "foo");
  EXPECT_EQ(Base64Decode(std::string("Zm9v\0Zm9v", 9)), "foo");
}

TEST(CredentialsTest, EveryColonEndsTheUserNameAndTheLastStartsThePassword) {
  auto c = SplitCredentials("user:secret");
  EXPECT_EQ(c.user, "user");
  EXPECT_EQ(c.password, "secret");
  c = SplitCredentials("dom:user:secret");
  EXPECT_EQ(c.user, "user");
  EXPECT_EQ(c.password, "secret");
  c = SplitCredentials("nobody");
  EXPECT_EQ(c.user, "");
  EXPECT_EQ(c.password, "nobody");
  c = SplitCredentials("user:");
  EXPECT_EQ(c.user, "user");
  EXPECT_EQ(c.password, "");
  c = SplitCredentials(":pw");
  EXPECT_EQ(c.user, "");
  EXPECT_EQ(c.password, "pw");
}

TEST(CredentialsTest, EncodedOnOneLineAndRefusedWhenTheyWouldNotReadBack) {
  // 60 characters of user and password: a 76-column encoder would break the line.
  Credentials long_{std::string(30, 'u'), std::string(29, 'p')};
  EXPECT_TRUE(CheckCredentials(long_).ok());
  std::string encoded = EncodeCredentials(long_);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
  Credentials back = SplitCredentials(Base64Decode(encoded));
  EXPECT_EQ(back.user, long_.user);
  EXPECT_EQ(back.password, long_.password);

  EXPECT_EQ(CheckCredentials({"dom:user", "pw"}).message(), "a user name cannot hold \":\"");
  EXPECT_EQ(CheckCredentials({"user", "p:w"}).message(), "a password cannot hold \":\"");
}

}  // namespace
}  // namespace trovelane
