#ifndef ROTFILE_CIPHER_TEXT_PASS_H_
#define ROTFILE_CIPHER_TEXT_PASS_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "cipher/byte_rule.h"

// The passes of the text reader, one for each kernel: each reads raw text
// once, finding the Ctrl-Z, dropping the CR of each CR LF pair and
// converting every other byte by a rule, all in the same pass.

#if defined(__x86_64__) || defined(__i386__)
#define ROTFILE_PASS_X86 1
#elif defined(__aarch64__)
#define ROTFILE_PASS_NEON 1
#endif

// Where a pass stopped: the first raw byte it left, and where the text it
// converted ends.
struct STextPass {
  const char* pIn;
  char* pOut;
};

// 32 bytes of 0 and 32 of 0xff. The 32 or 16 bytes from kRamp.data() + 32 - n
// select the positions from n on, for n from 0 to 32.
inline constexpr std::array<std::uint8_t, 64> kRamp = [] {
  std::array<std::uint8_t, 64> ramp{};
  for (std::size_t i = 32; i < ramp.size(); ++i) ramp[i] = 0xff;
  return ramp;
}();

// Each pass converts the raw text from pIn on, block by block, into text
// written from pOut on, in place, and returns where it stopped: before a
// block that holds a Ctrl-Z, or where its next step would look past pEnd.
// The bytes it leaves, a CR at the end and the Ctrl-Z among them, are the
// caller's.
// The generic pass, which any processor runs, takes the rotation of a
// window of 7-bit codes by half its even width, and may leave every byte of
// any other rule to the caller.
// REQUIRES: pOut <= pIn <= pEnd; the processor has the pass's instructions.
STextPass PassGeneric(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut);
#ifdef ROTFILE_PASS_X86
STextPass PassSse2(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut);
STextPass PassAvx2(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut);
STextPass PassAvx512(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut);
#endif
#ifdef ROTFILE_PASS_NEON
STextPass PassNeon(const SByteRule& rule, const char* pIn, const char* pEnd, char* pOut);
#endif

#endif  // ROTFILE_CIPHER_TEXT_PASS_H_
