#include "os/temp_name.h"

#include <random>

// Hidden, short and recognisable: a user who finds one left behind by a
// killed run knows what made it, and a long output name cannot push the
// temporary name over the file system's limit.
std::string MakeTempName() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::random_device device;
  std::string strTemp = ".rotfile-";
  for (int i = 0; i < 12; ++i) strTemp += kLetters[device() % (sizeof kLetters - 1)];
  return strTemp;
}
