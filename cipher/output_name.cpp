#include "cipher/output_name.h"

#include "os/path.h"

std::string OutputName(std::string_view strFile, std::string_view strExtension) {
  // Cutting at a '.' in a directory part would write the output elsewhere,
  // over an unrelated file ("old.dir/notes" into "old.qzv"). A '.' byte is
  // a whole character in UTF-8, so the cut never splits one.
  const std::size_t nComponent = FinalComponentStart(strFile);
  const std::size_t nDot = strFile.rfind('.');
  std::string_view strStem =
      nDot == std::string_view::npos || nDot < nComponent ? strFile : strFile.substr(0, nDot);
  std::string strOut(strStem);
  strOut += strExtension;
  return strOut;
}
