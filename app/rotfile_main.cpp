#include "app/rotfile_main.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "app/usage.h"
#include "cipher/text_cipher.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

char LowerAscii(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Only the last four characters decide, compared without regard to letter
// case; a shorter name is compared whole and so never matches. In UTF-8 no
// byte of a longer character is ASCII, so four bytes that spell the extension
// are four whole characters.
bool NamesEncryptedFile(std::string_view strFile) {
  const std::string_view strExtension = kEncryptedExtension;
  if (strFile.size() < strExtension.size()) return false;
  return std::ranges::equal(strFile.substr(strFile.size() - strExtension.size()), strExtension,
                            [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// Whether strFile reads as an option to a user who expects one: it begins
// with '-', or, on Windows, with '/'.
bool LooksLikeOption(std::string_view strFile) {
#ifdef _WIN32
  if (strFile.starts_with('/')) return true;
#endif
  return strFile.starts_with('-');
}

// Whether strFile, which an open found missing, is there all the same: a
// symbolic link that leads nowhere.
bool IsDanglingLink(std::string_view strFile) {
  std::error_code error;
  const std::filesystem::path path = std::u8string(strFile.begin(), strFile.end());
  return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

}  // namespace

int RotfileMain(int argc, const char* const* argv, CTextSink& out, CTextSink& err) {
  CTextCipher cipher;

  if (argc == 1) {
    // A usage text that never arrived (stdout closed or full) is a failure.
    if (!out.Write(kUsageText)) {
      err.Write("rotfile: standard output: write error\n");
      return kExitFailure;
    }
    return kExitSuccess;
  }
  // More than one argument is ignored as a whole, without a word.
  if (argc != 2) return kExitSuccess;

  const char* const lpszFile = argv[1];
  CStatus status;
  try {
    status = NamesEncryptedFile(lpszFile) ? cipher.Decrypt(lpszFile) : cipher.Encrypt(lpszFile);
  } catch (const std::bad_alloc&) {
    // Running out of memory, on either thread, is reported like any other
    // failure; the unwinding has freed what was allocated and removed the
    // temporary file by now.
    status = CStatus::Failure(lpszFile, "out of memory");
  } catch (const std::system_error& error) {
    // A mutex or condition variable the system could not provide.
    status = CStatus::Failure(lpszFile, error.code().message());
  }
  // A file really named "--help" is converted like any other; only when the
  // name names nothing at all does the user learn that rotfile has no
  // options: a link of that name that leads nowhere was made on purpose.
  if (status.IsMissingFile() && status.File() == lpszFile && LooksLikeOption(lpszFile) &&
      !IsDanglingLink(lpszFile)) {
    status = status.WithNote("rotfile " ROTFILE_VERSION
                             " takes no options; run it without arguments for its usage");
  }
  if (const std::string strMessage = status.Message(); !strMessage.empty()) {
    err.Write("rotfile: " + strMessage + "\n");
  }
  return status.IsOk() ? kExitSuccess : kExitFailure;
}
