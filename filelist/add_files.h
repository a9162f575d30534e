#pragma once
// Filling the list from folders: every matching file below a folder (the
// add-folder button, dropped folders) and the shipped sample files.

#include <string>

namespace support {
class Steps;
}

namespace filelist {

class FileList;

// folder + separator + name with doubled separators collapsed; a folder that
// already ends in the separator gets no second one.
std::string JoinPath(const std::string& folder, const std::string& name);

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

extern const char* const kOpenSamplesQuestion;

}  // namespace filelist
