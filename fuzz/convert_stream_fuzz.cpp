#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher/text_cipher.h"
#include "tests/memory_stream.h"
#include "tests/text_reference.h"

// The first byte tells how many of the next bytes (0 to 7) are chunk sizes,
// each 1 to 256 and used in turn; the remaining bytes are the file. Without
// sizes the file comes in one piece.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::size_t nPlan = nSize == 0 ? 0 : std::min<std::size_t>(pData[0] % 8, nSize - 1);
  const std::uint8_t* pPlan = pData + (nSize == 0 ? 0 : 1);
  const std::string_view raw(reinterpret_cast<const char*>(pPlan + nPlan),
                             nSize - static_cast<std::size_t>(pPlan + nPlan - pData));

  const std::string strText = ReadAsText(raw);
  std::string strExpected = strText;
  for (char& ch : strExpected) ch = ReferenceConvert(ch);
  // Every kernel this processor has, so that the generic one is fuzzed too.
  for (EKernel eKernel : SupportedKernels()) {
    std::size_t nChunk = 0;
    const auto nextCount = [&] {
      return nPlan == 0 ? raw.size() : pPlan[nChunk++ % nPlan] + std::size_t{1};
    };
    std::string strConverted;
    if (!ConvertFromMemory(raw, nextCount, &strConverted, eKernel).IsOk()) std::abort();
    if (strConverted != strExpected) std::abort();
    if (CTextCipher().SetKernel(eKernel).ConvertText(strConverted) != strText) std::abort();
  }
  return 0;
}
