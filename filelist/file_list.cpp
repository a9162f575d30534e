#include "filelist/file_list.h"

#include "support/host.h"

namespace filelist {

FileList::FileList(support::Host& host, support::Dialogs& dialogs, QWidget* parent)
    : QTreeWidget(parent), host_(host), dialogs_(dialogs) {
  setColumnCount(1);
  setRootIsDecorated(false);
}

void FileList::AddFileEntry(const std::string& path) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(path));
}

void FileList::RemoveSelectedEntry() { delete currentItem(); }

void FileList::ClearFileList() { clear(); }

int FileList::Count() const { return topLevelItemCount(); }

std::string FileList::EntryText(int position) const {
  const auto* item = topLevelItem(position - 1);
  return item ? item->text(0).toStdString() : std::string();
}

std::vector<std::string> FileList::Entries() const {
  std::vector<std::string> out;
  for (int i = 1; i <= Count(); ++i) out.push_back(EntryText(i));
  return out;
}

}  // namespace filelist
