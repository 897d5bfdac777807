#include "cipher/text_cipher.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The conversion of one byte, step by step as documented: the byte as a
// signed code, tested against the window from below, then above, then the
// split between the two halves.
char ReferenceConvert(int nBase, int nWidth, char chByte) {
  const int nShift = nWidth / 2;
  int ch = static_cast<signed char>(chByte);
  if (ch <= nBase) {
  } else if (ch > nBase + nWidth) {
  } else if (ch <= nBase + nShift) {
    ch += nShift;
  } else {
    ch = nBase + (ch + nShift - nBase) % nWidth;
  }
  return static_cast<char>(ch & 0xff);
}

std::string AllBytes() {
  std::string strBytes;
  for (int i = 0; i < 256; ++i) strBytes += static_cast<char>(i);
  return strBytes;
}

TEST(TextCipherTest, DefaultWindowMapsTellingCharacters) {
  struct {
    char chIn, chOut;
  } const kCases[] = {
      {'\0', '\0'}, {'\t', '\t'}, {'\n', '\n'}, {'\r', '\r'}, {31, 31},         {' ', 'O'},
      {'!', 'P'},   {'0', '_'},   {'A', 'p'},   {'N', '}'},   {'O', ' '},       {'a', '2'},
      {'z', 'K'},   {'}', 'N'},   {'~', '~'},   {127, 127},   {'\x80', '\x80'}, {'\xff', '\xff'},
  };
  const CTextCipher cipher;
  for (const auto& c : kCases) {
    EXPECT_EQ(cipher.ConvertText(std::string(1, c.chIn)), std::string(1, c.chOut))
        << "input code " << static_cast<int>(static_cast<unsigned char>(c.chIn));
  }
}

TEST(TextCipherTest, ConvertsStringsKeepingLength) {
  struct {
    std::string strIn, strOut;
  } const kCases[] = {
      {"", ""},
      {std::string("\0", 1), std::string("\0", 1)},
      {"abc", "234"},
      {std::string("a\0b", 3), std::string("2\0"
                                           "3",
                                           3)},
      {"Hello, World~", "w6==@[O(@C=5~"},
  };
  const CTextCipher cipher;
  for (const auto& c : kCases) EXPECT_EQ(cipher.ConvertText(c.strIn), c.strOut) << c.strIn;
}

TEST(TextCipherTest, MatchesStepByStepRuleForEveryByteAndWindow) {
  struct {
    int nBase, nWidth;
  } const kWindows[] = {
      {31, 94},  {64, 26},  {32, 95},  {0, 0},      {-10, 5}, {-200, 400},
      {100, -4}, {-129, 1}, {120, 10}, {-128, 255}, {126, 1}, {-1000, 50},
  };
  const std::string strBytes = AllBytes();
  for (const auto& w : kWindows) {
    CTextCipher cipher;
    cipher.SetWindow(w.nBase, w.nWidth);
    const std::string strOut = cipher.ConvertText(strBytes);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(strOut[i], ReferenceConvert(w.nBase, w.nWidth, strBytes[i]))
          << "window " << w.nBase << "/" << w.nWidth << ", byte " << i;
    }
  }
}

TEST(TextCipherTest, ConvertingTwiceGivesEveryByteBack) {
  const CTextCipher cipher;
  const std::string strBytes = AllBytes();
  EXPECT_EQ(cipher.ConvertText(cipher.ConvertText(strBytes)), strBytes);
}

}  // namespace
