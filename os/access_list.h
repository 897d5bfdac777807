#ifndef ROTFILE_OS_ACCESS_LIST_H_
#define ROTFILE_OS_ACCESS_LIST_H_

#include <string>

// A file's access control list (ACL) as the system stores it: a value that
// is copied from one file to another unread. Empty means the file has none
// beyond its permission bits. Linux has them here; on other systems there is
// never one to copy.

// Stores in *pstrList the access control list of the file open at nFd (on
// Linux, a descriptor opened with O_PATH will do). Returns false when it
// cannot be told whether the file has one.
bool ReadAccessList(int nFd, std::string* pstrList);

// Gives the file open for writing at nFd the access control list strList,
// or none when it is empty. Returns false when that cannot be done.
bool WriteAccessList(int nFd, const std::string& strList);

#endif  // ROTFILE_OS_ACCESS_LIST_H_
