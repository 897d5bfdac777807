#ifndef ROTFILE_OS_TEMP_NAME_H_
#define ROTFILE_OS_TEMP_NAME_H_

#include <string>

// Returns a new random name for a temporary file in the directory of strFile:
// that directory part followed by ".rotfile-" and twelve letters or digits.
std::string MakeTempName(const std::string& strFile);

#endif  // ROTFILE_OS_TEMP_NAME_H_
