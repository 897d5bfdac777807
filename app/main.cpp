#include <unistd.h>

#include "app/rotfile_main.h"
#include "os/text_sink.h"

int main(int argc, char** argv) {
  CDescriptorSink out(STDOUT_FILENO);
  CDescriptorSink err(STDERR_FILENO);
  return RotfileMain(argc, argv, out, err);
}
