// The main window: start-up, the option controls and what the store holds,
// the output-folder browse, the pointer rules, the skin, and the host.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "app/desktop.h"
#include "app/form1.h"
#include "app/settings.h"
#include "app_fixture.h"
#include "engine/engine.h"
#include "engine/factory.h"
#include "filelist/file_list.h"
#include "support/config.h"
#include "support/error_report.h"
#include "support/locations.h"

namespace apptest {
namespace {

using Store_t = std::map<std::string, std::string>;

void MoveOver(QWidget* widget) {
  QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

QWidget* Child(QWidget& form, const char* name) {
  auto* w = form.findChild<QWidget*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

// ---------------------------------------------------------------- start-up

TEST_F(FormTest, first_start_selects_the_designed_options_and_stores_three_keys) {
  auto& form = LoadedForm();
  EXPECT_TRUE(form.Option1().isChecked());
  EXPECT_FALSE(form.Option2().isChecked());
  EXPECT_TRUE(form.Option3().isChecked());
  EXPECT_FALSE(form.Option4().isChecked());
  EXPECT_EQ(form.Combo1().currentIndex(), 0);
  EXPECT_EQ(form.Combo1().currentText(), QString("Rename by x first word(s)"));
  EXPECT_FALSE(form.Combo1().isEnabled());
  EXPECT_TRUE(form.Frame3().isEnabled());
  EXPECT_TRUE(form.Check1().isChecked());
  const std::string desktop = app::GetDesktopFolder();
  EXPECT_EQ(form.Text1().text().toStdString(), desktop);
  EXPECT_EQ(Store(), (Store_t{{"Combo1", "0"}, {"Output Folder", desktop}, {"Check1", "1"}}));
  EXPECT_TRUE(Reports().empty());
}

// A platform that knows no desktop folder: the first start reports it where
// the folder box is filled, leaves the box empty and goes on.
TEST_F(FormTest, no_desktop_folder_is_reported_and_the_start_goes_on) {
  app::SetSpecialFolderSource([](int) { return std::string(); });
  EXPECT_THROW(app::GetDesktopFolder(), std::runtime_error);
  auto& form = LoadedForm();
  app::SetSpecialFolderSource({});
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, support::ErrorReportText("The desktop folder could not be found.",
                                                      loc::kFormLoad, 138));
  EXPECT_TRUE(form.Text1().text().isEmpty());
  EXPECT_TRUE(form.Option3().isChecked());
  EXPECT_FALSE(form.Ended());
}

TEST(DesktopFolder, ends_in_one_separator) {
  app::SetSpecialFolderSource([](int) { return std::string("/home/ann/Desktop"); });
  EXPECT_EQ(app::GetDesktopFolder(), "/home/ann/Desktop/");
  app::SetSpecialFolderSource([](int) { return std::string("/home/ann/Desktop/"); });
  EXPECT_EQ(app::GetDesktopFolder(), "/home/ann/Desktop/");
  app::SetSpecialFolderSource({});
}

TEST_F(FormTest, start_up_restores_every_option_and_the_enabled_states_follow) {
  Store("Option1", "False");
  Store("Option2", "True");
  Store("Combo1", "3");
  Store("Option3", "0");
  Store("Option4", "-1");
  Store("Check1", "0");
  Store("Output Folder", "/half/typed");
  auto& form = LoadedForm();
  EXPECT_TRUE(form.Option2().isChecked());
  EXPECT_FALSE(form.Option1().isChecked());
  EXPECT_TRUE(form.Combo1().isEnabled());
  EXPECT_EQ(form.Combo1().currentIndex(), 3);
  EXPECT_TRUE(form.Option4().isChecked());
  EXPECT_FALSE(form.Frame3().isEnabled());
  EXPECT_FALSE(form.Check1().isChecked());
  EXPECT_EQ(form.Text1().text(), QString("/half/typed"));
  const auto s = form.Settings();
  EXPECT_TRUE(s.NameByContent);
  EXPECT_EQ(s.ContentRule, 3);
  EXPECT_FALSE(s.SaveToChosenFolder);
  EXPECT_TRUE(s.SaveToSourceFolder);
  EXPECT_EQ(s.OutputFolder, "/half/typed");
  EXPECT_FALSE(s.ApplyBackspace);
  // Restoring runs the click procedures, which write both keys of each pair.
  EXPECT_EQ(Store()["Option1"], "False");
  EXPECT_EQ(Store()["Option2"], "True");
  EXPECT_EQ(Store()["Option3"], "False");
  EXPECT_EQ(Store()["Option4"], "True");
  EXPECT_TRUE(Reports().empty());
}

TEST_F(FormTest, an_unconvertible_stored_value_gives_one_start_up_report_and_start_up_goes_on) {
  struct Case {
    const char* key;
    const char* value;
    int line;
    const char* description;
  };
  const Case cases[] = {{"Combo1", "x", 130, "Type mismatch"},
                        {"Combo1", "9", 130, "Invalid property value"},
                        {"Option1", "maybe", 132, "Type mismatch"},
                        {"Option3", "", 140, "Type mismatch"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    dialogs_.shown.clear();
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quillory", "Parvane").clear();
    Store(c.key, c.value);
    Store("Output Folder", "/restored/");
    auto& form = LoadedForm();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, support::ErrorReportText(c.description, loc::kFormLoad, c.line));
    // The control keeps its state and the later settings are still restored.
    EXPECT_TRUE(form.Option1().isChecked());
    EXPECT_TRUE(form.Option3().isChecked());
    EXPECT_EQ(form.Text1().text(), QString("/restored/"));
    EXPECT_EQ(form.Combo1().count(), 6);
  }
}

TEST_F(FormTest, the_window_has_its_designed_controls_captions_and_size) {
  auto& form = LoadedForm();
  EXPECT_EQ(form.windowTitle(), QString("Parvane"));
  EXPECT_FALSE(form.windowIcon().isNull());
  EXPECT_EQ(support::AppTitle(), "Parvane");
  EXPECT_EQ(form.size(), QSize(form.Px(8040), form.Px(8745)));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(form.font().bold());
  EXPECT_DOUBLE_EQ(form.font().pointSizeF(), 9);

  const std::pair<const char*, const char*> captions[] = {
      {"PushButton1", "Add Word File(s)"},
      {"PushButton6", "Add All Word File(s) In Folder"},
      {"PushButton9", "Clear List"},
      {"PushButton10", "Load Sample/Example Files"},
      {"PushButton2", "Start Splitting"},
      {"PushButton5", "Help"},
      {"PushButton7", "..."}};
  for (const auto& [name, caption] : captions) {
    auto* button = form.findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_EQ(button->text(), QString(caption));
    EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25) << name;
  }
  EXPECT_EQ(form.findChild<QGroupBox*>("Frame1")->title(), QString("Output Options"));
  EXPECT_EQ(form.findChild<QGroupBox*>("Frame5")->title(), QString("Save Option"));
  EXPECT_EQ(form.Option1().text(),
            QString("Name splits as <filename>1.doc, <filename>2.doc, etc."));
  EXPECT_EQ(form.Option2().text(), QString("Name splits based on contents of file:"));
  EXPECT_EQ(form.Option3().text(), QString("Save results to this folder:"));
  EXPECT_EQ(form.Option4().text(), QString("Save results in folder of original file"));
  EXPECT_EQ(form.Bar().text(), QString("Progress Bar"));
  EXPECT_EQ(form.Bar().minimum(), 0);
  EXPECT_EQ(form.Bar().maximum(), 100);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(form.Combo1().itemText(i), QString(app::kContentRules[i]));
  EXPECT_EQ(form.Combo1().itemText(5), QString("Rename by x first word(s) on page y"));

  // Positions in twips, relative to the container.
  EXPECT_EQ(Child(form, "ListView1")->geometry(),
            QRect(form.Px(120), form.Px(630), form.Px(7800), form.Px(2295)));
  EXPECT_EQ(Child(form, "Text1")->parentWidget(), &form.Frame3());
  EXPECT_EQ(form.Frame3().parentWidget()->objectName(), QString("Frame5"));
  EXPECT_EQ(Child(form, "Text1")->geometry(),
            QRect(form.Px(240), form.Px(300), form.Px(5670), form.Px(345)));

  auto& list = form.List();
  EXPECT_EQ(list.headerItem()->text(0), QString(" Word Files"));
  EXPECT_EQ(list.columnWidth(0), form.Px(7000));
  EXPECT_EQ(list.toolTip(),
            QString("Drag and drop files here. Double-click item to remove it. Move | line to "
                    "right and out of window to reveal full names."));
  // The backspace option is kept out of sight below the client area.
  EXPECT_GE(form.Check1().mapTo(&form, QPoint(0, 0)).y(), form.height());
}

TEST_F(FormTest, tab_order_follows_the_design) {
  auto& form = LoadedForm();
  const char* expected[] = {"ListView1",    "Option1",     "Option2",     "Combo1",
                            "EachSplit",    "PushButton1", "PushButton6", "PushButton9",
                            "PushButton10", "PushButton2", "PushButton5", "Option4",
                            "Option3",      "Text1",       "PushButton7"};
  QWidget* w = Child(form, "ListView1");
  for (std::size_t i = 1; i < std::size(expected); ++i) {
    do {
      w = w->nextInFocusChain();
    } while (w->focusPolicy() == Qt::NoFocus || !(w->focusPolicy() & Qt::TabFocus));
    EXPECT_EQ(w->objectName().toStdString(), expected[i]);
  }
}

TEST_F(FormTest, a_failing_word_check_shows_the_advice_and_the_window_is_never_shown) {
  engine::Builtin().SetFailCreation(true);
  bool ended = false;
  auto& form = MakeForm();
  form.SetEndProgram([&] { ended = true; });
  form.Form_Load();
  EXPECT_TRUE(ended);
  EXPECT_TRUE(form.Ended());
  EXPECT_FALSE(form.isVisible());
  ASSERT_EQ(dialogs_.MessageTexts().size(), 1u);
  EXPECT_EQ(dialogs_.MessageTexts()[0], engine::WordNotInstalledMessage());
  EXPECT_EQ(dialogs_.Of("message")[0].title, "Parvane");
}

TEST_F(FormTest, the_makers_page_opens_on_the_lucky_draw_only) {
  MakeForm().SetMakerPageDraw([] { return 7; });
  form_->Form_Load();
  const auto shell = dialogs_.Of("shell");
  if (std::string(config::kMakerPage).empty()) {
    EXPECT_TRUE(shell.empty());
  } else {
    EXPECT_EQ(shell.size(), 1u);
  }
}

// ------------------------------------------------------------ option clicks

TEST_F(FormTest, each_option_click_writes_both_keys_of_its_pair) {
  auto& form = LoadedForm();
  QTest::mouseClick(&form.Option2(), Qt::LeftButton);
  EXPECT_TRUE(form.Combo1().isEnabled());
  EXPECT_EQ(Store()["Option1"], "False");
  EXPECT_EQ(Store()["Option2"], "True");
  EXPECT_TRUE(form.Settings().NameByContent);

  QTest::mouseClick(&form.Option1(), Qt::LeftButton);
  EXPECT_FALSE(form.Combo1().isEnabled());
  EXPECT_EQ(Store()["Option1"], "True");
  EXPECT_EQ(Store()["Option2"], "False");
  EXPECT_FALSE(form.Settings().NameByContent);

  form.Text1().setText("/kept/");
  QTest::mouseClick(&form.Option4(), Qt::LeftButton);
  EXPECT_EQ(Store()["Option3"], "False");
  EXPECT_EQ(Store()["Option4"], "True");
  EXPECT_FALSE(form.Frame3().isEnabled());
  EXPECT_FALSE(form.Text1().isEnabled());
  EXPECT_FALSE(Child(form, "PushButton7")->isEnabled());
  EXPECT_TRUE(form.Settings().SaveToSourceFolder);
  EXPECT_FALSE(form.Settings().SaveToChosenFolder);

  QTest::mouseClick(&form.Option3(), Qt::LeftButton);
  EXPECT_EQ(Store()["Option3"], "True");
  EXPECT_EQ(Store()["Option4"], "False");
  EXPECT_TRUE(form.Text1().isEnabled());
  EXPECT_EQ(form.Text1().text(), QString("/kept/"));
}

TEST_F(FormTest, clicking_the_selected_option_writes_its_pair_again) {
  Store("Option3", "True");
  Store("Option4", "True");
  auto& form = LoadedForm();
  QTest::mouseClick(&form.Option1(), Qt::LeftButton);
  EXPECT_EQ(Store()["Option1"], "True");
  EXPECT_EQ(Store()["Option2"], "False");
  // The restored pair shows one selected button, and a click repairs the store.
  EXPECT_TRUE(form.Option4().isChecked());
  EXPECT_FALSE(form.Option3().isChecked());
  QTest::mouseClick(&form.Option4(), Qt::LeftButton);
  EXPECT_EQ(Store()["Option3"], "False");
  EXPECT_EQ(Store()["Option4"], "True");
}

TEST_F(FormTest, choosing_a_rule_stores_its_index) {
  auto& form = LoadedForm();
  QTest::mouseClick(&form.Option2(), Qt::LeftButton);
  form.Combo1().setFocus();
  QTest::keyClick(&form.Combo1(), Qt::Key_Down);
  QTest::keyClick(&form.Combo1(), Qt::Key_Down);
  EXPECT_EQ(form.Combo1().currentIndex(), 2);
  EXPECT_EQ(Store()["Combo1"], "2");
  EXPECT_EQ(form.Settings().ContentRule, 2);
}

TEST_F(FormTest, typing_in_the_folder_box_stores_every_keystroke) {
  auto& form = LoadedForm();
  form.Text1().clear();
  EXPECT_EQ(Store()["Output Folder"], "");
  const std::string typed = "/tmp/out";
  for (std::size_t i = 0; i < typed.size(); ++i) {
    QTest::keyClick(&form.Text1(), typed[i]);
    EXPECT_EQ(Store()["Output Folder"], typed.substr(0, i + 1));
  }
  EXPECT_EQ(form.Settings().OutputFolder, typed);
}

// "Name each split from its own contents" is off on a first start, goes with
// Combo1 (usable only while Option2 is selected), is stored at every click and
// restored at the next start.
TEST_F(FormTest, the_each_split_box_follows_option2_and_is_stored_and_restored) {
  {
    auto& form = LoadedForm();
    EXPECT_FALSE(form.EachSplit().isChecked());
    EXPECT_FALSE(form.EachSplit().isEnabled());
    EXPECT_EQ(Store().count("EachSplit"), 0u);
    EXPECT_EQ(form.EachSplit().parentWidget()->objectName(), QString("Frame1"));
    EXPECT_EQ(form.EachSplit().text(), QString("Name each split from its own contents"));
    EXPECT_FALSE(form.EachSplit().accessibleName().isEmpty());
    EXPECT_FALSE(form.EachSplit().toolTip().isEmpty());
    // Under Combo1, inside its frame.
    const QRect box = form.EachSplit().geometry(), combo = form.Combo1().geometry();
    EXPECT_GE(box.top(), combo.bottom());
    EXPECT_EQ(box.left(), combo.left());
    EXPECT_LE(box.bottom(), form.EachSplit().parentWidget()->height());
    QTest::mouseClick(&form.Option2(), Qt::LeftButton);
    EXPECT_TRUE(form.EachSplit().isEnabled());
    QTest::mouseClick(&form.EachSplit(), Qt::LeftButton);
    EXPECT_EQ(Store()["EachSplit"], "True");
    EXPECT_TRUE(form.Settings().EachSplit);
    QTest::mouseClick(&form.Option1(), Qt::LeftButton);
    EXPECT_FALSE(form.EachSplit().isEnabled());
    EXPECT_TRUE(form.EachSplit().isChecked());  // kept for the next time
  }
  form_.reset();
  {
    auto& form = LoadedForm();
    EXPECT_TRUE(form.EachSplit().isChecked());
    EXPECT_FALSE(form.EachSplit().isEnabled());
    QTest::mouseClick(&form.Option2(), Qt::LeftButton);
    QTest::mouseClick(&form.EachSplit(), Qt::LeftButton);
    EXPECT_EQ(Store()["EachSplit"], "False");
  }
  form_.reset();
  Store("Option1", "False");
  Store("Option2", "True");
  Store("EachSplit", "True");
  auto& form = LoadedForm();
  EXPECT_TRUE(form.EachSplit().isChecked());
  EXPECT_TRUE(form.EachSplit().isEnabled());
  EXPECT_TRUE(Reports().empty());
}

TEST_F(FormTest, the_backspace_option_is_stored_as_a_digit) {
  auto& form = LoadedForm();
  form.Check1().click();
  EXPECT_EQ(Store()["Check1"], "0");
  form.Check1().click();
  EXPECT_EQ(Store()["Check1"], "1");
}

// ------------------------------------------------------------------- browse

TEST_F(FormTest, browsing_to_a_folder_appends_the_separator_and_stores_it) {
  Store("LastFolder", "/start/here");
  auto& form = LoadedForm();
  dialogs_.browseAnswers = {"/chosen/folder"};
  form.PushButton7_Click();
  const auto browse = dialogs_.Of("browse");
  ASSERT_EQ(browse.size(), 1u);
  EXPECT_EQ(browse[0].title, "Please select folder:");
  EXPECT_EQ(browse[0].text, "/start/here");
  EXPECT_EQ(form.Text1().text(), QString("/chosen/folder/"));
  EXPECT_EQ(Store()["Output Folder"], "/chosen/folder/");
  EXPECT_EQ(Store()["LastFolderDot"], "/chosen/folder");
  EXPECT_EQ(Store()["LastFolder"], "/start/here");
}

TEST_F(FormTest, browsing_to_a_root_keeps_the_path_unchanged) {
  auto& form = LoadedForm();
  dialogs_.browseAnswers = {"/"};
  form.PushButton7_Click();
  EXPECT_EQ(form.Text1().text(), QString("/"));
  EXPECT_EQ(Store()["Output Folder"], "/");
}

TEST_F(FormTest, cancelling_the_browse_changes_nothing) {
  auto& form = LoadedForm();
  const QString before = form.Text1().text();
  const auto storeBefore = Store();
  dialogs_.browseAnswers = {""};
  form.PushButton7_Click();
  EXPECT_EQ(form.Text1().text(), before);
  EXPECT_EQ(Store(), storeBefore);
  EXPECT_TRUE(Reports().empty());
}

// ------------------------------------------------------------------ pointer

TEST_F(FormTest, the_hand_shows_over_buttons_and_the_arrow_over_background_and_frames) {
  ShipCursor();
  auto& form = LoadedForm();
  ASSERT_TRUE(form.HasHandCursor());
  for (const char* button : {"PushButton1", "PushButton2", "PushButton5", "PushButton6",
                             "PushButton7", "PushButton9", "PushButton10"}) {
    form.SetPointer(support::kPointerArrow);
    MoveOver(Child(form, button));
    EXPECT_EQ(form.GetPointer(), support::kPointerCustom) << button;
    EXPECT_EQ(form.cursor().shape(), Qt::BitmapCursor) << button;
  }
  for (const char* background : {"Form1", "Frame1", "Frame3", "Frame5"}) {
    form.SetPointer(support::kPointerCustom);
    MoveOver(background == std::string("Form1") ? &form : Child(form, background));
    EXPECT_EQ(form.GetPointer(), support::kPointerArrow) << background;
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor) << background;
  }
}

TEST_F(FormTest, controls_without_a_move_procedure_leave_the_pointer_as_it_was) {
  ShipCursor();
  auto& form = LoadedForm();
  form.SetPointer(support::kPointerCustom);
  for (const char* name : {"Option1", "Option3", "Combo1", "Text1", "ProgressBar1"}) {
    MoveOver(Child(form, name));
    EXPECT_EQ(form.GetPointer(), support::kPointerCustom) << name;
  }
}

TEST_F(FormTest, the_hourglass_stays_while_the_mouse_crosses_buttons_and_frames) {
  ShipCursor();
  auto& form = LoadedForm();
  form.SetPointer(support::kPointerHourglass);
  MoveOver(Child(form, "PushButton2"));
  MoveOver(Child(form, "Frame1"));
  MoveOver(&form);
  EXPECT_EQ(form.GetPointer(), support::kPointerHourglass);
  EXPECT_EQ(form.cursor().shape(), Qt::WaitCursor);
}

TEST_F(FormTest, without_the_cursor_file_start_up_is_silent_and_buttons_show_no_hand) {
  auto& form = LoadedForm();
  EXPECT_FALSE(form.HasHandCursor());
  EXPECT_TRUE(Reports().empty());
  MoveOver(Child(form, "PushButton1"));
  EXPECT_EQ(form.GetPointer(), support::kPointerCustom);
  EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(FormTest, a_cursor_file_that_is_no_picture_is_reported_at_its_step) {
  testing_support::WriteFile(programDir_.path() / "HAND-M.CUR", "not a cursor");
  auto& form = LoadedForm();
  EXPECT_FALSE(form.HasHandCursor());
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_NE(Reports()[0].text.find("at line 104"), std::string::npos);
}

// --------------------------------------------------------------------- skin

TEST_F(FormTest, without_a_skin_the_designed_colours_stay) {
  auto& form = LoadedForm();
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form.Option1().palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(Child(form, "Frame1")->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(form.styleSheet().isEmpty());
}

TEST_F(FormTest, a_skin_gives_options_frames_and_window_the_button_colour) {
  ShipSkin("QProgressBar { color: #123456; }\n");
  auto& form = MakeForm();
  const QColor buttonBefore = Child(form, "PushButton1")->palette().color(QPalette::Window);
  const QColor listBefore = Child(form, "ListView1")->palette().color(QPalette::Base);
  form.Form_Load();
  EXPECT_TRUE(Reports().empty());
  const QColor face = QApplication::palette().color(QPalette::Button);
  ASSERT_NE(face, QColor(Qt::white));
  EXPECT_EQ(form.palette().color(QPalette::Window), face);
  for (const char* name : {"Option1", "Option2", "Option3", "Option4", "Check1", "Frame1", "Frame2",
                           "Frame3", "Frame5"}) {
    EXPECT_EQ(Child(form, name)->palette().color(QPalette::Window), face) << name;
  }
  EXPECT_EQ(Child(form, "PushButton1")->palette().color(QPalette::Window), buttonBefore);
  EXPECT_EQ(Child(form, "ListView1")->palette().color(QPalette::Base), listBefore);
  EXPECT_FALSE(form.styleSheet().isEmpty());
}

TEST_F(FormTest, a_broken_skin_is_reported_at_line_100_and_start_up_goes_on) {
  for (const std::string& broken :
       {std::string("QPushButton { color: red; "), std::string("\0\1\2binary", 9)}) {
    dialogs_.shown.clear();
    ShipSkin(broken);
    auto& form = LoadedForm();
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(std::string("in ") + loc::kFormLoad + " at line 100"),
              std::string::npos);
    EXPECT_EQ(form.windowTitle(), QString("Parvane"));
    EXPECT_EQ(form.Combo1().currentIndex(), 0);
  }
}

TEST_F(FormTest, the_shipped_skin_parses_and_keeps_every_control_in_place) {
  std::filesystem::create_directories(programDir_.path() / "x");
  std::filesystem::copy_file(
      std::filesystem::path(testing_support::SourceDir()) / "resources" / "x" / "o.cjs",
      programDir_.path() / "x" / "o.cjs");
  auto& plain = MakeForm();
  std::map<QString, QRect> designed;
  for (QWidget* w : plain.findChildren<QWidget*>())
    if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
      designed[w->objectName()] = w->geometry();
  plain.Form_Load();
  EXPECT_TRUE(Reports().empty());
  for (QWidget* w : plain.findChildren<QWidget*>()) {
    auto it = designed.find(w->objectName());
    if (it != designed.end()) {
      EXPECT_EQ(w->geometry(), it->second) << it->first.toStdString();
    }
  }
}

// --------------------------------------------------------------------- host

TEST_F(FormTest, the_progress_bar_truncates_values_and_shows_texts_as_given) {
  auto& form = LoadedForm();
  form.SetProgressValue(66.99);
  EXPECT_EQ(form.Bar().value(), 66);
  form.SetProgressValue(250);
  EXPECT_EQ(form.Bar().value(), 100);
  form.SetProgressValue(-3);
  EXPECT_EQ(form.Bar().value(), 0);
  form.SetProgressText("Processing: 100%p %v.docx");
  EXPECT_EQ(form.Bar().text(), QString("Processing: 100%p %v.docx"));
}

TEST_F(FormTest, settings_are_read_live_from_the_controls) {
  auto& form = LoadedForm();
  form.Text1().setText("/a/");
  EXPECT_EQ(form.Settings().OutputFolder, "/a/");
  form.Text1().setText("/b/");
  EXPECT_EQ(form.Settings().OutputFolder, "/b/");
  form.Option2().click();
  form.Combo1().setCurrentIndex(4);
  EXPECT_EQ(form.Settings().ContentRule, 4);
  EXPECT_TRUE(form.Settings().NameByContent);
}

TEST_F(FormTest, closing_during_a_run_ends_the_program_at_once) {
  auto& form = LoadedForm();
  int endedNow = 0;
  form.SetEndNow([&] { ++endedNow; });
  form.SetPointer(support::kPointerHourglass);
  form.close();
  EXPECT_EQ(endedNow, 1);
}

}  // namespace
}  // namespace apptest
