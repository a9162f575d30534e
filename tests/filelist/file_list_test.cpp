// The list's own edits: adding, removing, clearing and drag-reordering, each
// with and without the hourglass that a run or a scan shows.
#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include "app/list_buttons.h"
#include "file_list_fixture.h"
#include "support/locations.h"

namespace filelist_test {
namespace {

using support::kPointerHourglass;

class ListEditTest : public FileListTest {
 protected:
  void Fill(const std::vector<std::string>& paths) {
    for (const auto& p : paths) list->AddFileEntry(p);
  }
  void Show(int height = 300) {
    list->resize(400, height);
    list->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list.get()));
  }
  QPoint Center(int position) {
    return list->visualItemRect(list->topLevelItem(position - 1)).center();
  }
  void Send(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(pos), QPointF(list->viewport()->mapToGlobal(pos)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &event);
  }
  void Press(QPoint pos) { Send(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton); }
  void MoveHeld(QPoint pos) { Send(QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton); }
  void MoveFree(QPoint pos) { Send(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton); }
  void Release(QPoint pos) { Send(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton); }
  // The events a double-click delivers: press, release, double-click, release.
  void DoubleClick(QPoint pos) {
    Press(pos);
    Release(pos);
    Send(QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    Release(pos);
  }
  void PressKey(Qt::Key key) { QTest::keyClick(list.get(), key); }
};

TEST_F(ListEditTest, EntriesKeepTheirTextAndOrderAndDuplicatesStay) {
  Fill({"C:\\Docs\\b.doc", "/tmp/a b/ä.docx", "C:\\Docs\\b.doc", ""});
  EXPECT_EQ(list->Count(), 4);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"C:\\Docs\\b.doc", "/tmp/a b/ä.docx",
                                                       "C:\\Docs\\b.doc", ""}));
  EXPECT_EQ(list->EntryText(2), "/tmp/a b/ä.docx");
  EXPECT_EQ(list->EntryText(0), "");
  EXPECT_EQ(list->EntryText(5), "");
  EXPECT_EQ(list->SelectedPosition(), 0);
}

TEST_F(ListEditTest, DeleteKeyRemovesTheSelectedEntryOnly) {
  Fill({"a", "b", "c"});
  list->SelectPosition(2);
  PressKey(Qt::Key_Delete);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"a", "c"}));
  // Other keys are no edits (Backspace, letters); with no selection Delete does nothing.
  list->clearSelection();
  PressKey(Qt::Key_Backspace);
  PressKey(Qt::Key_X);
  PressKey(Qt::Key_Delete);
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(ListEditTest, DoubleClickRemovesTheSelectedEntryWhereverItLands) {
  Fill({"a", "b", "c"});
  Show();
  list->SelectPosition(1);
  // Below the last entry: empty area, the selection still goes.
  DoubleClick(QPoint(20, list->viewport()->height() - 5));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"b", "c"}));
  DoubleClick(Center(2));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"b"}));
}

TEST_F(ListEditTest, TheHourglassBlocksRemoveAndClearButNotAdding) {
  Fill({"a", "b", "c"});
  Show();
  list->SelectPosition(2);
  host.pointer = kPointerHourglass;
  PressKey(Qt::Key_Delete);
  DoubleClick(Center(2));
  app::PushButton9_Click(*list);
  list->AddFileEntry("d");
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_TRUE(host.reports.empty());

  host.pointer = support::kPointerDefault;
  app::PushButton9_Click(*list);
  EXPECT_EQ(list->Count(), 0);
  // Editing an empty list is harmless.
  PressKey(Qt::Key_Delete);
  app::PushButton9_Click(*list);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_TRUE(host.reports.empty());
}

// A host that cannot tell its pointer: the list's own handling swallows the
// failure, the "Clear List" button reports it at its only line.
class PointerlessHost : public TestHost {
 public:
  int GetPointer() override { throw std::runtime_error("The pointer is unknown."); }
  void SetPointer(int) override { throw std::runtime_error("The pointer cannot be set."); }
};

TEST_F(ListEditTest, AFailingPointerNeverLeavesAnEventHandler) {
  PointerlessHost pointerless;
  filelist::FileList other(pointerless, dialogs);
  other.AddFileEntry("a");
  other.AddFileEntry("b");
  other.SelectPosition(1);
  QTest::keyClick(&other, Qt::Key_Delete);
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(other.viewport(), &move);
  EXPECT_EQ(other.Count(), 2);
  app::PushButton9_Click(other);
  EXPECT_EQ(other.Count(), 2);
  ASSERT_EQ(pointerless.reportDetails.size(), 1u);
  EXPECT_EQ(pointerless.reportDetails[0].location, loc::kClearList);
  EXPECT_EQ(pointerless.reportDetails[0].line, 100);
  EXPECT_EQ(pointerless.reportDetails[0].description, "The pointer is unknown.");
}

TEST_F(ListEditTest, TheThirdOfFiveWalksToTheTopOverItsNeighbours) {
  Fill({"p1", "p2", "p3", "p4", "p5"});
  Show();
  Press(Center(3));
  EXPECT_TRUE(list->DragArmed());
  EXPECT_EQ(list->DraggedPosition(), 3);
  MoveHeld(Center(2));
  MoveHeld(Center(1));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"p3", "p1", "p2", "p4", "p5"}));
  EXPECT_EQ(list->SelectedPosition(), 1);
  EXPECT_EQ(list->DraggedPosition(), 1);
  Release(Center(1));
  EXPECT_FALSE(list->DragArmed());
  EXPECT_EQ(list->ListPointer(), support::kPointerArrow);
  // Moving after the release changes nothing.
  MoveFree(Center(4));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"p3", "p1", "p2", "p4", "p5"}));
}

