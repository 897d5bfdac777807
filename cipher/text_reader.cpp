#include "cipher/text_reader.h"

#include <algorithm>

#include "cipher/text_pass.h"

namespace {

// Runs eKernel's pass over the raw text from pIn on.
STextPass PassBlocks(EKernel eKernel, const SByteRule& rule, const char* pIn, const char* pEnd,
                     char* pOut) {
  switch (eKernel) {
#ifdef ROTFILE_PASS_X86
    case EKernel::kSse2:
      return PassSse2(rule, pIn, pEnd, pOut);
    case EKernel::kAvx2:
      return PassAvx2(rule, pIn, pEnd, pOut);
    case EKernel::kAvx512:
      return PassAvx512(rule, pIn, pEnd, pOut);
#endif
#ifdef ROTFILE_PASS_NEON
    case EKernel::kNeon:
      return PassNeon(rule, pIn, pEnd, pOut);
#endif
    default:
      return PassGeneric(rule, pIn, pEnd, pOut);
  }
}

}  // namespace

// The byte loop looks each byte up, where the rule's comparisons would be
// branches on the byte, mispredicted for about every other letter of text.
CTextReader::CTextReader(const SByteRule& rule, EKernel eKernel)
    : m_rule(rule), m_converted(), m_eKernel(eKernel) {
  for (std::size_t i = 0; i < m_converted.size(); ++i) {
    m_converted[i] = ConvertByte(rule, static_cast<char>(i));
  }
}

// The chunk is read once: the kernel's pass takes whole blocks, and the loop
// below takes the bytes the pass leaves. Text
// is compacted in place: pOut never passes pIn.
std::span<char> CTextReader::Take(char* pChunk, std::size_t nSize) {
  if (m_bAtEnd || nSize == 0) return {};
  char* pText = pChunk;
  if (m_bHoldingCr) {
    m_bHoldingCr = false;
    // The CR from the last chunk pairs with an LF here and is dropped;
    // otherwise it is a lone CR and goes back in front of this chunk.
    if (pChunk[0] != '\n') *--pText = m_converted['\r'];
  }
  const char* const pEnd = pChunk + nSize;
  auto [pIn, pOut] = PassBlocks(m_eKernel, m_rule, pChunk, pEnd, pChunk);
  for (; pIn < pEnd; ++pIn) {
    if (*pIn == kEndOfText) {
      m_bAtEnd = true;
      m_cut.nAt = m_nTaken + static_cast<std::uint64_t>(pIn - pChunk);
      TakeAfterEnd(pIn + 1, static_cast<std::size_t>(pEnd - pIn - 1));
      return {pText, pOut};
    }
    if (*pIn == '\r') {
      // Whether a CR at the end is lone depends on the next chunk.
      if (pIn + 1 == pEnd) {
        m_bHoldingCr = true;
        break;
      }
      if (pIn[1] == '\n') continue;
    }
    *pOut++ = m_converted[static_cast<unsigned char>(*pIn)];
  }
  m_nTaken += nSize;
  return {pText, pOut};
}

// Padding of Ctrl-Z after the first, as old editors wrote to fill the last
// record, is the ordinary end of a text file; anything else after the end is
// data the user may not know was left out, and is only counted.
void CTextReader::TakeAfterEnd(const char* pBytes, std::size_t nSize) {
  m_cut.nAfter += nSize;
  if (!m_bTextFollows) {
    m_bTextFollows = std::any_of(pBytes, pBytes + nSize, [](char ch) { return ch != kEndOfText; });
  }
}

// Bytes that could not be read may be text: the user is told of them too.
std::optional<STextCut> CTextReader::Cut() const {
  if (!m_bTextFollows && m_cut.strUnread.empty()) return std::nullopt;
  return m_cut;
}

std::span<char> CTextReader::Finish(char* pBuffer) {
  if (!m_bHoldingCr) return {};
  m_bHoldingCr = false;
  pBuffer[0] = m_converted['\r'];
  return {pBuffer, kHeadroom};
}
