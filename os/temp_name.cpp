#include "os/temp_name.h"

#include <algorithm>
#include <random>

namespace {

constexpr std::string_view kPrefix = ".rotfile-";
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 12;

}  // namespace

// Hidden, short and recognisable: a user who finds one left behind by a
// killed run knows what made it, and a long output name cannot push the
// temporary name over the file system's limit.
std::string MakeTempName() {
  static std::random_device device;
  std::string strTemp(kPrefix);
  for (std::size_t i = 0; i < kRandomLetters; ++i) strTemp += kLetters[device() % kLetters.size()];
  return strTemp;
}

// Exactly the names made above, so that the clean-up of a folder never takes
// a file of the user's that merely starts alike.
bool IsTempName(std::string_view strName) {
  return strName.size() == kPrefix.size() + kRandomLetters && strName.starts_with(kPrefix) &&
         std::ranges::all_of(strName.substr(kPrefix.size()),
                             [](char ch) { return kLetters.find(ch) != std::string_view::npos; });
}
