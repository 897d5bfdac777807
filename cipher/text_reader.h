#ifndef ROTFILE_CIPHER_TEXT_READER_H_
#define ROTFILE_CIPHER_TEXT_READER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "cipher/byte_rule.h"
#include "cipher/kernel.h"

// Where a text that ends at a Ctrl-Z was cut from the rest of its input.
struct STextCut {
  std::uint64_t nAt = 0;     // The Ctrl-Z's place among the raw bytes, counted from 0.
  std::uint64_t nAfter = 0;  // How many raw bytes follow it, as far as they could be read.
  std::string strUnread;     // Why the rest could not be read; empty when all was.
};

// Turns the raw bytes of a file, handed over in chunks of any size, into the
// text that reading the file in text mode delivers, converted: each CR LF
// pair becomes one LF, every other byte (a lone CR included) is kept, the
// text ends at the first Ctrl-Z (0x1A), and each byte kept is converted by a
// byte rule. The chunks together give the same text as the whole file at
// once, wherever their edges fall.
class CTextReader {
 public:
  // Writable bytes the caller keeps in front of each chunk, where a CR held
  // back from the end of the previous chunk is put once it proves lone.
  static constexpr std::size_t kHeadroom = 1;

  // Ctrl-Z: where the text ends.
  static constexpr char kEndOfText = '\x1a';

  // Starts a text converted by rule, read by eKernel.
  // REQUIRES: eKernel is one of SupportedKernels().
  CTextReader(const SByteRule& rule, EKernel eKernel);

  // Turns the next nSize raw bytes at pChunk into converted text, in place,
  // and returns it; it may begin up to kHeadroom bytes before pChunk. A CR at
  // the end of the chunk is held back until the next byte is known.
  // REQUIRES: the kHeadroom bytes before pChunk are writable.
  std::span<char> Take(char* pChunk, std::size_t nSize);

  // Returns the converted text still held back once the input has no more
  // bytes (a lone CR, or nothing), written at pBuffer.
  // REQUIRES: kHeadroom bytes at pBuffer are writable.
  std::span<char> Finish(char* pBuffer);

  // Returns true once a Ctrl-Z has been taken: later bytes are not text.
  bool AtEnd() const { return m_bAtEnd; }

  // Counts the next nSize raw bytes at pBytes, which follow the end of the
  // text and are not converted.
  // REQUIRES: AtEnd().
  void TakeAfterEnd(const char* pBytes, std::size_t nSize);

  // Notes that the raw bytes after those taken could not be read, for the
  // reason strReason. REQUIRES: AtEnd().
  void NoteUnread(std::string strReason) { m_cut.strUnread = std::move(strReason); }

  // Returns where the text was cut, once it has ended at a Ctrl-Z that a byte
  // other than Ctrl-Z follows in the raw bytes taken, or that bytes follow
  // which could not be read; nothing otherwise.
  std::optional<STextCut> Cut() const;

 private:
  SByteRule m_rule;
  std::array<char, 256> m_converted;  // Each byte's conversion, by its unsigned value.
  EKernel m_eKernel;
  bool m_bHoldingCr = false;
  bool m_bAtEnd = false;
  std::uint64_t m_nTaken = 0;   // The raw bytes taken before the end.
  STextCut m_cut;               // Where the text ended, once it has.
  bool m_bTextFollows = false;  // A byte other than Ctrl-Z follows the end.
};

#endif  // ROTFILE_CIPHER_TEXT_READER_H_
