// Starting and ending LibreOffice on POSIX systems.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/office_process.h"

extern char** environ;

namespace engine::office {

namespace fs = std::filesystem;

namespace {

// The process groups being waited for or running in the background (a few
// at a time; spare slots keep a nested wait safe). Plain atomics, so a signal
// handler may read them.
constexpr int kSlots = 16;
std::atomic<pid_t> running[kSlots];

int TakeSlot(pid_t group) {
  for (int i = 0; i < kSlots; ++i) {
    pid_t none = 0;
    if (running[i].compare_exchange_strong(none, group)) return i;
  }
  return -1;
}

// ---- What is left should we be killed -------------------------------------

// A shell of ours that outlives us: told of every process group we start and
// every folder and socket of theirs, it ends those groups and removes those
// files once our end of its socket closes, as it does when we are killed
// (SIGKILL) or crash and no handler of ours runs. Each line is a letter and
// a value: g/G a group started/ended, f/F a path to remove/removed. What we
// end or remove ourselves is taken off its lists, so that after an ordinary
// end it has nothing to do.
constexpr const char* kKeeperScript = R"(set -f
groups=' '
files='
'
while IFS= read -r line; do
  value=${line#??}
  case $line in
    'g '*) groups="$groups$value ";;
    'G '*) case $groups in *" $value "*) groups="${groups%%" $value "*} ${groups#*" $value "}";; esac;;
    'f '*) files="$files$value
";;
    'F '*) case $files in *"
