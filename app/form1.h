#pragma once
// Form1: the main window. It holds every option in its controls, writes each
// change to the settings store at once, hands the engine the live options
// (support::Host), and runs the batch behind "Start Splitting".

#include <QCursor>
#include <QProgressBar>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "engine/word.h"
#include "support/host.h"
#include "support/startup.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace support {
class Dialogs;
class Steps;
}  // namespace support

namespace filelist {
class FileList;
}

namespace app {

// The progress bar shows its text as given: Qt's own placeholders ("%p",
// "%v") must not turn a file name such as "100%p.docx" into a number.
class ProgressBar : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;
  QString text() const override { return text_; }
  void SetText(const QString& text) {
    text_ = text;
    update();
  }

 private:
  QString text_;
};

// The six content rules of Combo1, index 0 first.
extern const char* const kContentRules[6];

class Form1 : public QWidget, public support::Host {
  Q_OBJECT

 public:
  explicit Form1(support::Dialogs& dialogs, word::Factory& factory = word::DefaultFactory(),
                 QWidget* parent = nullptr);
  ~Form1() override;

  // Start-up, before the window is first shown. Afterwards Ended() tells
  // whether the word processor check ended the program.
  void Form_Load();
  bool Ended() const { return ended_; }

  // What start-up does to end the program (by default it only marks Ended).
  void SetEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }
  // What closing the window does while work is in progress; by default the
  // process ends at once.
  void SetEndNow(std::function<void()> end) { endNow_ = std::move(end); }
  // The draw that decides whether start-up opens the maker's page.
  void SetMakerPageDraw(support::DrawPercent draw) { makerPageDraw_ = std::move(draw); }

  // support::Host
  support::SplitSettings Settings() override;
  void SetProgressValue(double percent) override;
  void SetProgressText(const std::string& text) override;
  void SetPointer(int pointer) override;
  int GetPointer() override { return pointer_; }
  void Yield() override;
  void ReportError(const std::string& description, const std::string& location, int line) override;

  // Event procedures.
  void Option1_Click();
  void Option2_Click();
  void Option3_Click();
  void Option4_Click();
  void Combo1_Click();
  void EachSplit_Click();
  void Check1_Click();
  void Text1_Change();
  void PushButton7_Click();
  void PushButton2_Click();
  // Mouse moves: over one of the seven buttons, over the background or a frame.
  void ButtonMouseMove();
  void BackgroundMouseMove();

  bool Busy() const { return busy_; }
  bool HasHandCursor() const { return hand_.has_value(); }
  // Twips in this window's pixels (15 twips a pixel at 96 DPI).
  int Px(int twips) const;

  support::Dialogs& dialogs() { return dialogs_; }
  filelist::FileList& List() { return *listView1_; }
  ProgressBar& Bar() { return *progressBar1_; }
  QRadioButton& Option1() { return *option1_; }
  QRadioButton& Option2() { return *option2_; }
  QRadioButton& Option3() { return *option3_; }
  QRadioButton& Option4() { return *option4_; }
  QComboBox& Combo1() { return *combo1_; }
  // "Name each split from its own contents", under Combo1.
  QCheckBox& EachSplit() { return *eachSplit_; }
  QCheckBox& Check1() { return *check1_; }
  QLineEdit& Text1() { return *text1_; }
  QGroupBox& Frame3() { return *frame3_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void Place(QWidget* widget, int left, int top, int width, int height);
  QPushButton* MakeButton(const char* name, const char* caption, QWidget* container);
  void LoadHandCursor(const std::string& path);
  void RestoreOptions(support::Steps& run);

  support::Dialogs& dialogs_;
  word::Factory& factory_;
  std::function<void()> endProgram_;
  std::function<void()> endNow_;
  // The working copy of the file being split by contents, until it is
  // discarded: a window closed in the middle of the run takes it away too.
  std::string workingCopy_, workingEntry_;
  support::DrawPercent makerPageDraw_;
  bool ended_ = false;
  bool busy_ = false;
  int pointer_ = support::kPointerDefault;
  std::optional<QCursor> hand_;

  ProgressBar* progressBar1_ = nullptr;
  filelist::FileList* listView1_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QCheckBox* eachSplit_ = nullptr;
  QPushButton* pushButton1_ = nullptr;
  QPushButton* pushButton6_ = nullptr;
  QPushButton* pushButton9_ = nullptr;
  QPushButton* pushButton10_ = nullptr;
  QPushButton* pushButton2_ = nullptr;
  QPushButton* pushButton5_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QCheckBox* check1_ = nullptr;
  QGroupBox* frame5_ = nullptr;
  QRadioButton* option4_ = nullptr;
  QRadioButton* option3_ = nullptr;
  QGroupBox* frame3_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QPushButton* pushButton7_ = nullptr;
};

}  // namespace app
