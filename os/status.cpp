#include "os/status.h"

#include <cerrno>
#include <cstring>

#include "os/quoted_name.h"

namespace {

// strerror_r comes in two kinds: the GNU one returns the text, which may lie
// outside the buffer; the POSIX one fills the buffer and returns 0.
[[maybe_unused]] const char* ErrorText(const char* pszText, const char* /*pszBuffer*/) {
  return pszText;
}
[[maybe_unused]] const char* ErrorText(int nResult, const char* pszBuffer) {
  return nResult == 0 ? pszBuffer : "";
}

}  // namespace

CStatus CStatus::FromErrno(std::string_view strFile, int nErrno) {
  // The system's own words, as the other tools a user knows give them. Read
  // errors are built on the conversion's second thread, so the thread-safe
  // form is used.
  char szBuffer[256] = "";
#ifdef _WIN32
  strerror_s(szBuffer, sizeof szBuffer, nErrno);
  const char* pszText = szBuffer;
#else
  const char* pszText = ErrorText(strerror_r(nErrno, szBuffer, sizeof szBuffer), szBuffer);
#endif
  CStatus status = Failure(strFile, pszText);
  status.m_bMissingFile = nErrno == ENOENT;
  return status;
}

CStatus CStatus::Failure(std::string_view strFile, std::string_view strReason) {
  CStatus status;
  status.m_strFile = strFile;
  // An empty reason would read as success, so it never stays empty.
  status.m_strReason = strReason.empty() ? std::string_view("unknown error") : strReason;
  return status;
}

CStatus CStatus::Warning(std::string_view strFile, std::string_view strWarning) {
  CStatus status = Failure(strFile, strWarning);
  status.m_bWarning = true;
  return status;
}

CStatus CStatus::WithNote(std::string_view strNote) const {
  CStatus status = *this;
  status.m_strReason.append(" (").append(strNote).append(")");
  return status;
}

// A file the user did not ask for must never stay unnoticed: the message
// names it, so that it can be found and removed.
CStatus CStatus::LeftBehind(std::string_view strTempFile) const {
  return WithNote("left " + QuotedName(strTempFile) + " behind");
}

std::string CStatus::Message() const {
  if (m_strReason.empty()) return {};
  return QuotedName(m_strFile) + (m_bWarning ? ": warning: " : ": ") + m_strReason;
}
