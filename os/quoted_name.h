#ifndef ROTFILE_OS_QUOTED_NAME_H_
#define ROTFILE_OS_QUOTED_NAME_H_

#include <string>
#include <string_view>

// Returns strName as a message shows it: unchanged when every character
// prints and shows itself and neither end is white space, '' when it is
// empty, else quoted as a POSIX shell's $'...' string, in which a control
// character or a byte that is no printable character appears as \t, \n, \r
// or a backslash and three octal digits, and ' and \ appear as \' and \\.
// Valid UTF-8 prints, but for the characters of kUnseenRanges in
// os/unicode_ranges.h (Unicode's default-ignorable and format characters,
// the line and paragraph separators), each of whose bytes is written in
// octal; white space (kWhiteSpaceRanges there) that prints shows as itself.
std::string QuotedName(std::string_view strName);

#endif  // ROTFILE_OS_QUOTED_NAME_H_
