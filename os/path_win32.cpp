#include "os/path.h"

namespace {

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

}  // namespace

// Names are UTF-8, in which every byte of a character beyond ASCII is 128 or
// more: a '\' or '/' byte is always the separator itself.
std::size_t FinalComponentStart(std::string_view strPath) {
  // A leading drive ("C:notes") belongs to the directory part: the name
  // means "notes" in the current directory of drive C.
  const std::size_t nDrive =
      strPath.size() >= 2 && strPath[1] == ':' && IsAsciiLetter(strPath[0]) ? 2 : 0;
  const std::size_t nSeparator = strPath.find_last_of("\\/");
  return nSeparator == std::string_view::npos ? nDrive : nSeparator + 1;
}
