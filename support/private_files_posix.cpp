#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "support/private_files.h"

namespace support {

namespace {

std::system_error Failure(const std::string& what) {
  return std::system_error(errno, std::generic_category(), what);
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string MakePrivateFolder(const std::string& parent, const std::string& prefix) {
  std::string pattern = parent;
  if (!pattern.empty() && pattern.back() != '/') pattern += '/';
  pattern += prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp makes the folder with the mode 0700 under a name that was free.
  if (!::mkdtemp(buffer.data())) throw Failure("Cannot make a private folder in " + parent);
  return std::string(buffer.data());
}

void CopyToNewFile(const std::string& from, const std::string& to) {
  Descriptor in, out;
  // Without waiting: opening a pipe waits for a writer, maybe for ever.
  in.fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in.fd < 0) throw Failure("Cannot read " + from);
  struct stat info {};
  if (::fstat(in.fd, &info) != 0) throw Failure("Cannot read " + from);
  if (!S_ISREG(info.st_mode))
    throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                            "Cannot read " + from + ", a pipe or a device, not a file");
  out.fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out.fd < 0) throw Failure("Cannot make the new file " + to);
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = ::read(in.fd, buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    ssize_t done = got < 0 ? -1 : 0;
    while (done >= 0 && done < got) {
      const ssize_t put =
          ::write(out.fd, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      done = put < 0 ? -1 : done + put;
    }
    if (done < 0) {
      const auto error = Failure("Cannot copy " + from + " to " + to);
      ::unlink(to.c_str());
      throw error;
    }
  }
  if (::close(out.fd) != 0) {
    out.fd = -1;
    const auto error = Failure("Cannot copy " + from + " to " + to);
    ::unlink(to.c_str());
    throw error;
  }
  out.fd = -1;
}

}  // namespace support
