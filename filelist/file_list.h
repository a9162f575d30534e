#pragma once
// ListView1: the list of input files. Entries are plain full paths, 1-based,
// duplicates allowed, added only through AddFileEntry, never sorted or saved.
//
// The list's own edits: double-click and the Delete key remove the selected
// entry, and dragging an entry with a button held walks its path through the
// list (each move over another entry exchanges the two paths). Files and
// folders dropped from a file manager are added; folders by their files.

#include <QPersistentModelIndex>
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
  // Removes the entry that holds the selection; nothing without one.
  void RemoveSelectedEntry();
  void ClearFileList();
  int Count() const;
  std::string EntryText(int position) const;  // from 1; "" outside the list
  std::vector<std::string> Entries() const;
  // The position (from 1) of the selected entry, 0 when none is selected.
  int SelectedPosition() const;
  void SelectPosition(int position);

  support::Host& host() { return host_; }
  support::Dialogs& dialogs() { return dialogs_; }

  // Drag-reordering state, readable for the window and for tests.
  bool DragArmed() const { return dragArmed_; }
  // The position (from 1) of the dragged entry, 0 when none or removed.
  int DraggedPosition() const;
  // The list's own pointer value: 0 default, 1 arrow, 99 the drag icon (or
  // the closed hand standing in when "drag.ico" is missing).
  int ListPointer() const { return listPointer_; }

  // The steps of the list's mouse handling, as the events call them.
  void OnButtonDown();
  void OnEntryClicked();
  void OnMouseMove(const QPoint& viewportPos);
  void OnButtonUp();
  // The double-click and Delete-key edit; nothing while the hourglass shows.
  void RemoveSelectedUnlessBusy();
  // Adds the dropped paths in order: folders by their files ("*.*"), anything
  // else as delivered.
  void DropPaths(const std::vector<std::string>& paths);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void SetListPointer(int pointer);

  support::Host& host_;
  support::Dialogs& dialogs_;
  bool dragArmed_ = false;
  // Follows the dragged path as it travels; invalid once its entry is gone,
  // so that a later move never touches a removed entry.
  QPersistentModelIndex draggedEntry_;
  int listPointer_ = 0;
};

}  // namespace filelist
