#include "filelist/add_files.h"

#include <vector>

#include "filelist/file_list.h"
#include "filelist/program_folder.h"
#include "support/dialogs.h"
#include "support/file_attributes.h"
#include "support/folder_scan.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

namespace filelist {

namespace fsys = support::fsys;

const char* const kOpenSamplesQuestion =
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?";

namespace {

constexpr char kSep = support::kSep;

}  // namespace

void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern,
                    support::Steps& run) {
  support::WalkFolderFiles(folder, pattern, run, list.host(),
                           [&](const std::string& path) { list.AddFileEntry(path); });
}

void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern) {
  support::Steps run{loc::kAddFolder, list.host()};
  AddFolderFiles(list, folder, pattern, run);
}

void LoadSampleFiles(FileList& list) {
  const std::string samples = ProgramFolderPath() + kSep + "Samples";
  for (const std::string& name : support::ListFolderFiles(samples, "*.*")) {
    const std::string path = samples + kSep + name;
    if (support::PathExists(path) && !support::ListContains(list.Entries(), path))
      list.AddFileEntry(path);
  }
  if (list.dialogs().Message(kOpenSamplesQuestion, support::Buttons::YesNo, support::Icon::None) ==
      support::Answer::Yes)
    list.dialogs().OpenWithShell(samples + kSep);
}

}  // namespace filelist
