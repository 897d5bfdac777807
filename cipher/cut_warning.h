#ifndef ROTFILE_CIPHER_CUT_WARNING_H_
#define ROTFILE_CIPHER_CUT_WARNING_H_

#include <optional>
#include <string_view>

#include "cipher/text_reader.h"
#include "os/status.h"

// Returns the warning that the text of strInFile was cut where cut says, or a
// plain success when it was not: where the text ends, counted from 1, how
// many bytes after it were not converted, and, when the rest could not be
// read, that and why; numbers of four digits or more are grouped by commas.
CStatus CutWarning(std::string_view strInFile, const std::optional<STextCut>& cut);

#endif  // ROTFILE_CIPHER_CUT_WARNING_H_