TEST_F(ListEditTest, AJumpOverSeveralEntriesSwapsOnlyTheTwo) {
  Fill({"A", "B", "C", "D"});
  Show();
  Press(Center(1));
  MoveHeld(Center(4));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"D", "B", "C", "A"}));
  EXPECT_EQ(list->SelectedPosition(), 4);
  // Back over the same entry, and over itself: the dragged path travels on.
  MoveHeld(Center(4));
  MoveHeld(Center(3));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"D", "B", "A", "C"}));
}

TEST_F(ListEditTest, EqualPathsSwapNothing) {
  Fill({"same", "other", "same"});
  Show();
  Press(Center(1));
  MoveHeld(Center(3));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"same", "other", "same"}));
  EXPECT_EQ(list->DraggedPosition(), 1);
  EXPECT_EQ(list->SelectedPosition(), 1);
}

TEST_F(ListEditTest, AMoveNeverTouchesARemovedEntry) {
  Fill({"a", "b", "c"});
  Show();
  Press(Center(2));
  list->RemoveSelectedEntry();  // the dragged entry goes while the button is held
  EXPECT_EQ(list->DraggedPosition(), 0);
  MoveHeld(Center(1));
  MoveHeld(Center(2));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"a", "c"}));
  Release(Center(2));
  // After a clear, a press on empty space and a move reorder nothing either.
  list->ClearFileList();
  Fill({"x", "y"});
  Press(QPoint(20, list->viewport()->height() - 5));
  MoveHeld(Center(1));
  MoveHeld(Center(2));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"x", "y"}));
}

TEST_F(ListEditTest, MovesResetTheWindowPointerUnlessTheHourglassShows) {
  Fill({"a", "b"});
  Show();
  host.pointer = support::kPointerCustom;  // left by a button's hover
  MoveFree(Center(1));
  EXPECT_EQ(host.pointer, support::kPointerDefault);
  host.pointer = kPointerHourglass;
  MoveFree(Center(2));
  Press(Center(1));
  MoveHeld(Center(2));
  EXPECT_EQ(host.pointer, kPointerHourglass);
  // Reordering is not an edit the hourglass guards.
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ListEditTest, TheDragPointerIsTheIconBesideTheProgramOrAClosedHand) {
  testing_support::TempDir program;
  fs::copy_file(fs::path(testing_support::BinDir()) / "drag.ico", program.path() / "drag.ico");
  const std::string saved = support::ProgramFolder();
  support::SetProgramFolder(program.str());
  Fill({"a", "b"});
  Show();

  Press(Center(1));
  EXPECT_EQ(list->ListPointer(), support::kPointerCustom);
  EXPECT_EQ(list->viewport()->cursor().shape(), Qt::BitmapCursor);
  EXPECT_FALSE(list->viewport()->cursor().pixmap().isNull());
  Release(Center(1));
  EXPECT_EQ(list->viewport()->cursor().shape(), Qt::ArrowCursor);

  fs::remove(program.path() / "drag.ico");
  Press(Center(2));
  EXPECT_EQ(list->ListPointer(), support::kPointerCustom);
  EXPECT_EQ(list->viewport()->cursor().shape(), Qt::ClosedHandCursor);
  MoveHeld(Center(1));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{"b", "a"}));
  Release(Center(1));
  EXPECT_EQ(list->ListPointer(), support::kPointerArrow);
  support::SetProgramFolder(saved);
}

TEST_F(ListEditTest, TheShippedDragIconLoads) {
  const QPixmap icon(QString::fromStdString(testing_support::BinDir() + "/drag.ico"));
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.width(), 32);
  EXPECT_EQ(icon.height(), 32);
}

TEST_F(ListEditTest, DraggingNearAnEdgeScrollsOneEntryOnlyAfterASwap) {
  for (int i = 1; i <= 40; ++i) list->AddFileEntry("entry " + std::to_string(i));
  Show(120);
  QScrollBar* bar = list->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  ASSERT_EQ(bar->value(), 0);

  // At the top: a swap with the first entry has nothing above it to show.
  Press(Center(2));
  const QRect first = list->visualItemRect(list->topLevelItem(0));
  MoveHeld(QPoint(first.center().x(), first.top() + 1));
  EXPECT_EQ(list->EntryText(1), "entry 2");
  EXPECT_EQ(bar->value(), 0);
  Release(first.center());

  // In the middle nothing scrolls.
  Press(Center(2));
  MoveHeld(Center(3));
  EXPECT_EQ(bar->value(), 0);
  Release(Center(3));

  // At the bottom edge the entry below the one under the pointer comes into view.
  const int height = list->viewport()->height();
  QTreeWidgetItem* last = list->itemAt(QPoint(10, height - 2));
  ASSERT_NE(last, nullptr);
  const int lastRow = list->indexOfTopLevelItem(last);
  MoveFree(QPoint(10, height - 2));  // not armed: no swap, no scroll
  EXPECT_EQ(bar->value(), 0);
  Press(Center(lastRow));  // the entry above it
  MoveHeld(QPoint(10, height - 2));
  EXPECT_EQ(list->EntryText(lastRow + 1), "entry " + std::to_string(lastRow));
  EXPECT_GT(bar->value(), 0);
  const QRect below = list->visualItemRect(list->topLevelItem(lastRow + 1));
  EXPECT_LE(below.bottom(), height);
  Release(QPoint(10, height - 2));
}

TEST_F(ListEditTest, TheListNeverDragsItsOwnEntriesOut) {
  EXPECT_FALSE(list->dragEnabled());
  EXPECT_TRUE(list->viewport()->acceptDrops());
}

}  // namespace
}  // namespace filelist_test
