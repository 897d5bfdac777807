#include "cipher/cut_warning.h"

#include <cstdint>
#include <iterator>
#include <string>

namespace {

// Returns n with its digits in groups of three, as "147,687".
std::string GroupedDigits(std::uint64_t n) {
  char szDigits[32];  // The 20 digits of the largest, and 6 commas.
  char* pFirst = std::end(szDigits);
  for (int nDigits = 1;; ++nDigits) {
    *--pFirst = static_cast<char>('0' + n % 10);
    if ((n /= 10) == 0) break;
    if (nDigits % 3 == 0) *--pFirst = ',';
  }
  return {pFirst, std::end(szDigits)};
}

}  // namespace

// A binary or UTF-16 file meets a Ctrl-Z byte early, and whoever deletes it
// after converting it would lose all that follows: so the user is told
// where, counted from 1 as cmp counts, and how much. A tail that could not
// be read (a bad sector) takes nothing from the text, which is whole, but
// the count is short, and the user learns why.
CStatus CutWarning(std::string_view strInFile, const std::optional<STextCut>& cut) {
  if (!cut) return {};
  std::string strWarning = "the text ends at a Ctrl-Z at byte ";
  strWarning.append(GroupedDigits(cut->nAt + 1)).append("; ");
  if (cut->nAfter == 0) {
    strWarning.append("what follows it could not be read");
  } else {
    strWarning.append("the ")
        .append(GroupedDigits(cut->nAfter))
        .append(cut->nAfter == 1 ? " byte after it was" : " bytes after it were")
        .append(" not converted");
    if (!cut->strUnread.empty()) strWarning.append(", and what follows could not be read");
  }
  const CStatus warning = CStatus::Warning(strInFile, strWarning);
  return cut->strUnread.empty() ? warning : warning.WithNote(cut->strUnread);
}
