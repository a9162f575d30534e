// Starting and ending LibreOffice on Windows.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <thread>

#include "engine/office_process.h"
#include "support/paths.h"

namespace engine::office {

namespace fs = std::filesystem;

namespace {

constexpr int kSlots = 16;
std::atomic<HANDLE> running[kSlots];

std::wstring Wide(const std::string& utf8) {
  return support::ToFsPath(utf8).wstring();
}

bool IsProgram(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The install folder that LibreOffice's installer writes to the registry.
std::string RegistryInstallPath() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(root, L"SOFTWARE\\LibreOffice\\UNO\\InstallPath", 0, KEY_READ | view,
                        &key) != ERROR_SUCCESS)
        continue;
      wchar_t value[MAX_PATH * 2] = {};
      DWORD size = sizeof(value) - sizeof(wchar_t);
      DWORD type = 0;
      const LONG read =
          RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
      RegCloseKey(key);
      if (read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
        return support::FromFsPath(fs::path(value));
    }
  }
  return std::string();
}

// One argument quoted the way CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      out.append(backslashes * 2 + 1, L'\\');
    else
      out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// Our environment block, with the temporary folder `p` asks for; "" when
// the program simply inherits ours.
std::wstring EnvironmentFor(const Program& p) {
  std::wstring block;
  if (p.tempFolder.empty()) return block;
  wchar_t* all = GetEnvironmentStringsW();
  if (!all) return block;
  for (const wchar_t* v = all; *v; v += wcslen(v) + 1) {
    const std::wstring variable = v;
    std::wstring name = variable.substr(0, variable.find(L'='));
    for (auto& c : name) c = static_cast<wchar_t>(towupper(c));
    if (name == L"TMP" || name == L"TEMP") continue;
    block += variable;
    block += L'\0';
  }
  FreeEnvironmentStringsW(all);
  for (const wchar_t* name : {L"TMP=", L"TEMP="}) {
    block += name + Wide(p.tempFolder);
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace

namespace {

// `file` in the folders of PATH only, in their order: SearchPath would look
// in our own folder and the current one first, where a file of that name in
// a folder being split would be taken for the program.
std::string OnPath(const std::wstring& file) {
  const DWORD length = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (length == 0) return std::string();
  std::wstring path(length, L'\0');
  path.resize(GetEnvironmentVariableW(L"PATH", path.data(), length));
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find(L';', start), path.size());
    std::wstring folder = path.substr(start, end - start);
    start = end + 1;
    // A folder may be given in quotes.
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
      folder = folder.substr(1, folder.size() - 2);
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / file;
    if (candidate.is_absolute() && IsProgram(candidate)) return support::FromFsPath(candidate);
  }
  return std::string();
}

}  // namespace

std::string FindSoffice(bool usualFolders) {
  if (std::string found = OnPath(L"soffice.exe"); !found.empty()) return found;
  if (!usualFolders) return std::string();
  std::vector<fs::path> candidates;
  const std::string registry = RegistryInstallPath();
  if (!registry.empty()) candidates.push_back(support::ToFsPath(registry) / "soffice.exe");
  for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(variable, folder, MAX_PATH) > 0)
      candidates.push_back(fs::path(folder) / L"LibreOffice" / L"program" / L"soffice.exe");
  }
  for (const auto& candidate : candidates)
    if (IsProgram(candidate)) return support::FromFsPath(candidate);
  return std::string();
}

std::string FindOnPath(const std::string& name) {
  return OnPath(Wide(name + ".exe"));
}

