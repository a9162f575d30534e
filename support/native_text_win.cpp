// Windows: every name and text goes through the wide (UTF-16) calls.
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "support/native_text.h"

namespace support {

namespace {

// UTF-8 to UTF-16; false for text that is not UTF-8.
bool ToWide(const std::string& utf8, std::wstring& wide) {
  wide.clear();
  if (utf8.empty()) return true;
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return false;
  wide.resize(static_cast<std::size_t>(n));
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
  return true;
}

std::string ToUtf8(const wchar_t* wide) {
  const int length = static_cast<int>(std::wcslen(wide));
  if (length == 0) return std::string();
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring widePath, wideMode;
  if (!ToWide(path, widePath) || !ToWide(mode, wideMode)) {
    errno = EILSEQ;
    return nullptr;
  }
  if (std::strchr(mode, 'x')) {
    // Made new or not at all; the older C runtimes do not know "x".
    const int fd = ::_wopen(widePath.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wb");
    if (!file) ::_close(fd);
    return file;
  }
  return ::_wfopen(widePath.c_str(), wideMode.c_str());
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide)
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

std::string EnvironmentValue(const char* name) {
  std::wstring wideName;
  if (!ToWide(name, wideName)) return std::string();
  const wchar_t* value = ::_wgetenv(wideName.c_str());
  return value ? ToUtf8(value) : std::string();
}

void UseUtf8Console() {
  ::SetConsoleOutputCP(CP_UTF8);
}

}  // namespace support
