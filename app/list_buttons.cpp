#include "app/list_buttons.h"

#include <vector>

#include "app/settings.h"
#include "filelist/add_files.h"
#include "filelist/file_list.h"
#include "filelist/program_folder.h"
#include "support/dialogs.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

namespace app {

using filelist::FileList;
using filelist::JoinPath;

const char* const kTooManyFilesMessage =
    "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.";
const char* const kExtensionPrompt =
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)";
const char* const kHelpMessage =
    "This software splits a Word Mail Merge document with multiple pages into independent "
    "files.\r\r"
    "You use mail merge when you want to create a set of documents that are essentially the "
    "same but where each document contains unique elements. For example, in a letter that "
    "announces a new product, your company logo and the text about the product will appear in "
    "each letter, and the address and greeting line will be different in each letter.\r\r"
    "Would you like to see a sample mail merge document?";

namespace {

constexpr char kSep = support::kSep;

std::vector<std::string> SplitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t nul = text.find('\0', start);
    parts.push_back(text.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
    if (nul == std::string::npos) break;
    start = nul + 1;
  }
  return parts;
}

}  // namespace

void PushButton1_Click(FileList& list) {
  support::Steps run{loc::kAddFiles, list.host()};
  std::string fileName;
  bool overflow = false;
  run(100, [&] { fileName.clear(); });
  run(102, [&] {
    try {
      fileName = list.dialogs().OpenFiles("Add File(s) - Hold Ctrl to select multiple files",
                                          "Word Documents (*.do*)|*.do*|All Files (*.*)|*.*");
    } catch (const support::DialogOverflow&) {
      overflow = true;
    }
  });
  if (overflow) {
    run(104, [&] {
      list.dialogs().Message(kTooManyFilesMessage, support::Buttons::Ok, support::Icon::None);
    });
    return;
  }
  if (run.test(106, [&] { return fileName.empty(); })) return;
  std::vector<std::string> parts;
  run(108, [&] { parts = SplitAtNul(fileName); });
  if (parts.empty()) return;
  if (parts.size() == 1) {
    run(110, [&] { list.AddFileEntry(parts[0]); });
    return;
  }
  const std::string folder = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string path;
    run(112, [&] { path = JoinPath(folder, parts[i]); });
    run(114, [&] { list.AddFileEntry(path); });
  }
}

void PushButton6_Click(FileList& list) {
  support::Steps run{loc::kAddFolder, list.host()};
  auto& dialogs = list.dialogs();
  std::string answer;
  std::string chosen;
  run(100, [&] {
    answer = dialogs.Input(kExtensionPrompt, support::AppTitle(), ReadSetting("Extension", "do*"));
  });
  run(102, [&] {
    if (!answer.empty()) WriteSetting("Extension", answer);
  });
  if (run.test(104, [&] { return answer.empty(); })) return;
  run(106, [&] { LastFolder() = ReadSetting("LastFolder", ""); });
  run(333, [&] { chosen = dialogs.BrowseFolder("Please select folder:", LastFolder()); });
  if (run.test(334, [&] { return chosen.empty(); })) return;
  run(108, [&] { LastFolder() = chosen; });
  run(110, [&] { WriteSetting("LastFolder", chosen); });
  run(112, [&] { list.host().SetPointer(support::kPointerHourglass); });
  filelist::AddFolderFiles(list, chosen, "*." + answer, run);
  run(140, [&] { list.host().SetPointer(support::kPointerDefault); });
}

void PushButton9_Click(FileList& list) {
  support::Steps run{loc::kClearList, list.host()};
  run(100, [&] {
    if (list.host().GetPointer() != support::kPointerHourglass) list.ClearFileList();
  });
}

void PushButton10_Click(FileList& list) {
  support::Steps run{loc::kLoadSamples, list.host()};
  run(100, [&] { filelist::LoadSampleFiles(list); });
}

void PushButton5_Click(FileList& list) {
  support::Steps run{loc::kHelp, list.host()};
  // A failed question counts as Yes: the document is opened all the same.
  if (!run.test(100, [&] {
        return list.dialogs().Message(kHelpMessage, support::Buttons::YesNo, support::Icon::None) ==
               support::Answer::Yes;
      }))
    return;
  run(102, [&] {
    list.dialogs().OpenWithShell(filelist::ProgramFolderPath() + kSep +
                                 "Sample Mail Merge Document.doc");
  });
}

}  // namespace app
