#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher/text_cipher.h"
#include "tests/text_reference.h"

// The first byte tells how many of the next bytes (0 to 7) are read sizes,
// each 1 to 256 and used in turn; the remaining bytes are the file. Without
// sizes every read delivers as much as asked.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  if (nSize == 0) return 0;
  const std::size_t nPlan = std::min<std::size_t>(pData[0] % 8, nSize - 1);
  std::size_t reads[7];
  for (std::size_t i = 0; i < nPlan; ++i) reads[i] = pData[1 + i] + std::size_t{1};
  const std::string_view raw(reinterpret_cast<const char*>(pData + 1 + nPlan), nSize - 1 - nPlan);

  std::string strExpected = ReadAsText(raw);
  for (char& ch : strExpected) ch = ReferenceConvert(ch);
  strExpected += CutNote(raw);
  // The generic kernel gives the plain reading's text and cut, and every
  // other kernel this processor has gives the generic one's.
  const std::string strGeneric = ConvertInReads(raw, {reads, nPlan}, EKernel::kGeneric);
  if (strGeneric != strExpected) std::abort();
  for (EKernel eKernel : SupportedKernels().subspan(1)) {
    if (ConvertInReads(raw, {reads, nPlan}, eKernel) != strGeneric) std::abort();
  }
  return 0;
}
