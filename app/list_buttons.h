#pragma once
// The main window's list buttons: add files, add a folder, clear, samples and
// help. Each handler reports its own failures under its own location.

namespace filelist {
class FileList;
}

namespace app {

// "Add Word File(s)": the open-file dialog, one or several files.
void PushButton1_Click(filelist::FileList& list);
// "Add All Word File(s) In Folder": extension prompt, folder picker, scan.
void PushButton6_Click(filelist::FileList& list);
// "Clear List" (does nothing while the window shows the hourglass).
void PushButton9_Click(filelist::FileList& list);
// "Load Sample/Example Files".
void PushButton10_Click(filelist::FileList& list);
// "Help".
void PushButton5_Click(filelist::FileList& list);

// The texts the handlers show.
extern const char* const kTooManyFilesMessage;
extern const char* const kExtensionPrompt;
extern const char* const kHelpMessage;

}  // namespace app
