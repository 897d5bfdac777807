#include "os/file_id_win32.h"

#include <windows.h>

#include <cstdint>

// The volume's serial number and the file's index on it are what NTFS and
// FAT keep the same for every name of one file, hard links included.
SFileId FileIdOf(void* hFile) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(hFile, &info)) return {};
  return {info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}
