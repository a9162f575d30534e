// Drops on the list: files as delivered, folders by all their files, anything
// without local files refused.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "file_list_fixture.h"
#include "support/locations.h"

namespace filelist_test {
namespace {

const std::string kS(1, support::kSep);

class DropTest : public FileListTest {
 protected:
  static QMimeData* Files(const std::vector<std::string>& paths) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    mime->setUrls(urls);
    return mime;
  }
  bool Enter(QMimeData* mime) {
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    const bool entered = enter.isAccepted();
    QDragMoveEvent move(QPoint(12, 12), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    EXPECT_EQ(move.isAccepted(), entered);
    return entered;
  }
  // Delivered as a real drop is: after the drag entered the list (Qt sends a
  // drop only to the widget that took the drag in).
  bool Drop(QMimeData* mime) {
    std::unique_ptr<QMimeData> owned(mime);
    Enter(mime);
    QDropEvent drop(QPointF(12, 12), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    return drop.isAccepted();
  }
  // The files of a dropped folder, folder by folder breadth first.
  std::vector<std::string> Expanded(const std::string& folder) {
    std::vector<std::string> out;
    std::vector<std::string> level{folder};
    while (!level.empty()) {
      std::vector<std::string> next;
      for (const auto& f : level) {
        for (const auto& n : ListingOrder(support::ToFsPath(f), false))
          if (n[0] != '~') out.push_back(f + kS + n);
        for (const auto& n : ListingOrder(support::ToFsPath(f), true)) next.push_back(f + kS + n);
      }
      level = next;
    }
    return out;
  }
};

TEST_F(DropTest, TextIsRefusedAndChangesNothing) {
  auto* text = new QMimeData;
  text->setText("C:\\not\\a\\file.doc");
  EXPECT_FALSE(Enter(text));
  EXPECT_FALSE(Drop(text));
  auto* web = new QMimeData;
  web->setUrls({QUrl("https://example.com/letter.doc")});
  EXPECT_FALSE(Enter(web));
  EXPECT_FALSE(Drop(web));
  // Even a drop of text on a list that took a drag of files in is refused.
  auto* files = Files({Touch("a.doc")});
  EXPECT_TRUE(Enter(files));
  auto* plain = new QMimeData;
  plain->setText("a.doc");
  QDropEvent drop(QPointF(12, 12), Qt::CopyAction, plain, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &drop);
  EXPECT_FALSE(drop.isAccepted());
  delete plain;
  delete files;
  EXPECT_EQ(list->Count(), 0);
}

TEST_F(DropTest, FilesAreAddedAsDeliveredInDropOrder) {
  const std::string a = Touch("z.doc");
  const std::string b = Touch("a.txt");
  const std::string missing = P("not there.docx");
  list->AddFileEntry(a);
  auto* mime = Files({a, b, missing});
  EXPECT_TRUE(Enter(mime));
  EXPECT_TRUE(Drop(mime));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{a, a, b, missing}));
}

TEST_F(DropTest, AFolderGivesAllItsFilesAndItsSubFolders) {
  Touch("in/a.doc");
  Touch("in/notes.txt");
  Touch("in/~$a.doc");
  Touch("in/sub/b.doc");
  EXPECT_TRUE(Drop(Files({P("in")})));
  const auto expected = Expanded(P("in"));
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(list->Entries(), expected);
  EXPECT_EQ(list->EntryText(3), P("in/sub/b.doc"));
  // No busy pointer and no prompt for a drop.
  EXPECT_TRUE(host.pointers.empty());
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DropTest, TwoFoldersAreExpandedOneAfterTheOther) {
  Touch("one/1.doc");
  Touch("one/deep/2.doc");
  Touch("two/3.doc");
  Touch("two/deep/4.doc");
  EXPECT_TRUE(Drop(Files({P("two"), P("one")})));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{P("two/3.doc"), P("two/deep/4.doc"),
                                                       P("one/1.doc"), P("one/deep/2.doc")}));
}

TEST_F(DropTest, AFileAndAFolderKeepTheDropOrder) {
  const std::string file = Touch("loose.doc");
  Touch("folder/inside.doc");
  EXPECT_TRUE(Drop(Files({P("folder"), file, P("folder")})));
  EXPECT_EQ(list->Entries(),
            (std::vector<std::string>{P("folder/inside.doc"), file, P("folder/inside.doc")}));
}

TEST_F(DropTest, ADropIsTakenWhileTheHourglassShows) {
  host.pointer = support::kPointerHourglass;
  const std::string file = Touch("a.doc");
  auto* mime = Files({file});
  EXPECT_TRUE(Enter(mime));
  EXPECT_TRUE(Drop(mime));
  EXPECT_EQ(list->Entries(), (std::vector<std::string>{file}));
  EXPECT_EQ(host.pointer, support::kPointerHourglass);
}

TEST_F(DropTest, AFailureWhileExpandingIsReportedAndEarlierEntriesStay) {
  const std::string file = Touch("first.doc");
  Touch("folder/a.doc");
  Touch("folder/sub/b.doc");
  // The first yield of the file-adding loop (after the scan's four) fails.
  host.failYield = 5;
  EXPECT_TRUE(Drop(Files({file, P("folder"), file})));
  ASSERT_EQ(host.reportDetails.size(), 1u);
  EXPECT_EQ(host.reportDetails[0].location, loc::kAddFolder);
  EXPECT_EQ(host.reportDetails[0].line, 118);
  EXPECT_EQ(list->Entries(),
            (std::vector<std::string>{file, P("folder/a.doc"), P("folder/sub/b.doc"), file}));
}

}  // namespace
}  // namespace filelist_test
