#include "os/path.h"

std::size_t FinalComponentStart(std::string_view strPath) {
  std::size_t nSlash = strPath.rfind('/');
  return nSlash == std::string_view::npos ? 0 : nSlash + 1;
}

std::string ProcFdPath(int nFd) { return "/proc/self/fd/" + std::to_string(nFd); }
