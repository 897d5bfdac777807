#include "os/console_output_win32.h"

#include <windows.h>

CConsoleOutput::CConsoleOutput(unsigned long nStdHandle) : m_hConsole(GetStdHandle(nStdHandle)) {}

bool CConsoleOutput::IsConsole() const {
  DWORD nMode = 0;
  return GetConsoleMode(m_hConsole, &nMode) != 0;
}

CConsoleOutput::int_type CConsoleOutput::overflow(int_type ch) {
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    m_strPending += traits_type::to_char_type(ch);
  }
  return traits_type::not_eof(ch);
}

std::streamsize CConsoleOutput::xsputn(const char* pData, std::streamsize nSize) {
  m_strPending.append(pData, static_cast<std::size_t>(nSize));
  return nSize;
}

// A console shows characters, not bytes: narrow text written to it is read in
// its code page, which holds few of the characters a name can have. The CR
// before each LF is what text mode writes everywhere else.
int CConsoleOutput::sync() {
  const int nBytes = static_cast<int>(m_strPending.size());
  // UTF-16 never takes more code units than UTF-8 takes bytes.
  std::wstring strWide(m_strPending.size(), L'\0');
  strWide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, m_strPending.data(), nBytes, strWide.data(), nBytes)));
  m_strPending.clear();
  std::wstring strLines;
  for (const wchar_t ch : strWide) {
    if (ch == L'\n') strLines += L'\r';
    strLines += ch;
  }
  if (strLines.empty()) return 0;
  DWORD nWritten = 0;
  const BOOL bWritten = WriteConsoleW(m_hConsole, strLines.data(),
                                      static_cast<DWORD>(strLines.size()), &nWritten, nullptr);
  return bWritten && nWritten == strLines.size() ? 0 : -1;
}
