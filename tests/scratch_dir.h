#ifndef ROTFILE_TESTS_SCRATCH_DIR_H_
#define ROTFILE_TESTS_SCRATCH_DIR_H_

#include <filesystem>
#include <map>
#include <string>

// A new empty directory that is the working directory while the object lives;
// it and everything in it are removed afterwards.
class CScratchDir {
 public:
  CScratchDir();
  ~CScratchDir();
  CScratchDir(const CScratchDir&) = delete;
  CScratchDir& operator=(const CScratchDir&) = delete;

  // Returns the directory's absolute path.
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
  std::filesystem::path m_previous;
};

// Writes strContent to strFile byte for byte, replacing it.
void WriteFile(const std::filesystem::path& file, const std::string& strContent);

// Returns the bytes of file, or "<unreadable>" when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);

// Returns every entry below dir: each relative name with its content ("<dir>"
// for a directory, "-> target" for a link, "<unreadable>" for a file that
// cannot be read, "<other>" for anything else).
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);

#endif  // ROTFILE_TESTS_SCRATCH_DIR_H_