namespace {

struct Started {
  HANDLE process = nullptr;
  HANDLE job = nullptr;
  int slot = -1;
};

// Starts one program inside a job of its own, so that a time-out ends every
// helper it starts too.
Started Start(const Program& p, std::string* why) {
  Started started;
  std::wstring commandLine = QuoteArgument(Wide(p.program));
  for (const auto& arg : p.args) commandLine += L" " + QuoteArgument(Wide(arg));
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE log = CreateFileW(Wide(p.logFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  started.job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (started.job)
    SetInformationJobObject(started.job, JobObjectExtendedLimitInformation, &limits,
                            sizeof(limits));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = log;
  startup.hStdError = log;
  PROCESS_INFORMATION process{};
  std::wstring environment = EnvironmentFor(p);
  const BOOL made = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                                   environment.empty() ? nullptr : environment.data(), nullptr,
                                   &startup, &process);
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (!made) {
    *why = "error " + std::to_string(GetLastError());
    if (started.job) CloseHandle(started.job);
    started.job = nullptr;
    return started;
  }
  if (started.job) AssignProcessToJobObject(started.job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  started.process = process.hProcess;
  for (int i = 0; i < kSlots && started.job; ++i) {
    HANDLE none = nullptr;
    if (running[i].compare_exchange_strong(none, started.job)) {
      started.slot = i;
      break;
    }
  }
  return started;
}

void Release(Started& started) {
  if (started.job) TerminateJobObject(started.job, 0);
  if (started.slot >= 0) running[started.slot].store(nullptr);
  if (started.process) CloseHandle(started.process);
  if (started.job) CloseHandle(started.job);
  started = Started();
}

}  // namespace

std::vector<ProgramResult> RunPrograms(const std::vector<Program>& programs, double seconds,
                                       const std::function<bool()>& poll) {
  std::vector<ProgramResult> results(programs.size());
  std::vector<Started> started(programs.size());
  std::size_t waiting = 0;
  for (std::size_t i = 0; i < programs.size(); ++i) {
    started[i] = Start(programs[i], &results[i].detail);
    if (started[i].process) ++waiting;
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  while (waiting > 0) {
    for (std::size_t i = 0; i < programs.size(); ++i) {
      if (!started[i].process || WaitForSingleObject(started[i].process, 0) != WAIT_OBJECT_0)
        continue;
      DWORD code = 0;
      GetExitCodeProcess(started[i].process, &code);
      results[i].outcome = code >= 0xC0000000u ? ProgramResult::kCrashed : ProgramResult::kExited;
      results[i].exitCode = static_cast<int>(code);
      if (code >= 0xC0000000u) results[i].detail = "exception " + std::to_string(code);
      Release(started[i]);
      --waiting;
    }
    if (waiting == 0) break;
    const bool stop = poll && !poll();
    if (stop || std::chrono::steady_clock::now() >= deadline) {
      for (std::size_t i = 0; i < programs.size(); ++i) {
        if (!started[i].process) continue;
        if (started[i].job) TerminateJobObject(started[i].job, 1);
        TerminateProcess(started[i].process, 1);
        WaitForSingleObject(started[i].process, INFINITE);
        results[i].outcome = stop ? ProgramResult::kStopped : ProgramResult::kTimedOut;
        Release(started[i]);
      }
      break;
    }
    // Woken as soon as one of them ends: the next conversion often waits for it.
    std::vector<HANDLE> running;
    for (const auto& s : started)
      if (s.process) running.push_back(s.process);
    WaitForMultipleObjects(
        static_cast<DWORD>((std::min<std::size_t>)(running.size(), MAXIMUM_WAIT_OBJECTS)),
        running.data(), FALSE, 50);
  }
  return results;
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& logFile, double seconds,
                         const std::function<bool()>& poll) {
  return RunPrograms({Program{program, args, logFile, {}, {}}}, seconds, poll).front();
}

struct Background::State {
  Started started;
};

Background::Background() : state_(std::make_unique<State>()) {}

Background::~Background() {
  Kill();
}

bool Background::Start(const Program& program, std::string* why) {
  Kill();
  state_->started = office::Start(program, why);
  return state_->started.process != nullptr;
}

bool Background::Running() {
  Started& started = state_->started;
  if (!started.process) return false;
  if (WaitForSingleObject(started.process, 0) != WAIT_OBJECT_0) return true;
  Release(started);
  return false;
}

void Background::Kill() {
  Started& started = state_->started;
  if (!started.process) return;
  if (started.job) TerminateJobObject(started.job, 1);
  TerminateProcess(started.process, 1);
  WaitForSingleObject(started.process, INFINITE);
  // The job's other processes (LibreOffice's own, behind its launcher) end a
  // moment later; until they have, they hold its files open.
  for (int wait = 0; started.job && wait < 100; ++wait) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(started.job, JobObjectBasicAccountingInformation, &info,
                                   sizeof(info), nullptr) ||
        info.ActiveProcesses == 0)
      break;
    Sleep(20);
  }
  Release(started);
}

void Background::NoteSockets() {
  // Windows' named pipes go with the process that made them.
}

void KillRunningPrograms() {
  for (auto& slot : running)
    if (HANDLE job = slot.load()) TerminateJobObject(job, 1);
}

// Windows' named pipes go with the process that made them.
void RemoveNotedSockets() {}

std::string FileUrl(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file:///";
  for (unsigned char c : path) {
    if (c == '\\') c = '/';
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~' || c == ':') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

// A job ends every program we started when we end, however we end.
void TidyIfKilled(const std::string&) {}
void NoLongerToTidy(const std::string&) {}

std::string OfficePipe(const std::string&) {
  return std::string();
}

}  // namespace engine::office
