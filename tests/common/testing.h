#pragma once
// Shared test helpers: temporary folders, a recording host, files, external
// tools (LibreOffice, the package checker).

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/host.h"
#include "support/paths.h"

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  // The folder, and path / name, as UTF-8 strings.
  std::string str() const { return support::FromFsPath(path_); }
  std::string file(const std::string& name) const {
    return support::FromFsPath(path_ / support::ToFsPath(name));
  }

 private:
  fs::path path_;
};

// A host that records what the engine shows and answers with fixed settings.
class RecordingHost : public support::Host {
 public:
  support::SplitSettings settings;
  std::vector<double> progressValues;
  std::vector<std::string> progressTexts;
  std::vector<int> pointers;
  std::vector<std::string> reports;  // the full report texts
  struct Report {
    std::string description, location;
    int line;
  };
  std::vector<Report> reportDetails;
  int yields = 0;
  int pointer = support::kPointerDefault;

  support::SplitSettings Settings() override { return settings; }
  void SetProgressValue(double v) override { progressValues.push_back(v); }
  void SetProgressText(const std::string& t) override { progressTexts.push_back(t); }
  void SetPointer(int p) override {
    pointer = p;
    pointers.push_back(p);
  }
  int GetPointer() override { return pointer; }
  void Yield() override { ++yields; }
  void ReportError(const std::string& description, const std::string& location, int line) override;
  std::vector<std::string> notices;
  void Notify(const std::string& text) override { notices.push_back(text); }
  std::vector<int> ReportedLines() const;
};

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
std::vector<std::string> FilesIn(const fs::path& folder);  // names, sorted

// The shared folder beside the project (corpus and tools), or "" when absent.
std::string SharedDir();
// The corpus folder, or "" when absent (tests then skip with a message).
std::string CorpusDir();
// The folder of the built programs (parvane, parvane-split, samples).
std::string BinDir();
std::string SourceDir();

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and error together
};
// Runs a command line through the platform's shell (sh; cmd.exe on Windows)
// and collects its output; Quote makes one word of a text for that shell.
CommandResult RunCommand(const std::string& commandLine);
std::string Quote(const std::string& text);
// True when python3 is there to run the shared checkers (never on Windows).
bool HavePython();

// Runs `body` in a child process that gave up root (user and group 65534,
// "nobody") and returns what it returned, or "could not give up root". Root
// passes every permission check, so tests of refused access run this way.
std::string RunUnprivileged(const std::function<std::string()>& body);

// Bash lines that start a private Xvfb (800x700 unless `screen` says
// otherwise, 96 DPI) on a display it chooses itself and wait until it accepts
// clients; they leave its number in N and its process in XPID, or print
// "no-xvfb" and exit. `scratch` is a folder for the display-number file.
std::string StartXvfbScript(const std::string& scratch, const std::string& screen = "800x700");

// True when LibreOffice's soffice is on the PATH.
bool HaveSoffice();
// Converts a document with LibreOffice headless (own profile) to the given
// format ("txt", "pdf") in `outDir`; returns the converted file's path or "".
std::string ConvertWithSoffice(const std::string& document, const std::string& format,
                               const std::string& outDir);
// Runs the shared package checker on a file or folder; "" when the checker is
// absent. Returns its output; `ok` tells whether it found no error.
std::string RunDocxCheck(const std::string& target, bool* ok);

}  // namespace testing_support

#ifdef _WIN32
// The POSIX environment calls the tests use; unsetenv leaves the name unset.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
#endif

namespace testing_support {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace testing_support
