#ifndef ROTFILE_OS_LEFT_TEMPS_POSIX_H_
#define ROTFILE_OS_LEFT_TEMPS_POSIX_H_

// A temporary file of rotfile's is locked by the run that makes it for as long
// as that run may still use it; one that nobody holds locked was left by a
// run that was killed, and the next run in its folder removes it.

// Locks the temporary file open at nFd as in use, until every descriptor of
// this open of it is closed, waiting while a clean-up holds it. Where the
// file system has no locks, nobody's clean-up can take it either.
// REQUIRES: nFd is this run's own new temporary file.
void LockTemp(int nFd);

// Locks, as LockTemp does, the temporary file open at nFd and named pszName
// in nDirFd; returns whether that name still leads to it: a clean-up that
// locked it first, before its maker could, has removed it.
bool LockNamedTemp(int nDirFd, const char* pszName, int nFd);

// Removes from the directory nDirFd every temporary file of rotfile's (named
// as MakeTempName names them) that is a regular file of the effective user
// and that no run holds locked. Does nothing where the directory cannot be
// listed, and says nothing of what it cannot remove.
void RemoveLeftTemps(int nDirFd);

#endif  // ROTFILE_OS_LEFT_TEMPS_POSIX_H_
