#ifndef ROTFILE_CIPHER_KERNEL_H_
#define ROTFILE_CIPHER_KERNEL_H_

#include <span>

// The instruction sets the byte loops of the conversion come in. All give the
// same bytes; they differ only in speed and in the processors that run them.
enum class EKernel {
  kGeneric,  // Plain C++, one byte at a time, as every processor runs it.
  kSse2,     // x86: 16 bytes a step.
  kAvx2,     // x86: 32 bytes a step.
  kAvx512,   // x86 with AVX-512 BW and VBMI2: 64 bytes a step.
  kNeon,     // AArch64: 16 bytes a step.
};

// Returns the kernels this processor can run, kGeneric first, widest last.
std::span<const EKernel> SupportedKernels();

// Returns the fastest of kernels, the kernels a processor runs as
// SupportedKernels lists them, on an AMD processor of cpuid family nFamily
// (the extended family added) or, for bAmd false, on any other.
EKernel FastestKernelOf(std::span<const EKernel> kernels, bool bAmd, unsigned nFamily);

// Returns the fastest kernel this processor can run: the one the tool uses.
EKernel FastestKernel();

// Returns the kernel's name: "generic", "sse2", "avx2", "avx512" or "neon".
const char* KernelName(EKernel eKernel);

#endif  // ROTFILE_CIPHER_KERNEL_H_
