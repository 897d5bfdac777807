#ifndef ROTFILE_OS_STATUS_H_
#define ROTFILE_OS_STATUS_H_

#include <string>
#include <string_view>

// The outcome of a file operation: success, or the name of the file that
// failed and the reason in words; or a success with a warning, which names
// the file and says what the user should know of it. File operations report
// through this value; no exception leaves the file layer.
class CStatus {
 public:
  // Constructs a success.
  CStatus() = default;

  // Returns a failure of strFile whose reason is the system's text for nErrno.
  // This is the one place where an errno value becomes an error; ENOENT makes
  // a failure that IsMissingFile tells.
  static CStatus FromErrno(std::string_view strFile, int nErrno);

#ifdef _WIN32
  // Returns a failure of strFile whose reason is the system's text for the
  // Windows error code nError (a DWORD, such as GetLastError returns). This
  // is the one place where a Windows error code becomes an error; a file or
  // path not found, or a name Windows cannot take, makes a failure that
  // IsMissingFile tells.
  static CStatus FromWindowsError(std::string_view strFile, unsigned long nError);
#endif

  // Returns a failure of strFile with a reason in our own words.
  static CStatus Failure(std::string_view strFile, std::string_view strReason);

  // Returns a success of strFile with the warning strWarning.
  static CStatus Warning(std::string_view strFile, std::string_view strWarning);

  // Returns this failure or warning with strNote in parentheses after its
  // reason. REQUIRES: this is no plain success.
  CStatus WithNote(std::string_view strNote) const;

  // Returns this failure with the note that strTempFile, a temporary file
  // that could not be removed, is left behind: "(left NAME behind)" after the
  // reason, NAME quoted as QuotedName does. REQUIRES: this is a failure.
  CStatus LeftBehind(std::string_view strTempFile) const;

  // Returns true for a success, with a warning or without.
  bool IsOk() const { return m_strReason.empty() || m_bWarning; }

  // Returns true for a failure because File() names no file.
  bool IsMissingFile() const { return m_bMissingFile; }

  // Returns the reason of a failure, or the warning; empty for a plain success.
  const std::string& Reason() const { return m_strReason; }

  // Returns the name of the file that failed; empty for a success.
  const std::string& File() const { return m_strFile; }

  // Returns "FILE: REASON" for a failure and "FILE: warning: WARNING" for a
  // warning, with FILE quoted as QuotedName does; empty for a plain success.
  std::string Message() const;

 private:
  std::string m_strFile;
  std::string m_strReason;  // The reason of a failure, or the warning.
  bool m_bWarning = false;
  bool m_bMissingFile = false;
};

#endif  // ROTFILE_OS_STATUS_H_
