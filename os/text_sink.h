#ifndef ROTFILE_OS_TEXT_SINK_H_
#define ROTFILE_OS_TEXT_SINK_H_

#include <string_view>

// Where the command writes a text for its user: a standard stream of the
// process, or, in the tests, a string.
class CTextSink {
 public:
  virtual ~CTextSink() = default;

  // Writes strText whole; returns false when some of it could not be written.
  virtual bool Write(std::string_view strText) = 0;
};

#ifndef _WIN32
// An open file descriptor, written straight through, with no buffer between:
// the standard streams, and the output file.
class CDescriptorSink final : public CTextSink {
 public:
  // The sink writes to nFd, which stays open and the caller's.
  explicit CDescriptorSink(int nFd) : m_nFd(nFd) {}

  // Writes strText whole; returns false, with errno set, when it could not.
  bool Write(std::string_view strText) override;

 private:
  int m_nFd;
};
#endif

#endif  // ROTFILE_OS_TEXT_SINK_H_
