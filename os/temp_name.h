#ifndef ROTFILE_OS_TEMP_NAME_H_
#define ROTFILE_OS_TEMP_NAME_H_

#include <string>

// Returns a new random name for a temporary file, without a directory part:
// ".rotfile-" followed by twelve letters or digits.
std::string MakeTempName();

#endif  // ROTFILE_OS_TEMP_NAME_H_
