#include "app/usage.h"

void WriteUsage(std::ostream& out) {
  static constexpr const char* kLines[] = {
      "",
      "Options:",
      "----------------------------------",
      "",
      "Encrypt an ascii text file to .qzv file",
      "",
      "   rotfile <filename>",
      "",
      "Decrypt an .qzv file to ._zv ascii text file",
      "",
      "   rotfile <filename.qzv>",
  };
  for (const char* pszLine : kLines) out << pszLine << std::endl;
}
