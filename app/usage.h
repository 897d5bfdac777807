#ifndef ROTFILE_APP_USAGE_H_
#define ROTFILE_APP_USAGE_H_

#include <ostream>

// Writes the usage text, eleven lines each ended by std::endl, to out.
void WriteUsage(std::ostream& out);

#endif  // ROTFILE_APP_USAGE_H_
