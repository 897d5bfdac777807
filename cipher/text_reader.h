#ifndef ROTFILE_CIPHER_TEXT_READER_H_
#define ROTFILE_CIPHER_TEXT_READER_H_

#include <cstddef>
#include <span>

#include "cipher/kernel.h"

// Turns the raw bytes of a file, handed over in chunks of any size, into the
// text that reading the file in text mode delivers: each CR LF pair becomes
// one LF, every other byte (a lone CR included) stays as it is, and the text
// ends at the first Ctrl-Z (0x1A). The chunks together give the same text as
// the whole file at once, wherever their edges fall.
class CTextReader {
 public:
  // Writable bytes the caller keeps in front of each chunk, where a CR held
  // back from the end of the previous chunk is put once it proves lone.
  static constexpr std::size_t kHeadroom = 1;

  // Ctrl-Z: where the text ends.
  static constexpr char kEndOfText = '\x1a';

  // Starts a text whose CR LF pairs are folded by eKernel.
  // REQUIRES: eKernel is one of SupportedKernels().
  explicit CTextReader(EKernel eKernel = FastestKernel()) : m_eKernel(eKernel) {}

  // Turns the next nSize raw bytes at pChunk into text, in place, and returns
  // that text; it may begin up to kHeadroom bytes before pChunk. A CR at the
  // end of the chunk is held back until the next byte is known.
  // REQUIRES: the kHeadroom bytes before pChunk are writable.
  std::span<char> Take(char* pChunk, std::size_t nSize);

  // Returns the text still held back once the input has no more bytes (a
  // lone CR, or nothing), written at pBuffer.
  // REQUIRES: kHeadroom bytes at pBuffer are writable.
  std::span<char> Finish(char* pBuffer);

  // Returns true once a Ctrl-Z has been taken: later bytes are not text.
  bool AtEnd() const { return m_bAtEnd; }

 private:
  EKernel m_eKernel;
  bool m_bHoldingCr = false;
  bool m_bAtEnd = false;
};

#endif  // ROTFILE_CIPHER_TEXT_READER_H_
