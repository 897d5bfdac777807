#include "cipher/text_reader.h"

#include <cstring>

std::span<char> CTextReader::Take(char* pChunk, std::size_t nSize) {
  if (m_bAtEnd) return {};
  if (const void* pStop = std::memchr(pChunk, kEndOfText, nSize)) {
    nSize = static_cast<std::size_t>(static_cast<const char*>(pStop) - pChunk);
    m_bAtEnd = true;
  }
  // An empty chunk says nothing about a held CR, unless the text ends here.
  if (nSize == 0 && !m_bAtEnd) return {};

  char* pText = pChunk;
  if (m_bHoldingCr) {
    m_bHoldingCr = false;
    // The CR from the last chunk pairs with an LF here and is dropped;
    // otherwise it is a lone CR and goes back in front of this chunk.
    if (nSize == 0 || pChunk[0] != '\n') *--pText = '\r';
  }

  // Text is compacted in place: pOut never passes pIn. Runs without a CR are
  // moved as a whole, and not at all until the first CR LF has been dropped.
  char* pOut = pChunk;
  const char* pIn = pChunk;
  const char* const pEnd = pChunk + nSize;
  while (pIn < pEnd) {
    const char* pCr = static_cast<const char*>(std::memchr(pIn, '\r', pEnd - pIn));
    const char* pRunEnd = pCr == nullptr ? pEnd : pCr;
    if (pOut != pIn) std::memmove(pOut, pIn, pRunEnd - pIn);
    pOut += pRunEnd - pIn;
    pIn = pRunEnd;
    if (pCr == nullptr) break;
    if (pCr + 1 == pEnd) {
      // Whether this CR is lone depends on the next chunk, unless the text
      // ends right here.
      if (m_bAtEnd) {
        *pOut++ = '\r';
      } else {
        m_bHoldingCr = true;
      }
      pIn = pEnd;
    } else if (pCr[1] == '\n') {
      pIn = pCr + 1;
    } else {
      *pOut++ = '\r';
      pIn = pCr + 1;
    }
  }
  return {pText, pOut};
}

std::span<char> CTextReader::Finish(char* pBuffer) {
  if (!m_bHoldingCr) return {};
  m_bHoldingCr = false;
  pBuffer[0] = '\r';
  return {pBuffer, kHeadroom};
}
