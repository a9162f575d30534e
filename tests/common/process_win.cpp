// Shell commands the Windows way (cmd.exe), and the POSIX calls the tests use.
#include <array>
#include <cstdio>
#include <cstdlib>

#include "support/paths.h"
#include "testing.h"

namespace testing_support {

std::string Quote(const std::string& text) {
  // cmd.exe: a double-quoted word; a double quote cannot be part of a name.
  return "\"" + text + "\"";
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  // cmd /c takes the outer quotes away: the command keeps its own.
  const std::wstring command = support::ToFsPath("\"" + commandLine + " 2>&1\"").wstring();
  FILE* pipe = ::_wpopen(command.c_str(), L"rb");
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), n);
  result.exitCode = ::_pclose(pipe);
  // Lines as the program meant them, without the console's carriage returns.
  std::string text;
  for (std::size_t i = 0; i < result.output.size(); ++i)
    if (result.output[i] != '\r' || i + 1 >= result.output.size() || result.output[i + 1] != '\n')
      text += result.output[i];
  result.output = std::move(text);
  return result;
}

bool HavePython() {
  return false;
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
  return "could not give up root";
}

}  // namespace testing_support

int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name)) return 0;
  return ::_putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) {
  return ::_putenv_s(name, "") == 0 ? 0 : -1;
}
