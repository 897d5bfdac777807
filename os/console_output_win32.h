#ifndef ROTFILE_OS_CONSOLE_OUTPUT_WIN32_H_
#define ROTFILE_OS_CONSOLE_OUTPUT_WIN32_H_

#include <streambuf>
#include <string>

// A stream buffer that shows UTF-8 text on the console behind a standard
// handle, through the wide console API, with CR LF line ends. It writes at
// each flush. REQUIRES: flushes fall between characters, as std::endl's do.
class CConsoleOutput : public std::streambuf {
 public:
  // Takes the standard handle nStdHandle (STD_OUTPUT_HANDLE or
  // STD_ERROR_HANDLE), which it does not close.
  explicit CConsoleOutput(unsigned long nStdHandle);

  // Returns true when the handle is a console; else nothing can be written.
  bool IsConsole() const;

 protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* pData, std::streamsize nSize) override;
  int sync() override;

 private:
  void* m_hConsole;
  std::string m_strPending;
};

#endif  // ROTFILE_OS_CONSOLE_OUTPUT_WIN32_H_
