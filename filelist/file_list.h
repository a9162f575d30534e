#pragma once
// ListView1: the list of input files. Entries are plain full paths, 1-based,
// duplicates allowed, added only through AddFileEntry.

#include <QTreeWidget>
#include <string>
#include <vector>

namespace support {
class Host;
class Dialogs;
}  // namespace support

namespace filelist {

class FileList : public QTreeWidget {
  Q_OBJECT

 public:
  // `host` gives the main window's pointer (the hourglass guards edits), the
  // yields of long scans and the error report.
  FileList(support::Host& host, support::Dialogs& dialogs, QWidget* parent = nullptr);

  void AddFileEntry(const std::string& path);
  void RemoveSelectedEntry();
  void ClearFileList();
  int Count() const;
  std::string EntryText(int position) const;  // from 1
  std::vector<std::string> Entries() const;

  support::Host& host() { return host_; }
  support::Dialogs& dialogs() { return dialogs_; }

 private:
  support::Host& host_;
  support::Dialogs& dialogs_;
};

}  // namespace filelist
