#pragma once
// The main window's list buttons and the list's ways of being filled. Each
// handler reports its own failures under its own location.

#include <string>
#include <vector>

namespace support {
class Steps;
}

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

// Adds every file below `folder` whose name matches `pattern` ("*.do*", "*.*"),
// folder by folder breadth first, skipping Word's owner files ("~..."),
// LibreOffice's lock files and files that are exactly hidden and archive.
// Failures are reported under the add-folder location.
void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern);
// The same, reporting through the caller's steps (the button's, a drop's).
void AddFolderFiles(FileList& list, const std::string& folder, const std::string& pattern,
                    support::Steps& run);

// The files of the "Samples" folder beside the program that the list does not
// hold yet, then the question whether to open that folder.
void LoadSampleFiles(FileList& list);

// The texts the handlers show.
extern const char* const kTooManyFilesMessage;
extern const char* const kExtensionPrompt;
extern const char* const kOpenSamplesQuestion;
extern const char* const kHelpMessage;

}  // namespace filelist
