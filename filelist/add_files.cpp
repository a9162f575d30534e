#include "filelist/add_files.h"

#include <vector>

#include "filelist/file_list.h"
#include "filelist/folder_scan.h"
#include "filelist/program_folder.h"
#include "support/dialogs.h"
#include "support/file_attributes.h"
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

// Word's owner files ("~$letter.doc") and LibreOffice's lock files are never
// documents to split.
bool IsOwnerOrLockFile(const std::string& name) {
  return (!name.empty() && name[0] == '~') || IsLockFileName(name);
}

}  // namespace

// folder + separator + name with doubled separators collapsed. A folder that
// already ends in the separator (a drive root, "/") gets no second one, so a
// POSIX root gives "/x.doc" rather than the network-like "//x.doc".
std::string JoinPath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || path.back() != kSep) path += kSep;
  return support::CollapseSeparators(path + name, kSep);
}

void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern,
                    support::Steps& run) {
  std::vector<std::string> folders;
  run(114, [&] {
    // The seed ends in the separator, without doubling a root's own.
    std::string seed = folder;
    if (seed.empty() || seed.back() != kSep) seed += kSep;
    folders.push_back(seed);
  });
  run(116, [&] { GetSubDirectories2016(folders, true, list.host()); });

  for (const std::string& entry : folders) {
    std::string dir;
    std::vector<std::string> names;
    run(118, [&] { list.host().Yield(); });
    run(120, [&] { dir = entry.size() > 1 ? entry.substr(0, entry.size() - 1) : entry; });
    run(122, [&] { names = ListFolderFiles(dir, pattern); });
    for (const std::string& name : names) {
      if (run.test(124, [&] { return IsOwnerOrLockFile(name); })) continue;
      run(126, [&] {
        const std::string path = JoinPath(dir, name);
        if (fsys::IsExistingFile(path) &&
            fsys::Attributes(path) != (fsys::kAttrHidden | fsys::kAttrArchive))
          list.AddFileEntry(path);
      });
    }
  }
}

void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern) {
  support::Steps run{loc::kAddFolder, list.host()};
  AddFolderFiles(list, folder, pattern, run);
}

void LoadSampleFiles(FileList& list) {
  const std::string samples = ProgramFolderPath() + kSep + "Samples";
  for (const std::string& name : ListFolderFiles(samples, "*.*")) {
    const std::string path = samples + kSep + name;
    if (support::PathExists(path) && !support::ListContains(list.Entries(), path))
      list.AddFileEntry(path);
  }
  if (list.dialogs().Message(kOpenSamplesQuestion, support::Buttons::YesNo, support::Icon::None) ==
      support::Answer::Yes)
    list.dialogs().OpenWithShell(samples + kSep);
}

}  // namespace filelist
