#include "testing.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "support/error_report.h"

#ifndef PARVANE_SOURCE_DIR
#error "PARVANE_SOURCE_DIR must be defined"
#endif

namespace testing_support {

TempDir::TempDir() {
  std::random_device device;
  const fs::path base = fs::temp_directory_path();
  for (int i = 0; i < 100; ++i) {
    fs::path candidate = base / ("parvane-test-" + std::to_string(device()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files and folders of a test must not keep the folder alive.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

void RecordingHost::ReportError(const std::string& description, const std::string& location,
                                int line) {
  reports.push_back(support::ErrorReportText(description, location, line));
  reportDetails.push_back({description, location, line});
}

std::vector<int> RecordingHost::ReportedLines() const {
  std::vector<int> lines;
  for (const auto& r : reportDetails) lines.push_back(r.line);
  return lines;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << bytes;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.is_regular_file()) names.push_back(support::FromFsPath(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::string SourceDir() {
  return PARVANE_SOURCE_DIR;
}
std::string BinDir() {
  return PARVANE_BIN_DIR;
}

std::string SharedDir() {
  if (const char* env = std::getenv("PARVANE_SHARED"); env && *env) return env;
  const fs::path shared = fs::path(PARVANE_SOURCE_DIR).parent_path() / "shared";
  std::error_code ec;
  return fs::is_directory(shared, ec) ? shared.string() : std::string();
}

std::string CorpusDir() {
  const std::string shared = SharedDir();
  if (shared.empty()) return std::string();
  const fs::path corpus = fs::path(shared) / "corpus";
  std::error_code ec;
  return fs::is_directory(corpus, ec) ? corpus.string() : std::string();
}

std::string StartXvfbScript(const std::string& scratch, const std::string& screen) {
  // -displayfd lets the server pick a free display and write its number only
  // once it listens, so parallel tests never race for one display.
  const std::string file = Quote(scratch + "/xvfb-display");
  return "rm -f " + file + "\n" + "Xvfb -displayfd 1 -screen 0 " + screen +
         "x24 -dpi 96 -nolisten tcp >" + file +
         " 2>/dev/null & XPID=$!\n"
         "N=''\n"
         "for i in $(seq 600); do N=$(tr -dc 0-9 <" +
         file +
         " 2>/dev/null); [ -n \"$N\" ] && break; kill -0 $XPID 2>/dev/null || break; "
         "sleep 0.1; done\n"
         "if [ -z \"$N\" ]; then echo no-xvfb; kill $XPID 2>/dev/null; exit 0; fi\n";
}

bool HaveSoffice() {
  return RunCommand("command -v soffice").exitCode == 0;
}

std::string ConvertWithSoffice(const std::string& document, const std::string& format,
                               const std::string& outDir) {
  const fs::path profile = fs::path(outDir) / ".lo-profile";
  const std::string command = "timeout 180 soffice -env:UserInstallation=file://" +
                              profile.string() + " --headless --norestore --convert-to " + format +
                              " --outdir " + Quote(outDir) + " " + Quote(document);
  RunCommand(command);
  const fs::path converted = fs::path(outDir) / (fs::path(document).stem().string() + "." + format);
  std::error_code ec;
  return fs::exists(converted, ec) ? converted.string() : std::string();
}

std::string RunDocxCheck(const std::string& target, bool* ok) {
  const std::string shared = SharedDir();
  const fs::path checker = fs::path(shared) / "tools" / "docx-check";
  std::error_code ec;
  if (shared.empty() || !fs::exists(checker, ec) || !HavePython()) {
    if (ok) *ok = true;
    return std::string();
  }
  const CommandResult r = RunCommand("python3 " + Quote(checker.string()) + " " + Quote(target));
  if (ok) *ok = r.exitCode == 0;
  return r.output;
}

}  // namespace testing_support
