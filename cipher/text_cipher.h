#ifndef ROTFILE_CIPHER_TEXT_CIPHER_H_
#define ROTFILE_CIPHER_TEXT_CIPHER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "cipher/kernel.h"
#include "cipher/text_reader.h"
#include "os/status.h"

// Extension of an encrypted file, dot included.
inline constexpr char kEncryptedExtension[] = ".qzv";
// Extension of a decrypted file, dot included.
inline constexpr char kDecryptedExtension[] = "._zv";

// Rotates every character code inside a window by half the window's width and
// leaves all others alone. Rotating by half the width is its own inverse, so
// one conversion both encrypts and decrypts. The default window holds the 94
// codes from 32 (blank) to 125 ('}'); bytes 128 to 255 count as negative codes
// and lie below every window that starts above -128.
class CTextCipher {
 public:
  // Hands the next raw input bytes to the conversion: up to nMax at pBuffer,
  // their count in *pnRead, 0 at the end of the input.
  using ChunkReader = std::function<CStatus(char* pBuffer, std::size_t nMax, std::size_t* pnRead)>;
  // Takes the next piece of converted text.
  using TextWriter = std::function<CStatus(std::span<const char> text)>;

  // Raw bytes read at a time by the file commands.
  static constexpr std::size_t kChunkSize = std::size_t{256} * 1024;

  // The input size, in bytes, from which a second thread shares the reading.
  static constexpr std::uint64_t kSizeForSecondThread = std::uint64_t{8} << 20;

  // Constructs the default window: SetWindow(31, 94).
  CTextCipher();

  // Sets the window to the nWidth codes after nBase and the shift to half of
  // nWidth; returns this object.
  // REQUIRES: nBase + nWidth does not overflow an int.
  CTextCipher& SetWindow(int nBase, int nWidth);

  // Makes every conversion of this object run eKernel; returns this object.
  // REQUIRES: eKernel is one of SupportedKernels().
  CTextCipher& SetKernel(EKernel eKernel);

  // Returns strText with every byte converted; the length is kept.
  std::string ConvertText(const std::string& strText) const;

  // Converts the bytes of text in place.
  void ConvertBuffer(std::span<char> text) const;

  // Reads raw bytes through read until the input or its text ends, and hands
  // the converted text to write piece by piece. Stops at the first failure.
  // nSize is the bytes the input is expected to hold, 0 when not known.
  // read is called one call at a time: for an expected kSizeForSecondThread
  // or more, once it has filled a whole chunk, and when a second thread can
  // start, on either thread, up to two chunks ahead of the one being
  // written; else on the calling thread. write is called on the calling
  // thread. A text that ends at a Ctrl-Z is followed by reading the rest of
  // the input, where a failed read ends that reading alone; where it was
  // cut, if anything but Ctrl-Z follows or the rest could not be read, is
  // stored in *pCut when pCut is given.
  CStatus ConvertStream(const ChunkReader& read, const TextWriter& write,
                        std::optional<STextCut>* pCut = nullptr, std::uint64_t nSize = 0) const;

  // Reads lpszInFile as text and stores its conversion in *pstrText; warns
  // when the text ends at a Ctrl-Z that anything but Ctrl-Z follows, or
  // bytes that could not be read.
  CStatus ConvertFileText(const char* lpszInFile, std::string* pstrText) const;

  // Converts the file lpszInFile into lpszOutFile, which is replaced only when
  // the conversion is complete; on failure it keeps what it had. Warns as
  // ConvertFileText does.
  CStatus EncodeFile(const char* lpszInFile, const char* lpszOutFile) const;

  // Does what EncodeFile does: the conversion is its own inverse.
  CStatus DecodeFile(const char* lpszInFile, const char* lpszOutFile) const;

  // Encodes lpszFile into the file of the same stem with the ".qzv" extension.
  CStatus Encrypt(const char* lpszFile) const;

  // Decodes lpszFile into the file of the same stem with the "._zv" extension.
  CStatus Decrypt(const char* lpszFile) const;

 private:
  int m_nBase;
  int m_nWidth;
  int m_nShift;
  EKernel m_eKernel = FastestKernel();
};

#endif  // ROTFILE_CIPHER_TEXT_CIPHER_H_
