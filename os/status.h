#ifndef ROTFILE_OS_STATUS_H_
#define ROTFILE_OS_STATUS_H_

#include <string>
#include <string_view>

// The outcome of a file operation: success, or the name of the file that
// failed and the reason in words. File operations report through this value;
// no exception leaves the file layer.
class CStatus {
 public:
  // Constructs a success.
  CStatus() = default;

  // Returns a failure of strFile whose reason is the system's text for nErrno.
  // This is the one place where an errno value becomes an error.
  static CStatus FromErrno(std::string_view strFile, int nErrno);

#ifdef _WIN32
  // Returns a failure of strFile whose reason is the system's text for the
  // Windows error code nError (a DWORD, such as GetLastError returns). This
  // is the one place where a Windows error code becomes an error.
  static CStatus FromWindowsError(std::string_view strFile, unsigned long nError);
#endif

  // Returns a failure of strFile with a reason in our own words.
  static CStatus Failure(std::string_view strFile, std::string_view strReason);

  // Returns this failure with the note that strTempFile, a temporary file
  // that could not be removed, is left behind: "(left NAME behind)" after the
  // reason, NAME quoted as QuotedName does. REQUIRES: this is a failure.
  CStatus LeftBehind(std::string_view strTempFile) const;

  // Returns true for a success.
  bool IsOk() const { return m_strReason.empty(); }

  // Returns the name of the file that failed; empty for a success.
  const std::string& File() const { return m_strFile; }

  // Returns "FILE: REASON" for a failure, with FILE quoted as QuotedName
  // does; empty for a success.
  std::string Message() const;

 private:
  std::string m_strFile;
  std::string m_strReason;
};

#endif  // ROTFILE_OS_STATUS_H_
