#ifndef ROTFILE_OS_PATH_H_
#define ROTFILE_OS_PATH_H_

#include <cstddef>
#include <string_view>

// Returns the position where the final component of strPath begins: just
// after its last directory separator, or 0 when it has none.
std::size_t FinalComponentStart(std::string_view strPath);

#endif  // ROTFILE_OS_PATH_H_
