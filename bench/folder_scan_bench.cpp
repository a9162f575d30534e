// The folder scan on a large tree: 1,000 folders of 10 files each, listed the
// way the add-folder button lists them. Reports the whole time and the longest
// stretch without a yield to the event loop (the longest freeze of the window).
//
//   folder_scan_bench [folders] [files per folder]
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "filelist/add_files.h"
#include "filelist/file_list.h"
#include "scripted_dialogs.h"
#include "support/host.h"
#include "support/paths.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class TimingHost : public support::Host {
 public:
  Clock::time_point last = Clock::now();
  Clock::duration longest{};
  long yields = 0;
  int pointer = 0;
  int reports = 0;

  support::SplitSettings Settings() override { return {}; }
  void SetProgressValue(double) override {}
  void SetProgressText(const std::string&) override {}
  void SetPointer(int p) override { pointer = p; }
  int GetPointer() override { return pointer; }
  void Yield() override {
    const auto now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
    ++yields;
    QCoreApplication::processEvents();
  }
  void ReportError(const std::string& d, const std::string& l, int line) override {
    ++reports;
    std::fprintf(stderr, "report: %s in %s at line %d\n", d.c_str(), l.c_str(), line);
  }
};

// A tree of `folders` folders, ten to a parent, so the scan goes several levels deep.
void MakeTree(const fs::path& root, int folders, int files) {
  std::vector<fs::path> made{root};
  for (int i = 1; i < folders; ++i) {
    const fs::path folder = made[(i - 1) / 10] / ("folder " + std::to_string(i));
    fs::create_directory(folder);
    made.push_back(folder);
  }
  for (const auto& folder : made)
    for (int f = 0; f < files; ++f)
      std::ofstream(folder / ("letter " + std::to_string(f) + (f % 2 ? ".docx" : ".doc"))) << "x";
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const int folders = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int files = argc > 2 ? std::atoi(argv[2]) : 10;

  const fs::path root =
      fs::temp_directory_path() / ("parvane-scan-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(root);
  MakeTree(root, folders, files);

  TimingHost host;
  testing_support::ScriptedDialogs dialogs;
  filelist::FileList list(host, dialogs);
  for (int run = 1; run <= 3; ++run) {
    list.ClearFileList();
    host.longest = {};
    host.yields = 0;
    const auto start = Clock::now();
    host.last = start;
    filelist::AddFolderFiles(list, support::FromFsPath(root), "*.do*");
    const auto end = Clock::now();
    host.longest = std::max(host.longest, end - host.last);
    std::printf(
        "run %d: %d folders, %d files listed in %.1f ms; %ld yields, longest gap between yields "
        "%.2f ms\n",
        run, folders, list.Count(), Ms(end - start), host.yields, Ms(host.longest));
  }
  fs::remove_all(root);
  return host.reports == 0 && list.Count() == folders * files ? 0 : 1;
}
