// Shell commands and a child without root, the POSIX way.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "testing.h"

namespace testing_support {

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string RunUnprivileged(const std::function<std::string()>& body) {
  int ends[2];
  if (::pipe(ends) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    ::close(ends[0]);
    std::string out = "could not give up root";
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) out = body();
    const ssize_t written = ::write(ends[1], out.data(), out.size());
    ::_exit(written == static_cast<ssize_t>(out.size()) ? 0 : 1);
  }
  ::close(ends[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return text;
}

CommandResult RunCommand(const std::string& commandLine) {
  CommandResult result;
  FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool HavePython() {
  static const bool have = RunCommand("command -v python3").exitCode == 0;
  return have;
}

}  // namespace testing_support