$value
"*) files="${files%%"
$value
"*}
${files#*"
$value
"}";; esac;;
  esac
done
for g in $groups; do kill -s KILL -- "-$g" 2>/dev/null; done
IFS='
'
for look in 1 2 3; do
  left=
  for f in $files; do
    if [ -S "$f" ]; then rm -f -- "$f"; elif [ -d "$f" ]; then rm -rf -- "$f" 2>/dev/null; [ -d "$f" ] && left=1; fi
  done
  [ -z "$left" ] && break
  sleep 1
done
)";

class Keeper {
 public:
  // Never destroyed: programs may still be ended while statics are.
  static Keeper& Get() {
    static Keeper* keeper = new Keeper;
    return *keeper;
  }

  // Tells the shell (started on the first word) one line; a value with a
  // line break in it cannot be told and is left out.
  void Say(char what, const std::string& value) {
    if (value.find('\n') != std::string::npos) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) Begin();
    if (fd_ < 0) return;
    const std::string line = std::string(1, what) + " " + value + "\n";
    int flags = 0;
#ifdef MSG_NOSIGNAL
    flags = MSG_NOSIGNAL;
#endif
    for (std::size_t sent = 0; sent < line.size();) {
      const ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, flags);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // Gone (someone ended it): we are on our own, as before it.
        ::close(fd_);
        fd_ = -1;
        return;
      }
      sent += static_cast<std::size_t>(n);
    }
  }

 private:
  void Begin() {
    started_ = true;
    int pair[2];
    // Ours is never inherited: only our own end, closed when we end, may
    // tell the shell that we are gone. Made so at once where the system
    // can, before a program started meanwhile by another thread inherits it.
#ifdef SOCK_CLOEXEC
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
#else
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    ::fcntl(pair[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(pair[1], F_SETFD, FD_CLOEXEC);
#endif
#ifdef SO_NOSIGPIPE
    const int on = 1;
    ::setsockopt(pair[0], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // A group of its own, out of reach of the signals a terminal sends ours.
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    std::string shell = "/bin/sh", dashC = "-c", script = kKeeperScript;
    char* argv[] = {shell.data(), dashC.data(), script.data(), nullptr};
    char* envp[] = {nullptr};
    pid_t child = 0;
    const int failed = posix_spawn(&child, "/bin/sh", &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pair[1]);
    if (failed != 0) {
      ::close(pair[0]);
      return;
    }
    fd_ = pair[0];
    // It ends when we do; a reaper of ours would find it then, never before.
  }

  std::mutex mutex_;
  bool started_ = false;
  int fd_ = -1;
};

void KeepGroup(pid_t group) {
  if (group > 0) Keeper::Get().Say('g', std::to_string(group));
}

void GroupEnded(pid_t group) {
  if (group > 0) Keeper::Get().Say('G', std::to_string(group));
}

// MD5 (RFC 1321) of `data`, for the name LibreOffice gives its pipe.
std::array<std::uint8_t, 16> Md5(const std::string& data) {
  static constexpr std::uint32_t kSines[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
      0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
      0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
      0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
      0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
      0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
      0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
      0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
      0xeb86d391};
  static constexpr int kShifts[4][4] = {
      {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  std::string message = data;
  message += '\x80';
  while (message.size() % 64 != 56) message += '\0';
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i) message += static_cast<char>((bits >> (8 * i)) & 0xff);
  std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (std::size_t block = 0; block < message.size(); block += 64) {
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
      words[i] = 0;
      for (int b = 3; b >= 0; --b)
        words[i] = (words[i] << 8) | static_cast<std::uint8_t>(message[block + 4 * i + b]);
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t f = 0;
      int g = 0;
      if (i < 16) {
        f = (b & c) | (~b & d);
        g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
      }
      const std::uint32_t sum = a + f + kSines[i] + words[g];
      const int shift = kShifts[i / 16][i % 4];
      a = d;
      d = c;
      c = b;
      b += (sum << shift) | (sum >> (32 - shift));
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
  }
  std::array<std::uint8_t, 16> digest{};
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
  return digest;
}

bool IsProgram(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

void KillGroup(pid_t group) {
  if (group > 0) ::kill(-group, SIGKILL);
}

// The named sockets the processes of `group` listen on (LibreOffice's pipe
// for the starts that hand their work over, /tmp/OSL_PIPE_…): a program that
// is killed leaves their files behind. Linux only; elsewhere none are found.
std::vector<std::string> ListeningSockets(pid_t group) {
  std::vector<std::string> paths;
#ifdef __linux__
  std::set<std::string> inodes;
  std::error_code ec;
  // Processes end while they are looked at: every step is allowed to fail.
  for (fs::directory_iterator process("/proc", ec), end; !ec && process != end;
       process.increment(ec)) {
    const std::string pid = process->path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(process->path() / "stat");
    std::string line;
    std::getline(stat, line);
    // pid (name) state ppid pgrp …: the name may hold spaces and brackets.
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    long parent = 0, processGroup = 0;
    if (!(rest >> state >> parent >> processGroup) || processGroup != group) continue;
    std::error_code fdError;
    for (fs::directory_iterator fd(process->path() / "fd", fdError), none; !fdError && fd != none;
         fd.increment(fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fd->path(), linkError).string();
      if (!linkError && target.rfind("socket:[", 0) == 0)
        inodes.insert(target.substr(8, target.size() - 9));
    }
  }
  if (inodes.empty()) return paths;
  // Num RefCount Protocol Flags Type St Inode Path; listening: flag 0x10000.
  std::ifstream table("/proc/net/unix");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream row(line);
    std::string num, refs, protocol, flags, type, st, inode, path;
    if (!(row >> num >> refs >> protocol >> flags >> type >> st >> inode >> path)) continue;
    const unsigned long bits = std::strtoul(flags.c_str(), nullptr, 16);
    if ((bits & 0x10000) && path.size() > 1 && path[0] == '/' && inodes.count(inode))
      paths.push_back(path);
  }
#else
  (void)group;
#endif
  return paths;
}

// Every socket noted of a program that runs, for RemoveNotedSockets.
std::mutex notedMutex;
std::multiset<std::string>& Noted() {
  static std::multiset<std::string> noted;
  return noted;
}

// Adds to `sockets` those of `found` it does not hold yet, noting them.
void NoteFound(std::vector<std::string>& sockets, const std::vector<std::string>& found) {
  std::lock_guard<std::mutex> lock(notedMutex);
  for (const auto& path : found)
    if (std::find(sockets.begin(), sockets.end(), path) == sockets.end()) {
      sockets.push_back(path);
      Noted().insert(path);
      Keeper::Get().Say('f', path);
    }
}

void Unlink(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) ::unlink(path.c_str());
}

// Done with the sockets of a program that ended: those it left, if they are
// still sockets, are removed when `remove` is set.
void RemoveSockets(const std::vector<std::string>& paths, bool remove = true) {
  std::lock_guard<std::mutex> lock(notedMutex);
  for (const auto& path : paths) {
    if (const auto at = Noted().find(path); at != Noted().end()) Noted().erase(at);
    if (remove) Unlink(path);
    Keeper::Get().Say('F', path);
  }
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return std::string();
  const std::string all = path;
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t end = std::min(all.find(':', start), all.size());
    const std::string folder = all.substr(start, end - start);
    if (!folder.empty() && IsProgram(fs::path(folder) / name))
      return (fs::path(folder) / name).string();
    start = end + 1;
  }
  return std::string();
}

std::string FindSoffice(bool usualFolders) {
  if (const char* path = std::getenv("PATH")) {
    std::string all = path;
    std::size_t start = 0;
    while (start <= all.size()) {
      const std::size_t end = std::min(all.find(':', start), all.size());
      const std::string folder = all.substr(start, end - start);
      if (!folder.empty()) {
        for (const char* name : {"soffice", "libreoffice"}) {
          const fs::path candidate = fs::path(folder) / name;
          if (IsProgram(candidate)) return candidate.string();
        }
      }
      start = end + 1;
    }
  }
  if (!usualFolders) return std::string();
  std::vector<fs::path> candidates = {
      "/usr/lib/libreoffice/program/soffice",
      "/usr/lib64/libreoffice/program/soffice",
      "/usr/local/lib/libreoffice/program/soffice",
      "/snap/bin/libreoffice",
      "/Applications/LibreOffice.app/Contents/MacOS/soffice",
  };
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/opt", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("libreoffice", 0) == 0)
      candidates.push_back(entry.path() / "program" / "soffice");
  }
  for (const auto& candidate : candidates)
    if (IsProgram(candidate)) return candidate.string();
  return std::string();
}

