#include "docx/file_write.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "docx/errors.h"
#include "support/native_text.h"
#include "support/paths.h"

namespace docx {

namespace fs = std::filesystem;

namespace {

// Large enough that a piece goes in one or two writes.
constexpr std::size_t kChunk = std::size_t{1} << 20;

FileStepHook& Hook() {
  static FileStepHook hook;
  return hook;
}

int Ask(FileStep step, std::uint64_t written, std::size_t& length) {
  const FileStepHook& hook = Hook();
  return hook ? hook(step, written, length) : 0;
}

std::string TemporaryName() {
  static std::mt19937 numbers{std::random_device{}()};
  char name[kTemporaryNameLength + 1];
  std::snprintf(name, sizeof name, "~pv%08x.tmp", static_cast<unsigned>(numbers()));
  return name;
}

// Whether the folder rather than this one file refused: a full disk, a quota,
// a read-only file system, a folder that refuses new files or is gone.
bool FolderRefused(const std::error_code& error, FileStep step, const fs::path& folder) {
  if (error == std::errc::no_space_on_device || error == std::errc::read_only_file_system)
    return true;
#ifdef EDQUOT
  if (error.category() == std::generic_category() && error.value() == EDQUOT) return true;
#endif
  if (step == FileStep::Create &&
      (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
       error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory))
    return true;
  std::error_code ec;
  return !fs::is_directory(folder, ec);
}

[[noreturn]] void Fail(const std::string& path, const std::error_code& error, FileStep step,
                       const fs::path& folder) {
  const std::string text = "Cannot save " + path + ": " + error.message() + ".";
  if (FolderRefused(error, step, folder)) throw FolderError(text);
  throw Error(text);
}

std::error_code Errno(int value) {
  return std::error_code(value ? value : EIO, std::generic_category());
}

}  // namespace

void SetFileStepHook(FileStepHook hook) {
  Hook() = std::move(hook);
}

void PutFileInPlace(const std::string& path, const std::string& bytes) {
  const fs::path target = support::ToFsPath(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

  // Made new, never opened through a name that exists (a stranger's file or
  // a link under a name that happens to match).
  fs::path temp;
  std::FILE* file = nullptr;
  for (int attempt = 0; !file; ++attempt) {
    temp = folder / TemporaryName();
    std::size_t none = 0;
    if (const int injected = Ask(FileStep::Create, 0, none))
      Fail(path, Errno(injected), FileStep::Create, folder);
    file = support::OpenFile(support::FromFsPath(temp), "wbx");
    if (!file && (errno != EEXIST || attempt >= 100))
      Fail(path, Errno(errno), FileStep::Create, folder);
  }

  // Unbuffered: each chunk goes to the file in one write, straight from the
  // bytes, with no buffer of the stream's own to allocate and fill first.
  std::setvbuf(file, nullptr, _IONBF, 0);
  int error = 0;
  FileStep failed = FileStep::Write;
  for (std::uint64_t written = 0; !error && written < bytes.size();) {
    const std::size_t left = static_cast<std::size_t>(bytes.size() - written);
    std::size_t length = std::min(kChunk, left);
    const int injected = Ask(FileStep::Write, written, length);
    length = std::min(length, left);
    errno = 0;
    if (std::fwrite(bytes.data() + written, 1, length, file) != length) error = errno ? errno : EIO;
    written += length;
    if (!error) error = injected;
  }
  if (!error) {
    failed = FileStep::Flush;
    std::size_t none = 0;
    error = Ask(FileStep::Flush, bytes.size(), none);
    if (!error && std::fflush(file) != 0) error = errno ? errno : EIO;
  }
  if (std::fclose(file) != 0 && !error) error = errno ? errno : EIO;
  std::error_code ignored;
  if (error) {
    fs::remove(temp, ignored);
    Fail(path, Errno(error), failed, folder);
  }

  std::size_t none = 0;
  std::error_code ec;
  if (const int injected = Ask(FileStep::Rename, bytes.size(), none))
    ec = Errno(injected);
  else
    fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ignored);
    Fail(path, ec, FileStep::Rename, folder);
  }
}

}  // namespace docx
