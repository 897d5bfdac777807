#include <unistd.h>

#include <cerrno>

#include "os/text_sink.h"

// The command writes its few lines with write itself rather than through
// std::cout and std::cerr: any std::ostream builds the C++ locale when the
// program starts, which on a 1 KiB file cost about 118,000 of the 297,000
// instructions of the whole process (callgrind, a program of one std::cout
// against one without). The output file is written through it too. A pipe,
// a terminal or a file system may take a text in parts, and a signal may cut
// a write short: the rest is written on. A write that takes nothing without
// an error would never end, and counts as an I/O error.
bool CDescriptorSink::Write(std::string_view strText) {
  while (!strText.empty()) {
    const ssize_t nWritten = write(m_nFd, strText.data(), strText.size());
    if (nWritten < 0 && errno == EINTR) continue;
    if (nWritten == 0) errno = EIO;
    if (nWritten <= 0) return false;
    strText.remove_prefix(static_cast<std::size_t>(nWritten));
  }
  return true;
}
