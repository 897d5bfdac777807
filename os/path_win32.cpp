#include <windows.h>

#include "os/path.h"

namespace {

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

}  // namespace

std::size_t FinalComponentStart(std::string_view strPath) {
  // A leading drive ("C:notes") belongs to the directory part: the name
  // means "notes" in the current directory of drive C.
  std::size_t nStart =
      strPath.size() >= 2 && strPath[1] == ':' && IsAsciiLetter(strPath[0]) ? 2 : 0;
  for (std::size_t i = nStart; i < strPath.size(); ++i) {
    // In a double-byte code page (Japanese, Chinese, Korean) the second byte
    // of a character can be 0x5C, the code of '\', without being one.
    if (IsDBCSLeadByte(static_cast<BYTE>(strPath[i]))) {
      ++i;
    } else if (strPath[i] == '\\' || strPath[i] == '/') {
      nStart = i + 1;
    }
  }
  return nStart;
}
