#include <gtest/gtest.h>

#include "platform/SystemError.h"
#include "support/Exceptions.h"

namespace {

TEST(SystemError, TextIsTheSystemsMessageWithoutItsEnding) {
  EXPECT_EQ(platform::TrimSystemMessage("Access is denied. \r\n"), "Access is denied");
  EXPECT_EQ(platform::TrimSystemMessage("...\r\n"), "");
  EXPECT_EQ(platform::TrimSystemMessage("a. b"), "a. b");

  std::string text = platform::SystemErrorText(platform::FileNotFoundCode());
  ASSERT_FALSE(text.empty());
  char last = text.back();
  EXPECT_TRUE(last != '.' && last != '\n' && last != '\r' && last != ' ') << text;
}

TEST(SystemError, OSErrorCarriesCodeAndText) {
  platform::SetLastErrorCode(platform::FileNotFoundCode());
  try {
    RaiseLastOSError();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), platform::FileNotFoundCode());
    EXPECT_EQ(e.Message(), "System Error.  Code: " + std::to_string(platform::FileNotFoundCode()) +
                               ".\r\n" + platform::SystemErrorText(platform::FileNotFoundCode()));
    EXPECT_STREQ(e.ClassName(), "EOSError");
  }
}

}  // namespace
