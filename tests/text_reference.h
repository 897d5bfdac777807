#ifndef ROTFILE_TESTS_TEXT_REFERENCE_H_
#define ROTFILE_TESTS_TEXT_REFERENCE_H_

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cipher/text_cipher.h"

// Plain references that the fast code must always agree with, and a way to
// run the fast code on bytes in memory.

// The text that reading raw in text mode gives, found the plain way over the
// whole buffer: cut at the first Ctrl-Z, then drop the CR of each CR LF.
inline std::string ReadAsText(std::string_view raw) {
  std::string strText(raw.substr(0, raw.find('\x1a')));
  for (std::size_t i = 0; (i = strText.find("\r\n", i)) != std::string::npos;) strText.erase(i, 1);
  return strText;
}

// How a stream's cut is noted after its text: " [cut at N, M after]" where
// the text ends at a Ctrl-Z at N that anything but Ctrl-Z follows, and
// ", REASON" before the "]" when the rest could not be read.
inline std::string CutNote(const std::optional<STextCut>& cut) {
  if (!cut) return {};
  return " [cut at " + std::to_string(cut->nAt) + ", " + std::to_string(cut->nAfter) + " after" +
         (cut->strUnread.empty() ? "" : ", " + cut->strUnread) + "]";
}

// The note of raw's cut, found the plain way.
inline std::string CutNote(std::string_view raw) {
  const std::size_t nAt = raw.find('\x1a');
  if (raw.find_first_not_of('\x1a', nAt) == std::string_view::npos) return {};
  return CutNote(STextCut{nAt, raw.size() - nAt - 1, ""});
}

// The conversion of one byte, step by step as documented: the byte as a
// signed code, left alone outside the window, moved up by half the width in
// the window's lower half and wrapped around in its upper half. The default
// window is base 31, width 94.
inline char ReferenceConvert(char chByte, int nBase = 31, int nWidth = 94) {
  const int ch = static_cast<signed char>(chByte);  // NOLINT(bugprone-signed-char-misuse)
  if (ch <= nBase || ch > nBase + nWidth) return chByte;
  if (ch <= nBase + nWidth / 2) return static_cast<char>(ch + nWidth / 2);
  return static_cast<char>(nBase + (ch + nWidth / 2 - nBase) % nWidth);
}

// Converts raw with eKernel through CTextCipher::ConvertStream as if it were
// a file large enough for a second thread, whose reads deliver at most reads[0], reads[1], ...
// bytes in turn, over again from the start (as many as asked when reads is empty), so the caller
// chooses where the chunk edges fall; a read of 0 planned there fails, for the reason "broken".
// Returns the converted text and its CutNote, or the message of the failure when the stream fails.
inline std::string ConvertInReads(std::string_view raw, std::span<const std::size_t> reads,
                                  EKernel eKernel) {
  std::size_t nPos = 0;
  std::size_t nReads = 0;
  std::string strOut;
  std::optional<STextCut> cut;
  const CStatus status = CTextCipher().SetKernel(eKernel).ConvertStream(
      [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
        if (!reads.empty()) nMax = std::min(nMax, reads[nReads++ % reads.size()]);
        if (nMax == 0) return CStatus::Failure("in", "broken");
        *pnRead = std::min(nMax, raw.size() - nPos);
        std::memcpy(pBuffer, raw.data() + nPos, *pnRead);
        nPos += *pnRead;
        return CStatus();
      },
      [&](std::span<const char> text) {
        strOut.append(text.begin(), text.end());
        return CStatus();
      },
      &cut, CTextCipher::kSizeForSecondThread);
  return status.IsOk() ? strOut + CutNote(cut) : "stream failed: " + status.Message();
}

#endif  // ROTFILE_TESTS_TEXT_REFERENCE_H_
