#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cipher/text_cipher.h"
#include "scratch_dir.h"
#include "text_reference.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kGiB = std::uintmax_t{1} << 30;

// Bytes placed in a sparse file of zeros, and where.
struct SPlant {
  std::uintmax_t nAt;
  std::string strBytes;
};

// Offsets past 2 GiB and 4 GiB overflow a signed and an unsigned 32-bit
// count; both marks fall on a chunk edge. The output is checked as it
// streams in, so the test needs little memory, only room for the output.
TEST(LargeFileTest, ConvertsAFileOfFiveGibibytesExactly) {
  const SPlant kPlants[] = {
      {2 * kGiB - 1, "\r\n"},   {2 * kGiB + 5, "a\r\nb"}, {4 * kGiB - 1, "\rN"},
      {4 * kGiB + 7, "\r\r\n"}, {5 * kGiB - 1, "z"},
  };
  CScratchDir dir;
  WriteFile("big.txt", "");
  std::error_code error;
  fs::resize_file("big.txt", 5 * kGiB, error);
  if (error) GTEST_SKIP() << "the file system cannot hold a sparse 5 GiB file: " << error.message();
  {
    std::fstream file("big.txt", std::ios::binary | std::ios::in | std::ios::out);
    for (const SPlant& p : kPlants) file.seekp(p.nAt).write(p.strBytes.data(), p.strBytes.size());
    ASSERT_TRUE(file.flush());
  }
#ifndef _WIN32
  // A date past 2038 does not fit a 32-bit time_t either.
  const timespec after2038[2] = {{std::int64_t{1} << 32, 0}, {std::int64_t{1} << 32, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, "big.txt", after2038, 0), 0);
#endif
  const CStatus status = CTextCipher().Encrypt("big.txt");
  ASSERT_TRUE(status.IsOk()) << status.Message();

  // Each pair before a plant has dropped its CR; the zeros stay zeros.
  std::vector<SPlant> expected;
  std::uintmax_t nDropped = 0;
  for (const SPlant& p : kPlants) {
    const std::string strText = CTextCipher().ConvertText(ReadAsText(p.strBytes));
    expected.push_back({p.nAt - nDropped, strText});
    nDropped += p.strBytes.size() - strText.size();
  }
  // Each planted byte is checked and cleared, then the block must be all
  // zeros: an OR over it, as memcmp is far slower under qemu.
  std::ifstream output("big.qzv", std::ios::binary);
  std::string strBlock(1 << 20, '\0');
  std::uintmax_t nAt = 0;
  while (output.read(strBlock.data(), strBlock.size()), output.gcount() > 0) {
    const auto nGot = static_cast<std::size_t>(output.gcount());
    for (const SPlant& p : expected) {
      for (std::size_t i = 0; i < p.strBytes.size(); ++i) {
        if (p.nAt + i < nAt || p.nAt + i >= nAt + nGot) continue;
        EXPECT_EQ(std::exchange(strBlock[p.nAt + i - nAt], '\0'), p.strBytes[i]) << p.nAt + i;
      }
    }
    char chAny = '\0';
    for (std::size_t i = 0; i < nGot; ++i) chAny |= strBlock[i];
    ASSERT_EQ(chAny, '\0') << "a byte that should be zero in the MiB at " << nAt;
    nAt += nGot;
  }
  EXPECT_EQ(nAt, 5 * kGiB - nDropped);
}

}  // namespace
