// The real dialogs: what they show and what they hand back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>

#include "app/qt_dialogs.h"
#include "support/dialogs.h"
#include "testing.h"

namespace {

using testing_support::TempDir;

// Runs `act` on the first modal dialog of type T once it is shown.
template <typename T>
void WhenShown(std::function<void(T&)> act) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [act, poll] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<T*>(w); dialog && dialog->isVisible()) {
        act(*dialog);
        return;
      }
    }
    QTimer::singleShot(10, *poll);
  };
  QTimer::singleShot(0, *poll);
}

TEST(DialogTexts, line_ends_show_as_line_breaks) {
  EXPECT_EQ(app::ForDisplay("a\r\nb\rc\r\r\nd"), QString("a\nb\nc\n\nd"));
  EXPECT_EQ(app::ForDisplay("plain"), QString("plain"));
}

TEST(DialogTexts, name_filters_in_qt_form) {
  EXPECT_EQ(app::QtNameFilter("Word Documents (*.do*)|*.do*|All Files (*.*)|*.*"),
            QString("Word Documents (*.do*);;All Files (*)"));
  EXPECT_EQ(app::QtNameFilter("Docs|*.doc;*.docx"), QString("Docs (*.doc *.docx)"));
}

TEST(ChosenFolder, a_root_keeps_its_separator_other_folders_have_none) {
  EXPECT_EQ(app::ChosenFolderPath("/"), "/");
  EXPECT_EQ(app::ChosenFolderPath("/tmp/letters/"), "/tmp/letters");
  EXPECT_EQ(app::ChosenFolderPath("/tmp/letters"), "/tmp/letters");
  EXPECT_EQ(app::ChosenFolderPath(""), "");
}

TEST(OpenFilesResult, one_path_or_folder_and_names_separated_by_nul) {
  EXPECT_EQ(app::OpenFilesResult({}), "");
  EXPECT_EQ(app::OpenFilesResult({"/docs/a.doc"}), "/docs/a.doc");
  EXPECT_EQ(app::OpenFilesResult({"/docs/b.doc", "/docs/a.doc"}),
            std::string("/docs\0b.doc\0a.doc", 17));
  EXPECT_EQ(app::OpenFilesResult({"/x.doc", "/y.doc"}), std::string("/\0x.doc\0y.doc", 13));
}

TEST(QtMessage, questions_put_yes_first_and_answer_what_was_clicked) {
  support::SetAppTitle("Parvane");
  app::QtDialogs dialogs;
  QString title, text;
  bool yesFirst = false;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    title = box.windowTitle();
    text = box.text();
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    for (QAbstractButton* b : box.buttons()) {
      if (b->text() == "&Yes") yes = qobject_cast<QPushButton*>(b);
      if (b->text() == "&No") no = qobject_cast<QPushButton*>(b);
    }
    ASSERT_TRUE(yes && no);
    yesFirst = yes->mapTo(&box, QPoint(0, 0)).x() < no->mapTo(&box, QPoint(0, 0)).x();
    EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
    no->click();
  });
  EXPECT_EQ(dialogs.Message("Go on?\r\n\r\nReally?", support::Buttons::YesNo, support::Icon::None),
            support::Answer::No);
  EXPECT_EQ(title, QString("Parvane"));
  EXPECT_EQ(text, QString("Go on?\n\nReally?"));
  EXPECT_TRUE(yesFirst);

  WhenShown<QMessageBox>([](QMessageBox& box) {
    for (QAbstractButton* b : box.buttons())
      if (b->text() == "&Yes") b->click();
  });
  EXPECT_EQ(dialogs.Message("Go on?", support::Buttons::YesNo, support::Icon::None),
            support::Answer::Yes);
}

TEST(QtMessage, error_reports_keep_their_title_and_warning_icon) {
  app::QtDialogs dialogs;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenShown<QMessageBox>([&](QMessageBox& box) {
    title = box.windowTitle();
    icon = box.icon();
    box.buttons().front()->click();
  });
  EXPECT_EQ(dialogs.Message("x", support::Buttons::Ok, support::Icon::Warning, "Application Error"),
            support::Answer::Ok);
  EXPECT_EQ(title, QString("Application Error"));
  EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST(QtInput, cancel_gives_the_empty_answer) {
  app::QtDialogs dialogs;
  QString shownDefault;
  WhenShown<QInputDialog>([&](QInputDialog& box) {
    shownDefault = box.textValue();
    box.setTextValue("2,5");
    box.accept();
  });
  EXPECT_EQ(dialogs.Input("Enter X", "Input X", "1"), "2,5");
  EXPECT_EQ(shownDefault, QString("1"));
  WhenShown<QInputDialog>([](QInputDialog& box) { box.reject(); });
  EXPECT_EQ(dialogs.Input("Enter X", "Input X", "1"), "");
}

TEST(QtBrowseFolder, opens_at_the_start_folder_and_returns_the_choice_without_separator) {
  TempDir dir;
  QDir(QString::fromStdString(dir.str())).mkdir("chosen");
  const std::string chosen = dir.file("chosen");
  app::QtDialogs dialogs;
  QString openedAt;
  WhenShown<QFileDialog>([&](QFileDialog& box) {
    openedAt = box.directory().absolutePath();
    box.selectFile(QString::fromStdString(chosen));
    static_cast<QDialog&>(box).accept();
  });
  EXPECT_EQ(dialogs.BrowseFolder("Please select folder:", dir.str()), chosen);
  EXPECT_EQ(openedAt.toStdString(), dir.str());

  WhenShown<QFileDialog>([](QFileDialog& box) { box.reject(); });
  EXPECT_EQ(dialogs.BrowseFolder("Please select folder:", dir.str()), "");
}

TEST(QtBrowseFolder, a_missing_start_folder_opens_the_default) {
  app::QtDialogs dialogs;
  bool shown = false;
  WhenShown<QFileDialog>([&](QFileDialog& box) {
    shown = true;
    box.reject();
  });
  EXPECT_EQ(dialogs.BrowseFolder("Please select folder:", "/no/such/folder/here"), "");
  EXPECT_TRUE(shown);
}

}  // namespace
