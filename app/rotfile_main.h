#ifndef ROTFILE_APP_ROTFILE_MAIN_H_
#define ROTFILE_APP_ROTFILE_MAIN_H_

#include "os/text_sink.h"

// Runs the rotfile command with the argument count and vector main received
// (on Windows, the UTF-16 command line made UTF-8), writing the usage text to
// out and failures to err; returns the exit status.
// With no argument it prints the usage text; with one it decrypts a file
// whose name ends in ".qzv" (any case) into "._zv" and encrypts any other
// file into ".qzv"; with more it does nothing. Exit status 0 on success, a
// warning written to err included, and 1 on failure.
int RotfileMain(int argc, const char* const* argv, CTextSink& out, CTextSink& err);

#endif  // ROTFILE_APP_ROTFILE_MAIN_H_
