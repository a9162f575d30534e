#include "filelist/handlers.h"

#include "filelist/file_list.h"

namespace filelist {

void PushButton1_Click(FileList&) {}
void PushButton6_Click(FileList&) {}
void PushButton9_Click(FileList& list) { list.ClearFileList(); }
void PushButton10_Click(FileList&) {}
void PushButton5_Click(FileList&) {}
void AddFolderFiles(FileList&, const std::string&, const std::string&) {}

}  // namespace filelist
