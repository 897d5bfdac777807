#ifndef ROTFILE_CIPHER_KERNEL_H_
#define ROTFILE_CIPHER_KERNEL_H_

#include <span>

// The instruction sets the byte loops of the conversion come in. All give the
// same bytes; they differ only in speed and in the processors that run them.
enum class EKernel {
  kGeneric,  // Plain C++, as every processor runs it.
  kSsse3,    // CR LF folded 16 bytes at a time with SSSE3's byte shuffle.
  kAvx2,     // As kSsse3, with the rotation in AVX2's 32-byte vectors.
};

// Returns the kernels this processor can run, kGeneric first, fastest last.
std::span<const EKernel> SupportedKernels();

// Returns the fastest kernel this processor can run: the one the tool uses.
EKernel FastestKernel();

// Returns the kernel's name: "generic", "ssse3" or "avx2".
const char* KernelName(EKernel eKernel);

#endif  // ROTFILE_CIPHER_KERNEL_H_
