#include "os/status.h"

#include <cstring>

CStatus CStatus::FromErrno(std::string_view strFile, int nErrno) {
  // strerror is not thread-safe, but the tool is single-threaded; it also
  // gives the same wording as the other tools a user knows.
  return Failure(strFile, std::strerror(nErrno));
}

CStatus CStatus::Failure(std::string_view strFile, std::string_view strReason) {
  CStatus status;
  status.m_strFile = strFile;
  // An empty reason would read as success, so it never stays empty.
  status.m_strReason = strReason.empty() ? std::string_view("unknown error") : strReason;
  return status;
}

std::string CStatus::Message() const {
  if (IsOk()) return {};
  return m_strFile + ": " + m_strReason;
}
