#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "cipher/text_cipher.h"
#include "tests/text_reference.h"

namespace {

// One byte at a time, straight from the rule: codes 32 to 125 move 47 places
// within those 94 codes, all others stay.
std::string Rotate(std::string strText) {
  for (char& ch : strText) {
    const int nCode = static_cast<unsigned char>(ch);
    if (nCode >= 32 && nCode <= 125) ch = static_cast<char>(32 + (nCode - 32 + 47) % 94);
  }
  return strText;
}

}  // namespace

// The first byte tells how many of the next bytes (0 to 7) are chunk sizes,
// each 1 to 256 and used in turn; the remaining bytes are the file. Without
// sizes the file comes in one piece.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::size_t nPlan = nSize == 0 ? 0 : std::min<std::size_t>(pData[0] % 8, nSize - 1);
  const std::uint8_t* pPlan = pData + (nSize == 0 ? 0 : 1);
  const std::string_view raw(reinterpret_cast<const char*>(pPlan + nPlan),
                             nSize - static_cast<std::size_t>(pPlan + nPlan - pData));

  std::size_t nPos = 0;
  std::size_t nChunk = 0;
  const auto read = [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
    const std::size_t nWant = nPlan == 0 ? raw.size() : pPlan[nChunk++ % nPlan] + std::size_t{1};
    *pnRead = std::min({nWant, nMax, raw.size() - nPos});
    std::memcpy(pBuffer, raw.data() + nPos, *pnRead);
    nPos += *pnRead;
    return CStatus();
  };
  std::string strConverted;
  const auto write = [&](std::span<const char> text) {
    strConverted.append(text.data(), text.size());
    return CStatus();
  };

  const CTextCipher cipher;
  const std::string strText = ReadAsText(raw);
  if (!cipher.ConvertStream(read, write).IsOk()) std::abort();
  if (strConverted != Rotate(strText)) std::abort();
  if (cipher.ConvertText(strConverted) != strText) std::abort();
  return 0;
}
