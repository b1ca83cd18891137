#include <gtest/gtest.h>

#include "platform/ConsoleOutput.h"
#include "platform/Encoding.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace {

using namespace platform;

TEST(Encoding, RussianTextRoundTripsThroughWindows1251) {
  const std::string text = "Программа запущена: ЁЛКА ёлка №5 «—»";
  std::string bytes = Utf8ToCp1251(text);
  EXPECT_EQ(bytes.size(), 36u);  // one byte per character
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCF);  // П
  EXPECT_EQ(Cp1251ToUtf8(bytes), text);
}

TEST(Encoding, EveryByteOf1251RoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Utf8ToCp866(Cp866ToUtf8(all)), all);
}

TEST(Encoding, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a€b"), "a\x88" "b");
  EXPECT_EQ(Utf8ToCp1251("日本"), "??");
  EXPECT_EQ(Utf8ToCp1251("x\xD0"), "x?");          // truncated sequence at the end
  EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");       // overlong form
  EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");  // encoded surrogate
}

TEST(Encoding, Utf16CoversSurrogatePairsAndRejectsLoneOnes) {
  const std::string text = "Д😀z";
  std::u16string wide = Utf8ToUtf16(text);
  ASSERT_EQ(wide.size(), 4u);
  EXPECT_EQ(wide[0], u'Д');
  EXPECT_EQ(wide[1], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(Encoding, Cp866IsTheCyrillicConsolePage) {
  EXPECT_EQ(Cp866ToUtf8("\x8F\xE0\xA8\xA2\xA5\xE2"), "Привет");
  EXPECT_EQ(Utf8ToCp866("Ёё"), "\xF0\xF1");
}

// What a console program writes into a file or a pipe, per console code page.
TEST(Encoding, ConsoleTextGoesOutInTheConsolesCodePage) {
  const struct {
    const char* text;
    unsigned codePage;
    std::string bytes;
  } cases[] = {
      {"Файл занят", 65001, "Файл занят"},
      {"Файл занят", 866, "\x94\xA0\xA9\xAB \xA7\xA0\xAD\xEF\xE2"},
      {"Файл №1", 866, "\x94\xA0\xA9\xAB \xFC" "1"},
      {"Файл №1", 1251, "\xD4\xE0\xE9\xEB \xB9" "1"},
      {"✓ Ж ok", 866, "? \x86 ok"},
      {"Ж ok", 437, "? ok"},  // a page without Cyrillic
  };
  for (const auto& c : cases)
    EXPECT_EQ(platform::ToCodePage(c.text, c.codePage), c.bytes) << c.text << " " << c.codePage;
}

#ifndef _WIN32
// Our tables against the C library's own converters, byte by byte.
std::string IconvToUtf8(const char* from, unsigned char byte) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* inp = in;
  char* outp = out;
  size_t inLeft = 1, outLeft = sizeof out;
  size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<invalid>";
  return std::string(out, outp);
}

TEST(Encoding, TablesAgreeWithTheCLibrary) {
  for (int b = 0x80; b < 0x100; ++b) {
    if (b != 0x98) {  // undefined in 1251; Windows maps it to U+0098
      EXPECT_EQ(Cp1251ToUtf8(std::string(1, static_cast<char>(b))), IconvToUtf8("CP1251", b))
          << "1251 byte " << b;
    }
    EXPECT_EQ(Cp866ToUtf8(std::string(1, static_cast<char>(b))), IconvToUtf8("CP866", b))
        << "866 byte " << b;
  }
}
#endif

}  // namespace

namespace {

// Every line written for people or machines ends in CR LF once, whatever it brought.
TEST(ConsoleOutput, EveryLineEndsInOneCrLf) {
  const std::pair<const char*, const char*> cases[] = {
      {"a\nb\r\n", "a\r\nb\r\n"},
      {"\r\x1b[2Kx\n", "\r\x1b[2Kx\r\n"},  // a terminal's return to the line's start stays
      {"a\r\n\r\n\nb", "a\r\n\r\n\r\nb"},
      {"", ""},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(platform::WithCrLf(text), lines) << text;
}

}  // namespace
