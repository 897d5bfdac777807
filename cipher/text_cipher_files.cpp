#include <optional>
#include <string>

#include "cipher/cut_warning.h"
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
      &cut, input.Size());
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
      [&](std::span<const char> text) { return output.Write(text.data(), text.size()); }, &cut,
      input.Size());
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