namespace {

// How the C library's allocator of a program we run is tuned, unless our own
// environment already tunes it. LibreOffice's Word export opens a 1 MB buffer
// for every XML part it writes and keeps them all until the end: about 200 MB
// for a merge of a hundred letters with a header and a footer each, every
// page of which was faulted in and zeroed one 4 KB page at a time, about half
// of the whole conversion. Taken from the heap in transparent huge pages, the
// same memory costs a fraction of that. Other C libraries ignore the variable.
constexpr const char* kAllocatorTuning =
    "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432";
// Not on a virtual machine whose freed memory goes back to its host (a
// balloon reporting free pages): there each huge page is faulted in by the
// host again, and a split of a hundred letters takes about half a second
// longer with huge pages than with small ones. The threshold alone costs
// nothing there.
constexpr const char* kAllocatorTuningInGuest =
    "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432";

// Whether a virtio balloon of this machine reports free pages to its host:
// feature bit 5, the sixth character of the device's feature bits in sysfs.
bool FreedMemoryGoesToHost() {
  constexpr std::size_t kReporting = 5;
  std::error_code ec;
  fs::directory_iterator it("/sys/bus/virtio/drivers/virtio_balloon", ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string bits;
    std::ifstream(it->path() / "features") >> bits;
    if (bits.size() > kReporting && bits[kReporting] == '1') return true;
  }
  return false;
}

// The variable LibreOffice's start script sets before it runs oosplash.
constexpr const char* kScriptSets = "SAL_ENABLE_FILE_LOCKING=1";

// LibreOffice's start script (program/soffice of a Unix installation) sets
// kScriptSets and runs program/oosplash beside it, after about 40 ms of
// shell (dirname, ls, sed and the like) at every start. Where the script is
// LibreOffice's own (oosplash beside it, and no ooenv for it to read),
// oosplash is started directly instead; "" where `program` is anything else.
std::string OosplashFor(const std::string& program) {
  std::error_code ec;
  const fs::path real = fs::canonical(program, ec);
  if (ec || real.filename() != "soffice") return std::string();
  const fs::path folder = real.parent_path();
  if (!IsProgram(folder / "oosplash") || fs::exists(folder / "ooenv", ec) || ec)
    return std::string();
  char head[2] = {};
  std::ifstream(real, std::ios::binary).read(head, sizeof head);
  if (head[0] != '#' || head[1] != '!') return std::string();
  return (folder / "oosplash").string();
}

// Our environment, with the temporary folder `p` asks for, and what the
// start script would have set when `skipped`.
std::vector<std::string> EnvironmentFor(const Program& p, bool skipped) {
  std::vector<std::string> variables;
  bool tuned = false;
  for (char** v = environ; v && *v; ++v) {
    const std::string variable = *v;
    if (!p.tempFolder.empty() && variable.rfind("TMPDIR=", 0) == 0) continue;
    if (skipped && variable.rfind("SAL_ENABLE_FILE_LOCKING=", 0) == 0) continue;
    if (variable.rfind("GLIBC_TUNABLES=", 0) == 0) tuned = true;
    variables.push_back(variable);
  }
  if (!p.tempFolder.empty()) variables.push_back("TMPDIR=" + p.tempFolder);
  static const bool inGuest = FreedMemoryGoesToHost();
  if (!tuned) variables.push_back(inGuest ? kAllocatorTuningInGuest : kAllocatorTuning);
  if (skipped) variables.push_back(kScriptSets);
  return variables;
}

// Starts one program in a group of its own; 0 when it could not be started.
pid_t Start(const Program& p, std::string* why) {
  const std::string oosplash = OosplashFor(p.program);
  std::vector<std::string> all;
  all.push_back(oosplash.empty() ? p.program : oosplash);
  all.insert(all.end(), p.args.begin(), p.args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = EnvironmentFor(p, !oosplash.empty());
  std::vector<char*> envp;
  for (auto& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, p.logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // A group of its own, so that a time-out ends LibreOffice's helpers too.
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  // Nothing held back, whatever we hold back while it starts.
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t child = 0;
  const int failed =
      posix_spawn(&child, all.front().c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    *why = std::strerror(failed);
    return 0;
  }
  return child;
}

// Starts one program and puts it in a slot with the signals that end us held
// back meanwhile, so that a kill of every program at once (from a signal
// handler) cannot come between the two and miss it; -1 in `slot` when it
// could not be started or there was no slot.
pid_t StartInSlot(const Program& p, std::string* why, int* slot) {
  sigset_t ending, before;
  sigemptyset(&ending);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, signal);
  ::pthread_sigmask(SIG_BLOCK, &ending, &before);
  const pid_t child = Start(p, why);
  *slot = child == 0 ? -1 : TakeSlot(child);
  KeepGroup(child);
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return child;
}

ProgramResult Ended(int status) {
  ProgramResult result;
  if (WIFEXITED(status)) {
    result.outcome = ProgramResult::kExited;
    result.exitCode = WEXITSTATUS(status);
  } else {
    result.outcome = ProgramResult::kCrashed;
    result.detail = WIFSIGNALED(status) ? std::string("signal ") + std::to_string(WTERMSIG(status))
                                        : std::string("unknown end");
  }
  return result;
}

}  // namespace

std::vector<ProgramResult> RunPrograms(const std::vector<Program>& programs, double seconds,
                                       const std::function<bool()>& poll) {
  std::vector<ProgramResult> results(programs.size());
  std::vector<pid_t> children(programs.size(), 0);
  std::vector<int> slots(programs.size(), -1);
  std::vector<std::vector<std::string>> sockets(programs.size());
  std::size_t waiting = 0;
  std::vector<char> seen(programs.size(), 0);  // its sockets looked for and found
  for (std::size_t i = 0; i < programs.size(); ++i) {
    children[i] = StartInSlot(programs[i], &results[i].detail, &slots[i]);
    if (children[i] == 0) continue;
    if (!programs[i].socket.empty()) NoteFound(sockets[i], {programs[i].socket});
    ++waiting;
  }
  auto release = [&](std::size_t i) {
    // Helpers the program left behind in its group go with it, and so do
    // the sockets of one that did not end of itself, or whose launcher says
    // (as a shell does, with 128 and the signal) that what it ran did not.
    KillGroup(children[i]);
    GroupEnded(children[i]);
    if (slots[i] >= 0) running[slots[i]].store(0);
    RemoveSockets(sockets[i],
                  results[i].outcome != ProgramResult::kExited || results[i].exitCode >= 128);
    children[i] = 0;
    --waiting;
  };
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  auto nextPoll = std::chrono::steady_clock::now();
  // Sockets are looked for until found: a kill of every program at once
  // (a signal) leaves no time to look for them then.
  auto nextLook = nextPoll + std::chrono::milliseconds(200);
  while (waiting > 0) {
    for (std::size_t i = 0; i < programs.size(); ++i) {
      if (children[i] == 0) continue;
      int status = 0;
      const pid_t done = ::waitpid(children[i], &status, WNOHANG);
      if (done == children[i]) {
        results[i] = Ended(status);
        release(i);
      } else if (done < 0 && errno != EINTR) {
        results[i].outcome = ProgramResult::kCrashed;
        results[i].detail = std::strerror(errno);
        release(i);
      }
    }
    if (waiting == 0) break;
    bool stop = false;
    if (const auto now = std::chrono::steady_clock::now(); now >= nextPoll) {
      stop = poll && !poll();
      nextPoll = now + std::chrono::milliseconds(50);
    }
    if (const auto now = std::chrono::steady_clock::now(); now >= nextLook) {
      for (std::size_t i = 0; i < programs.size(); ++i)
        if (children[i] != 0 && !seen[i]) {
          const auto found = ListeningSockets(children[i]);
          seen[i] = !found.empty();
          NoteFound(sockets[i], found);
        }
      nextLook = now + std::chrono::milliseconds(500);
    }
    if (stop || std::chrono::steady_clock::now() >= deadline) {
      for (std::size_t i = 0; i < programs.size(); ++i) {
        if (children[i] == 0) continue;
        NoteFound(sockets[i], ListeningSockets(children[i]));
        KillGroup(children[i]);
        int status = 0;
        while (::waitpid(children[i], &status, 0) < 0 && errno == EINTR) {
        }
        results[i].outcome = stop ? ProgramResult::kStopped : ProgramResult::kTimedOut;
        release(i);
      }
      break;
    }
    // An ending is noticed within a few milliseconds: the next conversion
    // often waits for it.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return results;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& logFile, double seconds,
                         const std::function<bool()>& poll) {
  return RunPrograms({Program{program, args, logFile, {}, {}}}, seconds, poll).front();
}

struct Background::State {
  pid_t child = 0;
  int slot = -1;
  std::vector<std::string> sockets;  // noted while it ran
  bool seen = false;                 // looked for and found
  std::chrono::steady_clock::time_point nextLook;

  void Note(const std::vector<std::string>& found) {
    seen = seen || !found.empty();
    NoteFound(sockets, found);
  }

  // Whoever ended it (also KillRunningPrograms), what it leaves goes.
  void Release() {
    KillGroup(child);
    GroupEnded(child);
    if (slot >= 0) running[slot].store(0);
    child = 0;
    slot = -1;
    RemoveSockets(sockets);
    sockets.clear();
  }
};

Background::Background() : state_(std::make_unique<State>()) {}

Background::~Background() {
  Kill();
}

bool Background::Start(const Program& program, std::string* why) {
  Kill();
  state_->child = StartInSlot(program, why, &state_->slot);
  state_->seen = false;
  if (state_->child != 0 && !program.socket.empty()) NoteFound(state_->sockets, {program.socket});
  return state_->child != 0;
}

bool Background::Running() {
  if (state_->child == 0) return false;
  int status = 0;
  const pid_t done = ::waitpid(state_->child, &status, WNOHANG);
  if (done == 0 || (done < 0 && errno == EINTR)) {
    // Its sockets are looked for until found, now and then: a kill of every
    // program at once leaves no time to look for them then.
    if (const auto now = std::chrono::steady_clock::now();
        !state_->seen && now >= state_->nextLook) {
      state_->Note(ListeningSockets(state_->child));
      state_->nextLook = now + std::chrono::milliseconds(250);
    }
    return true;
  }
  state_->Release();
  return false;
}

void Background::NoteSockets() {
  if (state_->child != 0) state_->Note(ListeningSockets(state_->child));
}

void Background::Kill() {
  if (state_->child == 0) return;
  state_->Note(ListeningSockets(state_->child));
  KillGroup(state_->child);
  int status = 0;
  while (::waitpid(state_->child, &status, 0) < 0 && errno == EINTR) {
  }
  state_->Release();
}

void KillRunningPrograms() {
  for (auto& slot : running) KillGroup(slot.load());
}

void RemoveNotedSockets() {
  std::lock_guard<std::mutex> lock(notedMutex);
  for (const auto& path : Noted()) {
    Unlink(path);
    Keeper::Get().Say('F', path);
  }
  Noted().clear();
}

void TidyIfKilled(const std::string& path) {
  Keeper::Get().Say('f', path);
}

void NoLongerToTidy(const std::string& path) {
  Keeper::Get().Say('F', path);
}

std::string OfficePipe(const std::string& profileUrl) {
  // LibreOffice names it after the MD5 of the profile's URL in UTF-16, each
  // byte in hexadecimal without a leading zero.
  std::string utf16;
  for (unsigned char c : profileUrl) {
    if (c >= 0x80) return std::string();  // a URL of ours is ASCII
    utf16 += static_cast<char>(c);
    utf16 += '\0';
  }
  std::string hash;
  char hex[3];
  for (std::uint8_t byte : Md5(utf16)) {
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(byte));
    hash += hex;
  }
  return "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_SingleOfficeIPC_" + hash;
}

std::string FileUrl(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

}  // namespace engine::office
