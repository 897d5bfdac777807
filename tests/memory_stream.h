#ifndef ROTFILE_TESTS_MEMORY_STREAM_H_
#define ROTFILE_TESTS_MEMORY_STREAM_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "cipher/text_cipher.h"

// Converts raw through CTextCipher::ConvertStream as if it were a file whose
// reads deliver at most nextCount() bytes each, so the caller chooses where
// the chunk edges fall; stores the converted text in *pstrOut. eKernel does
// the work.
inline CStatus ConvertFromMemory(std::string_view raw,
                                 const std::function<std::size_t()>& nextCount,
                                 std::string* pstrOut, EKernel eKernel = FastestKernel()) {
  std::size_t nPos = 0;
  return CTextCipher().SetKernel(eKernel).ConvertStream(
      [&](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
        *pnRead = std::min({nextCount(), nMax, raw.size() - nPos});
        std::memcpy(pBuffer, raw.data() + nPos, *pnRead);
        nPos += *pnRead;
        return CStatus();
      },
      [&](std::span<const char> text) {
        pstrOut->append(text.data(), text.size());
        return CStatus();
      });
}

#endif  // ROTFILE_TESTS_MEMORY_STREAM_H_
