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

// The processor is asked once, here and nowhere else, so that the tests can
// still run every kernel the processor has. It is asked with cpuid itself
// rather than the compiler's __builtin_cpu_supports, whose run-time symbol
// some toolchains (macOS, musl) lack. AVX2 counts only where the system
// saves the 256-bit registers (OSXSAVE, then XCR0's SSE and AVX bits):
// otherwise a thread switch would lose them.
std::vector<EKernel> FindSupportedKernels() {
  std::vector<EKernel> kernels = {EKernel::kGeneric};
#ifdef ROTFILE_X86
  constexpr unsigned kSsse3 = 1U << 9;     // Leaf 1, ecx.
  constexpr unsigned kOsxsave = 1U << 27;  // Leaf 1, ecx.
  constexpr unsigned kAvx = 1U << 28;      // Leaf 1, ecx.
  constexpr unsigned kAvx2 = 1U << 5;      // Leaf 7, ebx.
  constexpr unsigned kSseAndAvxState = 6;  // XCR0 bits 1 and 2.
  const unsigned nMaxLeaf = Cpuid(0).nEax;
  const unsigned nFeatures = nMaxLeaf >= 1 ? Cpuid(1).nEcx : 0;
  if ((nFeatures & kSsse3) != 0) {
    kernels.push_back(EKernel::kSsse3);
    const bool bAvxSaved = (nFeatures & (kOsxsave | kAvx)) == (kOsxsave | kAvx) &&
                           (SavedRegisterSets() & kSseAndAvxState) == kSseAndAvxState;
    if (bAvxSaved && nMaxLeaf >= 7 && (Cpuid(7).nEbx & kAvx2) != 0) {
      kernels.push_back(EKernel::kAvx2);
    }
  }
#endif
  return kernels;
}

}  // namespace

std::span<const EKernel> SupportedKernels() {
  static const std::vector<EKernel> kernels = FindSupportedKernels();
  return kernels;
}

EKernel FastestKernel() { return SupportedKernels().back(); }

const char* KernelName(EKernel eKernel) {
  switch (eKernel) {
    case EKernel::kSsse3:
      return "ssse3";
    case EKernel::kAvx2:
      return "avx2";
    case EKernel::kGeneric:
      break;
  }
  return "generic";
}
