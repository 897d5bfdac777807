#include "cipher/text_reader.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)
// How to pack the bytes an 8-byte half keeps, for each set of bytes it drops:
// the pshufb indices of the kept bytes in order, and how many there are.
struct SHalfPack {
  std::uint64_t nShuffle;
  std::uint64_t nKept;
};

constexpr std::array<SHalfPack, 256> MakeHalfPacks() {
  std::array<SHalfPack, 256> packs{};
  for (unsigned nDrop = 0; nDrop < packs.size(); ++nDrop) {
    for (unsigned i = 0; i < 8; ++i) {
      if ((nDrop >> i & 1) == 0)
        packs[nDrop].nShuffle |= std::uint64_t{i} << 8 * packs[nDrop].nKept++;
    }
  }
  return packs;
}

constexpr std::array<SHalfPack, 256> kHalfPacks = MakeHalfPacks();

// Folds nBlocks blocks of 16 bytes from pIn to pOut and returns where the
// output ends; reads one byte past the last block. Every block goes the same
// way, CR or not, because where lines end in text is random: a branch on it
// would be mispredicted about once a line.
// Each 8-byte half is packed with one table look-up and stored whole; the
// bytes past the kept ones are overwritten by the next store, and every store
// lands on input already loaded, as the output never passes the input.
[[gnu::target("ssse3")]] char* FoldBlocksSsse3(const char* pIn, char* pOut, std::size_t nBlocks) {
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i highHalf = _mm_set1_epi8(8);
  for (std::size_t i = 0; i < nBlocks; ++i, pIn += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn + 1));
    const unsigned nDrop = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(next, lf))));
    const SHalfPack& low = kHalfPacks[nDrop & 0xff];
    const SHalfPack& high = kHalfPacks[nDrop >> 8];
    const __m128i shuffle = _mm_unpacklo_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&low.nShuffle)),
        _mm_add_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(&high.nShuffle)), highHalf));
    const __m128i packed = _mm_shuffle_epi8(block, shuffle);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), packed);
    pOut += low.nKept;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), _mm_unpackhi_epi64(packed, packed));
    pOut += high.nKept;
  }
  return pOut;
}
#endif

// Folds as many whole 16-byte blocks from pIn to *ppOut as leave a byte after
// them before pEnd, moving *ppOut on, and returns the input bytes used: none
// for the generic kernel, whose work the caller's loop does all of.
std::size_t FoldBlocks([[maybe_unused]] EKernel eKernel, [[maybe_unused]] const char* pIn,
                       [[maybe_unused]] char** ppOut, [[maybe_unused]] const char* pEnd) {
#if defined(__x86_64__) || defined(__i386__)
  if (eKernel != EKernel::kGeneric && pEnd - pIn > 16) {
    const std::size_t nBlocks = static_cast<std::size_t>(pEnd - pIn - 1) / 16;
    *ppOut = FoldBlocksSsse3(pIn, *ppOut, nBlocks);
    return nBlocks * 16;
  }
#endif
  return 0;
}

}  // namespace

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

  // Text is compacted in place: pOut never passes pIn. Nothing moves before
  // the first CR, so text without one is only scanned. From there whole
  // blocks are folded at once, and the loop below does the rest: runs without
  // a CR are moved as a whole.
  const char* const pEnd = pChunk + nSize;
  const char* pIn = static_cast<const char*>(std::memchr(pChunk, '\r', nSize));
  if (pIn == nullptr) return {pText, pChunk + nSize};
  char* pOut = pChunk + (pIn - pChunk);
  pIn += FoldBlocks(m_eKernel, pIn, &pOut, pEnd);
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
