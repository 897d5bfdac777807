#include "cipher/kernel.h"

#include <vector>

namespace {

// The processor is asked once, here and nowhere else, so that the build stays
// portable and the tests can still run every kernel the processor has.
std::vector<EKernel> FindSupportedKernels() {
  std::vector<EKernel> kernels = {EKernel::kGeneric};
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("ssse3")) {
    kernels.push_back(EKernel::kSsse3);
    if (__builtin_cpu_supports("avx2")) kernels.push_back(EKernel::kAvx2);
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
