#include "cipher/text_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cipher/text_cipher.h"

namespace {

// Text-mode reading of a whole buffer at once: the text ends at the first
// Ctrl-Z, and each CR directly followed by LF is dropped.
std::string ReferenceText(const std::string& strRaw) {
  const std::string strBeforeEnd = strRaw.substr(0, strRaw.find('\x1a'));
  std::string strText;
  for (std::size_t i = 0; i < strBeforeEnd.size(); ++i) {
    if (strBeforeEnd[i] == '\r' && i + 1 < strBeforeEnd.size() && strBeforeEnd[i + 1] == '\n') {
      continue;
    }
    strText += strBeforeEnd[i];
  }
  return strText;
}

// Feeds strRaw to a reader in chunks of the given sizes (the last repeated).
std::string ReadInChunks(const std::string& strRaw, const std::vector<std::size_t>& sizes) {
  CTextReader reader;
  std::string strText;
  std::vector<char> buffer(CTextReader::kHeadroom + strRaw.size() + 1);
  std::size_t nPos = 0;
  for (std::size_t i = 0; nPos < strRaw.size(); ++i) {
    const std::size_t nSize = std::min(sizes[std::min(i, sizes.size() - 1)], strRaw.size() - nPos);
    char* pChunk = buffer.data() + CTextReader::kHeadroom;
    std::copy_n(strRaw.data() + nPos, nSize, pChunk);
    const std::span<char> text = reader.Take(pChunk, nSize);
    strText.append(text.begin(), text.end());
    nPos += nSize;
  }
  const std::span<char> tail = reader.Finish(buffer.data());
  strText.append(tail.begin(), tail.end());
  return strText;
}

// Runs ConvertStream over strRaw; each read delivers at most
// nextCount(nMax) bytes, so the reads choose where the chunk edges fall.
std::string ConvertFromMemory(const std::string& strRaw,
                              const std::function<std::size_t(std::size_t)>& nextCount) {
  std::size_t nPos = 0;
  std::string strOut;
  const CStatus status = CTextCipher().ConvertStream(
      [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
        *pnRead = std::min(nextCount(nMax), strRaw.size() - nPos);
        std::copy_n(strRaw.data() + nPos, *pnRead, pBuffer);
        nPos += *pnRead;
        return CStatus();
      },
      [&](std::span<const char> text) {
        strOut.append(text.begin(), text.end());
        return CStatus();
      });
  EXPECT_TRUE(status.IsOk()) << status.Message();
  return strOut;
}

TEST(TextReaderTest, GivesTheSameTextAtEveryChunkEdge) {
  const std::string kInputs[] = {
      "",
      "\r",
      "\n",
      "\r\n",
      "\r\r\n",
      "\n\r",
      "a\rb",
      "a\r\nb\r\n",
      "\x1a",
      "\x1a\r\n",
      "\r\x1a",
      "\r\x1a\n",
      "ab\x1a"
      "cd",
      "\r\n\x1a\x1a",
      std::string("\0\r\0\n", 4),
      "\r\r\r\n\n\r",
      "abc\r\nabc",
  };
  for (const std::string& strRaw : kInputs) {
    const std::string strExpected = ReferenceText(strRaw);
    for (std::size_t nFirst = 1; nFirst <= strRaw.size(); ++nFirst) {
      EXPECT_EQ(ReadInChunks(strRaw, {nFirst, strRaw.size()}), strExpected)
          << "first chunk " << nFirst << " of " << testing::PrintToString(strRaw);
    }
    EXPECT_EQ(ReadInChunks(strRaw, {1}), strExpected)
        << "one byte at a time: " << testing::PrintToString(strRaw);
  }
}

TEST(TextReaderTest, RandomInputsAndShortReadsMatchWholeBufferReading) {
  std::mt19937 random(20261206);
  const char kAlphabet[] = {'a', '\r', '\n', '\r', '\n', '\0', '\xff', 'O', '\x1a'};
  for (int nCase = 0; nCase < 2000; ++nCase) {
    std::string strRaw(std::uniform_int_distribution<int>(0, 40)(random), ' ');
    // Rare Ctrl-Z bytes, so that most cases read to the end.
    const int nAlphabet = nCase % 4 == 0 ? sizeof kAlphabet : sizeof kAlphabet - 1;
    for (char& ch : strRaw)
      ch = kAlphabet[std::uniform_int_distribution<int>(0, nAlphabet - 1)(random)];
    const auto shortRead = [&](std::size_t nMax) {
      return std::min(nMax, std::uniform_int_distribution<std::size_t>(1, 9)(random));
    };
    ASSERT_EQ(ConvertFromMemory(strRaw, shortRead),
              CTextCipher().ConvertText(ReferenceText(strRaw)))
        << testing::PrintToString(strRaw);
  }
}

TEST(TextReaderTest, FullChunksPairCrAndLfAcrossTheChunkEdge) {
  constexpr std::size_t kEdge = CTextCipher::kChunkSize;
  struct {
    std::size_t nAt;
    const char* pszBytes;
  } const kCases[] = {
      {kEdge - 1, "\r\n"}, {kEdge - 1, "\rx"}, {kEdge - 1, "\r\x1a"},
      {kEdge - 2, "\r\n"}, {kEdge, "\r\n"},    {kEdge - 1, "\x1a"},
      {kEdge, "\x1a"},     {kEdge - 1, "\r"},  {2 * kEdge - 1, "\r\n"},
  };
  for (const auto& c : kCases) {
    std::string strRaw(2 * kEdge + 5, 'q');
    strRaw.replace(c.nAt, std::char_traits<char>::length(c.pszBytes), c.pszBytes);
    if (std::string(c.pszBytes) == "\r") strRaw.resize(c.nAt + 1);
    const std::string strOut = ConvertFromMemory(strRaw, [](std::size_t nMax) { return nMax; });
    EXPECT_TRUE(strOut == CTextCipher().ConvertText(ReferenceText(strRaw)))
        << testing::PrintToString(c.pszBytes) << " at " << c.nAt;
  }
}

TEST(TextReaderTest, StreamStopsAtTheFirstFailure) {
  const CTextCipher cipher;
  int nReads = 0;
  const CStatus readFailure = cipher.ConvertStream(
      [&](char*, std::size_t, std::size_t* pnRead) {
        *pnRead = 0;
        return ++nReads == 2 ? CStatus::Failure("in", "boom") : (*pnRead = 1, CStatus());
      },
      [&](std::span<const char>) { return CStatus(); });
  EXPECT_EQ(readFailure.Message(), "in: boom");
  EXPECT_EQ(nReads, 2);

  nReads = 0;
  const CStatus writeFailure = cipher.ConvertStream(
      [&](char* pBuffer, std::size_t, std::size_t* pnRead) {
        ++nReads;
        *pBuffer = 'a';
        *pnRead = 1;
        return CStatus();
      },
      [&](std::span<const char>) { return CStatus::Failure("out", "full"); });
  EXPECT_EQ(writeFailure.Message(), "out: full");
  // Reading runs ahead of writing by at most the two chunks in flight.
  EXPECT_LE(nReads, 2);
}

}  // namespace
