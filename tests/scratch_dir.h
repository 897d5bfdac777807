#ifndef ROTFILE_TESTS_SCRATCH_DIR_H_
#define ROTFILE_TESTS_SCRATCH_DIR_H_

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>

// A new empty directory that is the working directory while the object lives;
// it and everything in it are removed afterwards.
class CScratchDir {
 public:
  CScratchDir() : m_previous(std::filesystem::current_path()) {
    // create_directory tells whether it made the directory, so a name that is
    // already taken is simply followed by another; mkdtemp is POSIX only.
    std::random_device device;
    while (m_path.empty()) {
      auto candidate =
          std::filesystem::temp_directory_path() / ("rotfile-" + std::to_string(device()));
      if (std::filesystem::create_directory(candidate)) m_path = candidate;
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
    std::filesystem::current_path(m_path);
  }

  ~CScratchDir() {
    // Emptied from inside, by relative names: a tree deeper than the longest
    // absolute path cannot be removed by absolute ones.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
      std::filesystem::remove_all(entry.path(), error);
    }
    std::filesystem::current_path(m_previous);
    std::filesystem::remove_all(m_path, error);
  }
  CScratchDir(const CScratchDir&) = delete;
  CScratchDir& operator=(const CScratchDir&) = delete;

 private:
  std::filesystem::path m_path;
  std::filesystem::path m_previous;
};

// Returns the path named by the UTF-8 text strName, and back: a narrow path
// is in the ANSI code page on Windows, which lacks most characters.
inline std::filesystem::path Utf8Path(std::string_view strName) {
  return std::u8string(strName.begin(), strName.end());
}
inline std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string strName = path.u8string();
  return {strName.begin(), strName.end()};
}

// Writes strContent to file byte for byte, replacing it.
inline void WriteFile(const std::filesystem::path& file, const std::string& strContent) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << strContent;
}

// Returns the bytes of file, or "<unreadable>" when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return "<unreadable>";
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// Returns every entry below the working directory: each relative name with
// its content ("-> " and the target for a link, "<other>" for anything but a
// regular file). Names stay relative, so trees of any depth can be read.
inline std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(".")) {
    entries[Utf8Name(entry.path().lexically_relative("."))] =
        entry.is_symlink()        ? "-> " + std::filesystem::read_symlink(entry.path()).string()
        : entry.is_regular_file() ? ReadFile(entry.path())
                                  : "<other>";
  }
  return entries;
}

#endif  // ROTFILE_TESTS_SCRATCH_DIR_H_
