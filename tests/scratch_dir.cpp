#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;

CScratchDir::CScratchDir() : m_previous(fs::current_path()) {
  // create_directory tells whether it made the directory, so a name that is
  // already taken is simply followed by another; mkdtemp is POSIX only.
  std::random_device device;
  for (int nTry = 0; nTry < 100 && m_path.empty(); ++nTry) {
    const fs::path candidate =
        fs::temp_directory_path() / ("rotfile-test-" + std::to_string(device()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) m_path = candidate;
  }
  if (m_path.empty()) {
    ADD_FAILURE() << "cannot create a scratch directory";
    return;
  }
  fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::replace);
  fs::current_path(m_path);
}

CScratchDir::~CScratchDir() {
  fs::current_path(m_previous);
  std::error_code error;
  // Directories a test made read-only must be writable again to be removed.
  for (const auto& entry : fs::recursive_directory_iterator(m_path, error)) {
    if (entry.is_directory(error) && !entry.is_symlink(error)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
  fs::remove_all(m_path, error);
}

void WriteFile(const fs::path& file, const std::string& strContent) {
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream << strContent;
  if (!stream.flush()) ADD_FAILURE() << "cannot write " << file;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return "<unreadable>";
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string strName = fs::relative(entry.path(), dir).string();
    if (entry.is_symlink()) {
      entries[strName] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      entries[strName] = "<dir>";
    } else if (entry.is_regular_file()) {
      entries[strName] = ReadFile(entry.path());
    } else {
      entries[strName] = "<other>";
    }
  }
  return entries;
}
