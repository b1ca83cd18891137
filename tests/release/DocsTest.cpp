// The shipped texts say what the program does: the room rule with the program's own
// figures, and every Russian line a server failure can bring, word for word.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "maintenance/FailureHints.h"
#include "maintenance/RebuildChecks.h"

namespace {

// A file of the source tree with every run of blanks and line breaks made one blank,
// so that a sentence is found wherever the text wraps it.
std::string Flowed(const std::string& relativePath) {
  std::ifstream file(std::string(QVN_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
  std::ostringstream raw;
  raw << file.rdbuf();
  std::string text;
  for (char c : raw.str()) {
    bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (!blank) {
      text += c;
    } else if (!text.empty() && text.back() != ' ') {
      text += ' ';
    }
  }
  return text;
}

TEST(ShippedTexts, StateTheRoomRuleTheProgramApplies) {
  constexpr std::uint64_t kMiB = 1u << 20;
  const std::uint64_t fixed = RoomNeededForRebuild(0);
  const std::uint64_t perGiB = RoomNeededForRebuild(1024 * kMiB) - fixed;
  ASSERT_EQ(fixed % kMiB, 0u);
  ASSERT_EQ(perGiB * 100 % (1024 * kMiB), 0u) << "a factor with at most two decimals";
  const std::uint64_t hundredths = perGiB * 100 / (1024 * kMiB);
  std::string factor = std::to_string(hundredths / 100) + "." +
                       std::to_string(hundredths % 100 / 10) + std::to_string(hundredths % 10);
  while (factor.back() == '0') factor.pop_back();
  if (factor.back() == '.') factor.pop_back();
  std::string factorRu = factor;
  for (char& c : factorRu) {
    if (c == '.') c = ',';
  }
  const std::string megabytes = std::to_string(fixed / kMiB);

  const struct {
    const char* file;
    std::string rule;
  } documents[] = {
      {"docs/release/INSTALL.txt", factor + " times the database file's size plus " + megabytes + " MB"},
      {"docs/release/OPERATOR-RU.txt", factorRu + " размера файла базы плюс " + megabytes + " МБ"},
      {"README.md", factor + " times the working file plus " + megabytes + " MB"},
  };
  for (const auto& d : documents)
    EXPECT_NE(Flowed(d.file).find(d.rule), std::string::npos) << d.file << ": " << d.rule;
}

TEST(ShippedTexts, TheGuideListsEveryLineAddedToAServerFailure) {
  const std::string guide = Flowed("docs/release/OPERATOR-RU.txt");
  for (const std::string& line : OperatorHintLines())
    EXPECT_NE(guide.find("«" + line + "»"), std::string::npos) << line;
}

// A scheduler acts on the reason's token and the exit status: the install note and
// the README list every token the program gives.
TEST(ShippedTexts, TheInstallNoteAndTheReadmeListEveryReason) {
  for (const char* file : {"docs/release/INSTALL.txt", "README.md"}) {
    const std::string text = Flowed(file);
    for (int r = static_cast<int>(TFailureReason::kBusy); r <= static_cast<int>(TFailureReason::kInternal);
         ++r) {
      std::string token = std::string("\"") + ReasonToken(static_cast<TFailureReason>(r)) + "\"";
      EXPECT_NE(text.find(token), std::string::npos) << file << ": " << token;
    }
  }
}

}  // namespace
