#ifndef ROTFILE_OS_FILE_ID_WIN32_H_
#define ROTFILE_OS_FILE_ID_WIN32_H_

#include "os/input_file.h"

// Returns the id of the file open as hFile (a HANDLE), or a zero id, which
// no file has, when the system cannot tell it.
SFileId FileIdOf(void* hFile);

#endif  // ROTFILE_OS_FILE_ID_WIN32_H_
