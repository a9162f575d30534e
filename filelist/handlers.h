#pragma once
// The main window's list buttons and the list's ways of being filled. Each
// handler reports its own failures under its own location.

#include <string>
#include <vector>

namespace filelist {

class FileList;

// "Add Word File(s)": the open-file dialog, one or several files.
void PushButton1_Click(FileList& list);
// "Add All Word File(s) In Folder": extension prompt, folder picker, scan.
void PushButton6_Click(FileList& list);
// "Clear List" (does nothing while the window shows the hourglass).
void PushButton9_Click(FileList& list);
// "Load Sample/Example Files".
void PushButton10_Click(FileList& list);
// "Help".
void PushButton5_Click(FileList& list);

// Adds every file below `folder` whose name matches `pattern` ("*.do*", "*.*").
void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern);

}  // namespace filelist
