#ifndef ROTFILE_OS_PATH_H_
#define ROTFILE_OS_PATH_H_

#include <cstddef>
#include <string>
#include <string_view>

// Returns the position where the final component of strPath begins: just
// after its last directory separator, or 0 when it has none.
std::size_t FinalComponentStart(std::string_view strPath);

#ifndef _WIN32
// Returns the entry of /proc (Linux) through which the file open at nFd can
// be opened, linked or read again: "/proc/self/fd/N".
std::string ProcFdPath(int nFd);
#endif

#endif  // ROTFILE_OS_PATH_H_
