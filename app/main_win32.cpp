#include <windows.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/rotfile_main.h"
#include "os/console_output_win32.h"
#include "os/text_sink.h"
#include "os/wide_name_win32.h"

namespace {

// A std::ostream as the command's sink: a console's own stream, or std::cout
// or std::cerr, whose text mode ends each line in CR LF.
class COstreamSink final : public CTextSink {
 public:
  explicit COstreamSink(std::ostream& stream) : m_stream(stream) {}

  bool Write(std::string_view strText) override {
    m_stream << strText << std::flush;
    return !m_stream.fail();
  }

 private:
  std::ostream& m_stream;
};

}  // namespace

// The C runtime would hand main the arguments in the ANSI code page, losing
// every character it lacks; wmain gets them as Windows holds them, and they
// go on as UTF-8, the form the rest of the program takes.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args(static_cast<std::size_t>(argc));
  std::vector<const char*> argPointers(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    args[i] = ToUtf8(argv[i]);
    argPointers[i] = args[i].c_str();
  }

  // A console is written through the wide API; a file or pipe gets the UTF-8
  // bytes, in text mode, which ends each line in CR LF.
  CConsoleOutput consoleOut(STD_OUTPUT_HANDLE);
  CConsoleOutput consoleErr(STD_ERROR_HANDLE);
  std::ostream toConsoleOut(&consoleOut);
  std::ostream toConsoleErr(&consoleErr);
  COstreamSink out(consoleOut.IsConsole() ? toConsoleOut : std::cout);
  COstreamSink err(consoleErr.IsConsole() ? toConsoleErr : std::cerr);
  return RotfileMain(argc, argPointers.data(), out, err);
}
