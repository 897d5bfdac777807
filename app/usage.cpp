#include "app/usage.h"

const char kUsageText[] =
    "\n"
    "Options:\n"
    "----------------------------------\n"
    "\n"
    "Encrypt an ascii text file to .qzv file\n"
    "\n"
    "   rotfile <filename>\n"
    "\n"
    "Decrypt an .qzv file to ._zv ascii text file\n"
    "\n"
    "   rotfile <filename.qzv>\n";
