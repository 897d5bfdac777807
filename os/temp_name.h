#ifndef ROTFILE_OS_TEMP_NAME_H_
#define ROTFILE_OS_TEMP_NAME_H_

#include <string>
#include <string_view>

// Returns a new random name for a temporary file, without a directory part:
// ".rotfile-" followed by twelve letters or digits.
std::string MakeTempName();

// Returns whether strName is a name that MakeTempName could have returned.
bool IsTempName(std::string_view strName);

#endif  // ROTFILE_OS_TEMP_NAME_H_
