#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "cipher/output_name.h"
#include "cipher/text_cipher.h"
#include "os/input_file.h"
#include "os/output_file.h"

namespace {

CTextCipher::ChunkReader ReadFrom(CInputFile& input) {
  return [&input](char* pBuffer, std::size_t nMax, std::size_t* pnRead) {
    return input.Read(pBuffer, nMax, pnRead);
  };
}

// Returns n with its digits in groups of three, as "147,687".
std::string GroupedDigits(std::uint64_t n) {
  char szDigits[32];  // The 20 digits of the largest, and 6 commas.
  char* pFirst = std::end(szDigits);
  for (int nDigits = 1;; ++nDigits) {
    *--pFirst = static_cast<char>('0' + n % 10);
    if ((n /= 10) == 0) break;
    if (nDigits % 3 == 0) *--pFirst = ',';
  }
  return {pFirst, std::end(szDigits)};
}

// Returns the warning that the text of strInFile was cut, if it was. A
// binary or UTF-16 file meets a Ctrl-Z byte early, and whoever deletes it
// after converting it would lose all that follows: so the user is told
// where, counted from 1 as cmp counts, and how much.
CStatus CutWarning(const std::string& strInFile, const std::optional<STextCut>& cut) {
  if (!cut) return {};
  const bool bOne = cut->nAfter == 1;
  std::string strWarning = "the text ends at a Ctrl-Z at byte ";
  strWarning.append(GroupedDigits(cut->nAt + 1)).append("; the ");
  strWarning.append(GroupedDigits(cut->nAfter))
      .append(bOne ? " byte after it was" : " bytes after it were");
  return CStatus::Warning(strInFile, strWarning.append(" not converted"));
}

}  // namespace

CStatus CTextCipher::ConvertFileText(const char* lpszInFile, std::string* pstrText) const {
  CInputFile input;
  if (CStatus status = input.Open(lpszInFile); !status.IsOk()) return status;
  pstrText->clear();
  std::optional<STextCut> cut;
  CStatus status = ConvertStream(
      ReadFrom(input),
      [&](std::span<const char> text) {
        pstrText->append(text.data(), text.size());
        return CStatus();
      },
      &cut);
  return status.IsOk() ? CutWarning(input.Name(), cut) : status;
}

CStatus CTextCipher::EncodeFile(const char* lpszInFile, const char* lpszOutFile) const {
  // The input is opened first, so nothing is created when it cannot be read;
  // the output name is checked before any byte is read.
  CInputFile input;
  if (CStatus status = input.Open(lpszInFile); !status.IsOk()) return status;
  COutputFile output;
  if (CStatus status = output.Create(lpszOutFile, input); !status.IsOk()) return status;
  std::optional<STextCut> cut;
  CStatus status = ConvertStream(
      ReadFrom(input),
      [&](std::span<const char> text) { return output.Write(text.data(), text.size()); }, &cut);
  if (!status.IsOk()) return output.Abandon(status);
  if (status = output.Commit(); !status.IsOk()) return status;
  return CutWarning(input.Name(), cut);
}

CStatus CTextCipher::DecodeFile(const char* lpszInFile, const char* lpszOutFile) const {
  return EncodeFile(lpszInFile, lpszOutFile);
}

CStatus CTextCipher::Encrypt(const char* lpszFile) const {
  return EncodeFile(lpszFile, OutputName(lpszFile, kEncryptedExtension).c_str());
}

CStatus CTextCipher::Decrypt(const char* lpszFile) const {
  return DecodeFile(lpszFile, OutputName(lpszFile, kDecryptedExtension).c_str());
}
