#include "filelist/file_list.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QUrl>

#include "filelist/add_files.h"
#include "filelist/program_folder.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

namespace filelist {

std::string ProgramFolderPath() {
  if (!support::ProgramFolder().empty()) return support::ProgramFolder();
  return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

namespace {

bool HasLocalFiles(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return false;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return true;
  return false;
}

// The list's mouse, key and drop handling has no report of its own, and
// nothing may leave a Qt event handler by an exception: a failure there ends
// the handling of that one event.
template <typename F>
void Quietly(F&& action) {
  try {
    action();
  } catch (...) {
  }
}

}  // namespace

FileList::FileList(support::Host& host, support::Dialogs& dialogs, QWidget* parent)
    : QTreeWidget(parent), host_(host), dialogs_(dialogs) {
  setColumnCount(1);
  setRootIsDecorated(false);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Entries are never dragged out of the list; files are dropped into it.
  setDragEnabled(false);
  setDragDropMode(QAbstractItemView::NoDragDrop);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  // Moves without a button still reach the handler: they reset the window's
  // pointer that the buttons' hover handling sets.
  viewport()->setMouseTracking(true);
  setToolTip(
      "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
      "window to reveal full names.");
}

void FileList::AddFileEntry(const std::string& path) {
  auto* item = new QTreeWidgetItem(this);
  item->setText(0, QString::fromStdString(path));
}

void FileList::RemoveSelectedEntry() {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return;
  delete selected.front();
}

void FileList::ClearFileList() {
  clear();
}

int FileList::Count() const {
  return topLevelItemCount();
}

std::string FileList::EntryText(int position) const {
  const auto* item = position >= 1 ? topLevelItem(position - 1) : nullptr;
  return item ? item->text(0).toStdString() : std::string();
}

std::vector<std::string> FileList::Entries() const {
  std::vector<std::string> out;
  out.reserve(Count());
  for (int i = 1; i <= Count(); ++i) out.push_back(EntryText(i));
  return out;
}

int FileList::SelectedPosition() const {
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (selected.isEmpty()) return 0;
  return indexOfTopLevelItem(selected.front()) + 1;
}

void FileList::SelectPosition(int position) {
  if (auto* item = position >= 1 ? topLevelItem(position - 1) : nullptr) setCurrentItem(item);
}

int FileList::DraggedPosition() const {
  return draggedEntry_.isValid() ? draggedEntry_.row() + 1 : 0;
}

void FileList::SetListPointer(int pointer) {
  listPointer_ = pointer;
  if (pointer == support::kPointerCustom) {
    const QString icon = QString::fromStdString(ProgramFolderPath() + support::kSep + "drag.ico");
    const QPixmap pixmap(icon);
    if (!pixmap.isNull()) {
      viewport()->setCursor(QCursor(pixmap, 0, 0));
    } else {
      viewport()->setCursor(Qt::ClosedHandCursor);
    }
  } else if (pointer == support::kPointerArrow) {
    viewport()->setCursor(Qt::ArrowCursor);
  } else {
    viewport()->unsetCursor();
  }
}

void FileList::OnButtonDown() {
  dragArmed_ = true;
}

void FileList::OnEntryClicked() {
  SetListPointer(support::kPointerCustom);
  const QList<QTreeWidgetItem*> selected = selectedItems();
  draggedEntry_ = selected.isEmpty() ? QPersistentModelIndex()
                                     : QPersistentModelIndex(indexFromItem(selected.front()));
}

void FileList::OnMouseMove(const QPoint& viewportPos) {
  if (host_.GetPointer() != support::kPointerHourglass) host_.SetPointer(support::kPointerDefault);
  if (!dragArmed_) return;
  QTreeWidgetItem* target = itemAt(viewportPos);
  if (!target || !draggedEntry_.isValid()) return;
  QTreeWidgetItem* dragged = itemFromIndex(draggedEntry_);
  if (!dragged || dragged->text(0) == target->text(0)) return;

  const QString draggedText = dragged->text(0);
  dragged->setText(0, target->text(0));
  target->setText(0, draggedText);
  setCurrentItem(target);
  draggedEntry_ = QPersistentModelIndex(indexFromItem(target));

  // Scroll one entry on when the pointer is within a row's height of the
  // list's top or bottom edge, so the dragged path can travel past the
  // visible part of the list.
  const int row = indexOfTopLevelItem(target);
  const int rowHeight = std::max(1, visualItemRect(target).height());
  if (viewportPos.y() < rowHeight) {
    if (row > 0) scrollToItem(topLevelItem(row - 1));
  } else if (viewportPos.y() >= viewport()->height() - rowHeight) {
    if (row < Count() - 1) scrollToItem(topLevelItem(row + 1));
  }
}

void FileList::OnButtonUp() {
  dragArmed_ = false;
  SetListPointer(support::kPointerArrow);
}

void FileList::RemoveSelectedUnlessBusy() {
  if (host_.GetPointer() == support::kPointerHourglass) return;
  if (Count() < 1) return;
  RemoveSelectedEntry();
}

void FileList::DropPaths(const std::vector<std::string>& paths) {
  // A dropped folder is expanded by the add-folder code, so its failures are
  // reported under the add-folder location, with the line of the step that
  // failed; the entries added before a failure stay.
  support::Steps run{loc::kAddFolder, host_};
  for (const std::string& path : paths) {
    if (support::IsFolder(path)) {
      AddFolderFiles(*this, path, "*.*", run);
    } else {
      run(126, [&] { AddFileEntry(path); });
    }
  }
}

void FileList::mousePressEvent(QMouseEvent* event) {
  OnButtonDown();
  if (!itemAt(event->position().toPoint())) {
    // A press on the empty area keeps the selection, so a double-click there
    // still removes the selected entry.
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
  Quietly([&] { OnEntryClicked(); });
}

void FileList::mouseMoveEvent(QMouseEvent* event) {
  // While armed the base class is left out: it would move the selection on
  // its own and fight the reorder.
  const bool armed = dragArmed_;
  Quietly([&] { OnMouseMove(event->position().toPoint()); });
  if (!armed) QTreeWidget::mouseMoveEvent(event);
}

void FileList::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  OnButtonUp();
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event) {
  // The click point is not hit-tested: the selected entry goes, wherever the
  // double-click landed.
  OnButtonDown();
  Quietly([&] { RemoveSelectedUnlessBusy(); });
  event->accept();
}

void FileList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete) {
    Quietly([&] { RemoveSelectedUnlessBusy(); });
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void FileList::dragEnterEvent(QDragEnterEvent* event) {
  if (HasLocalFiles(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FileList::dragMoveEvent(QDragMoveEvent* event) {
  if (HasLocalFiles(event->mimeData())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void FileList::dragLeaveEvent(QDragLeaveEvent* event) {
  event->accept();
}

void FileList::dropEvent(QDropEvent* event) {
  if (!HasLocalFiles(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  Quietly([&] {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
      if (url.isLocalFile())
        paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdString());
    }
    DropPaths(paths);
  });
}

}  // namespace filelist
