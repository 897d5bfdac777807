#include <windows.h>

#include <set>
#include <string>

// Runs the command line that follows its first argument while doing what
// virus scanners and indexers do: it opens every .rotfile-* file in the
// working directory for reading, without sharing deletion, the moment it
// can, and keeps it open until the command ends. The file named by the first
// argument, an earlier output, is held the same way from the start until a
// temporary file has grown as big, and 50 ms more. Exits with the command's
// status.

namespace {

HANDLE OpenToRead(const wchar_t* pszName) {
  return CreateFileW(pszName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

HANDLE g_hOutput = nullptr;  // The earlier output, while it is held.
ULONGLONG g_nRelease = 0;    // When the output is let go; 0 until that is known.

// Opens the file pszName to keep it open, trying again at once while it is in
// use, so that a file closed for a moment is caught in that moment; lets the
// output go meanwhile when its time has come.
void Catch(const wchar_t* pszName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  while (OpenToRead(pszName) == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
    if (g_nRelease == 0 && GetFileAttributesExW(pszName, GetFileExInfoStandard, &data) &&
        data.nFileSizeLow == GetFileSize(g_hOutput, nullptr)) {
      g_nRelease = GetTickCount64() + 50;
    }
    if (g_nRelease != 0 && GetTickCount64() >= g_nRelease && g_hOutput != nullptr) {
      CloseHandle(g_hOutput);
      g_hOutput = nullptr;
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_hOutput = OpenToRead(argv[1]);
  std::wstring strCommand;
  for (int i = 2; i < argc; ++i) strCommand += L'"' + std::wstring(argv[i]) + L"\" ";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (g_hOutput == INVALID_HANDLE_VALUE ||
      !CreateProcessW(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 2;
  }
  std::set<std::wstring> seen;
  while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
    WIN32_FIND_DATAW found;
    HANDLE hFind = FindFirstFileW(L".rotfile-*", &found);
    for (BOOL bMore = hFind != INVALID_HANDLE_VALUE; bMore; bMore = FindNextFileW(hFind, &found)) {
      if (seen.insert(found.cFileName).second) Catch(found.cFileName);
    }
    if (hFind != INVALID_HANDLE_VALUE) FindClose(hFind);
  }
  DWORD nStatus = 2;
  GetExitCodeProcess(process.hProcess, &nStatus);
  return static_cast<int>(nStatus);
}
