#ifndef ROTFILE_OS_QUOTED_NAME_H_
#define ROTFILE_OS_QUOTED_NAME_H_

#include <string>
#include <string_view>

// Returns strName as a message shows it: unchanged when every character
// prints and shows itself, neither end shows as blank space and neither '
// nor ": " is in it, '' when it is empty, else quoted as a POSIX shell's
// $'...' string, in which a control character or a byte that is no
// printable character appears as \t, \n, \r or a backslash and three octal
// digits, and ' and \ appear as \' and \\. Valid UTF-8 prints, but for the
// characters of kUnseenRanges in os/unicode_ranges.h (Unicode's
// default-ignorable and format characters, the line and paragraph
// separators, the noncharacters) and a combining mark (kCombiningRanges) at
// the start, each of whose bytes is written in octal; blank space
// (kWhiteSpaceRanges there, and U+2800) that prints shows as itself.
std::string QuotedName(std::string_view strName);

#endif  // ROTFILE_OS_QUOTED_NAME_H_
