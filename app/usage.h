#ifndef ROTFILE_APP_USAGE_H_
#define ROTFILE_APP_USAGE_H_

// The usage text, eleven lines each ended by a line feed.
extern const char kUsageText[];

#endif  // ROTFILE_APP_USAGE_H_
