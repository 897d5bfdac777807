#include "cipher/kernel.h"

#include <vector>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#define ROTFILE_X86 1
#ifdef _MSC_VER
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace {

#ifdef ROTFILE_X86
// The registers cpuid fills for a leaf, at sub-leaf 0.
struct SCpuid {
  unsigned nEax, nEbx, nEcx, nEdx;
};

SCpuid Cpuid(unsigned nLeaf) {
  SCpuid regs = {};
#ifdef _MSC_VER
  int raw[4];
  __cpuidex(raw, static_cast<int>(nLeaf), 0);
  regs = {static_cast<unsigned>(raw[0]), static_cast<unsigned>(raw[1]),
          static_cast<unsigned>(raw[2]), static_cast<unsigned>(raw[3])};
#else
  __cpuid_count(nLeaf, 0, regs.nEax, regs.nEbx, regs.nEcx, regs.nEdx);
#endif
  return regs;
}

// Returns the low half of XCR0: which register sets the system saves across
// a switch of threads.
// REQUIRES: the processor reports OSXSAVE.
unsigned SavedRegisterSets() {
#ifdef _MSC_VER
  return static_cast<unsigned>(_xgetbv(0));
#else
  // xgetbv spelt as its bytes, which every assembler takes, and without the
  // xsave target that the intrinsic needs.
  unsigned nLow = 0;
  unsigned nHigh = 0;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(nLow), "=d"(nHigh) : "c"(0));
  return nLow;
#endif
}
#endif

// What the processor tells of itself: the kernels it runs, kGeneric first,
// and whether it is an AMD processor, of which family.
struct SProcessor {
  std::vector<EKernel> kernels = {EKernel::kGeneric};
  bool bAmd = false;
  unsigned nFamily = 0;
};

// The processor is asked once, here and nowhere else, so that the tests can
// still run every kernel the processor has. It is asked with cpuid itself
// rather than the compiler's __builtin_cpu_supports, whose run-time symbol
// some toolchains (macOS, musl) lack, and each leaf only once: a virtual
// machine traps every cpuid, which then took 6.7 us on the 2-core AMD EPYC
// guest of the performance page. A vector kernel counts only where the
// system also saves its registers across a switch of threads (OSXSAVE, then
// XCR0's bits for them): otherwise a switch would lose them. AVX-512 needs
// the ZMM registers and the opmask registers saved besides the AVX ones.
// Every AArch64 processor has NEON.
SProcessor AskProcessor() {
  SProcessor processor;
#ifdef ROTFILE_X86
  constexpr unsigned kSse2 = 1U << 26;                         // Leaf 1, edx.
  constexpr unsigned kPopcnt = 1U << 23;                       // Leaf 1, ecx.
  constexpr unsigned kOsxsave = 1U << 27;                      // Leaf 1, ecx.
  constexpr unsigned kAvx = 1U << 28;                          // Leaf 1, ecx.
  constexpr unsigned kAvx2AndBmi1 = (1U << 5) | (1U << 3);     // Leaf 7, ebx.
  constexpr unsigned kAvx512FAndBw = (1U << 16) | (1U << 30);  // Leaf 7, ebx.
  constexpr unsigned kAvx512Vbmi2 = 1U << 6;                   // Leaf 7, ecx.
  constexpr unsigned kAvxState = 6;                            // XCR0 bits 1 and 2.
  constexpr unsigned kAvx512State = kAvxState | 0xe0;          // And bits 5 to 7.
  const SCpuid leaf0 = Cpuid(0);
  const SCpuid leaf1 = leaf0.nEax >= 1 ? Cpuid(1) : SCpuid{};
  const SCpuid leaf7 = leaf0.nEax >= 7 ? Cpuid(7) : SCpuid{};
  // "AuthenticAMD", in ebx, edx, ecx.
  processor.bAmd = leaf0.nEbx == 0x68747541 && leaf0.nEdx == 0x69746e65 && leaf0.nEcx == 0x444d4163;
  processor.nFamily = (leaf1.nEax >> 8) & 0xf;
  if (processor.nFamily == 0xf) processor.nFamily += (leaf1.nEax >> 20) & 0xff;
  const unsigned nSaved =
      (leaf1.nEcx & (kOsxsave | kAvx)) == (kOsxsave | kAvx) ? SavedRegisterSets() : 0;
  std::vector<EKernel>& kernels = processor.kernels;
  if ((leaf1.nEdx & kSse2) != 0) kernels.push_back(EKernel::kSse2);
  if ((nSaved & kAvxState) == kAvxState && (leaf1.nEcx & kPopcnt) != 0 &&
      (leaf7.nEbx & kAvx2AndBmi1) == kAvx2AndBmi1) {
    kernels.push_back(EKernel::kAvx2);
    if ((nSaved & kAvx512State) == kAvx512State && (leaf7.nEbx & kAvx512FAndBw) == kAvx512FAndBw &&
        (leaf7.nEcx & kAvx512Vbmi2) != 0) {
      kernels.push_back(EKernel::kAvx512);
    }
  }
#elif defined(__aarch64__)
  processor.kernels.push_back(EKernel::kNeon);
#endif
  return processor;
}

const SProcessor& Processor() {
  static const SProcessor processor = AskProcessor();
  return processor;
}

}  // namespace

std::span<const EKernel> SupportedKernels() { return Processor().kernels; }

// Zen 4, AMD's family 0x19 and its only one with AVX-512, runs each 512-bit
// step as two of 256 bits, so the AVX-512 pass does the AVX2 pass's work in
// half the steps at half their rate, and gains only where vpcompressb packs
// a block for less than AVX2's ramps. On a Zen 4 EPYC, while it still packed
// every block, it read LF text at 13.5 to 15.3 GB/s against AVX2's 18 to 20,
// and CR LF text at 13.1 to 13.7 against 11 to 13.5: AVX2 led LF text by 2.7
// to 6.5 GB/s and trailed CR LF text by at most 2.7. Plain stores for blocks
// without a CR can at best bring AVX-512's LF text to AVX2's speed. So Zen 4
// takes the AVX2 pass. No other processor with AVX-512 (Intel's, AMD's family
// 0x1a) has been measured; they keep the widest pass.
EKernel FastestKernelOf(std::span<const EKernel> kernels, bool bAmd, unsigned nFamily) {
  if (bAmd && nFamily == 0x19 && kernels.back() == EKernel::kAvx512) {
    return kernels[kernels.size() - 2];
  }
  return kernels.back();
}

EKernel FastestKernel() {
  static const EKernel eKernel =
      FastestKernelOf(Processor().kernels, Processor().bAmd, Processor().nFamily);
  return eKernel;
}

const char* KernelName(EKernel eKernel) {
  switch (eKernel) {
    case EKernel::kSse2:
      return "sse2";
    case EKernel::kAvx2:
      return "avx2";
    case EKernel::kAvx512:
      return "avx512";
    case EKernel::kNeon:
      return "neon";
    case EKernel::kGeneric:
      break;
  }
  return "generic";
}
