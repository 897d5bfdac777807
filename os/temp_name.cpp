#include "os/temp_name.h"

#include <algorithm>
#include <array>
#include <random>
#ifdef __APPLE__
#include <sys/random.h>
#elif !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kPrefix = ".rotfile-";
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 12;

// Random bytes for a name. libstdc++'s std::random_device asks the processor
// with cpuid, on first use, whether it has RDRAND, and a virtual machine traps
// cpuid: the device and its twelve draws took 27 us, getentropy 1.3 us, on
// the 2-core AMD EPYC guest of the performance page. The device remains for
// Windows, and for a system where getentropy fails.
std::array<unsigned char, kRandomLetters> RandomBytes() {
  std::array<unsigned char, kRandomLetters> bytes{};
#ifndef _WIN32
  if (getentropy(bytes.data(), bytes.size()) == 0) return bytes;
#endif
  static std::random_device device;
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
  return bytes;
}

}  // namespace

// Hidden, short and recognisable: a user who finds one left behind by a
// killed run knows what made it, and a long output name cannot push the
// temporary name over the file system's limit.
// The first few letters come up a little more often than the rest (256 is
// not a multiple of 36), which matters not: a name taken is tried again.
std::string MakeTempName() {
  std::string strTemp(kPrefix);
  for (const unsigned char nByte : RandomBytes()) strTemp += kLetters[nByte % kLetters.size()];
  return strTemp;
}

// Exactly the names made above, so that the clean-up of a folder never takes
// a file of the user's that merely starts alike.
bool IsTempName(std::string_view strName) {
  return strName.size() == kPrefix.size() + kRandomLetters && strName.starts_with(kPrefix) &&
         std::ranges::all_of(strName.substr(kPrefix.size()),
                             [](char ch) { return kLetters.find(ch) != std::string_view::npos; });
}
