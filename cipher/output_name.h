#ifndef ROTFILE_CIPHER_OUTPUT_NAME_H_
#define ROTFILE_CIPHER_OUTPUT_NAME_H_

#include <string>
#include <string_view>

// Returns strFile with the extension of its final path component replaced by
// strExtension: from the last '.' of that component on, or appended when the
// component has no '.'. A '.' in a directory part is never a cut.
std::string OutputName(std::string_view strFile, std::string_view strExtension);

#endif  // ROTFILE_CIPHER_OUTPUT_NAME_H_
