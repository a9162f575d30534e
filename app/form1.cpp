#include "app/form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "app/app_icon.h"
#include "app/conversions.h"
#include "app/desktop.h"
#include "app/list_buttons.h"
#include "app/settings.h"
#include "app/skin.h"
#include "engine/engine.h"
#include "engine/factory.h"
#include "filelist/file_list.h"
#include "support/dialogs.h"
#include "support/error_report.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

namespace app {

const char* const kContentRules[6] = {
    "Rename by x first word(s)",
    "Rename by x first word(s) in header",
    "Rename by x first word(s) in footer",
    "Rename by x first word(s) on page 2",
    "Rename by x first word(s) on last page",
    "Rename by x first word(s) on page y",
};

namespace {

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

// The hot spot that a .cur file records for its first image; Qt's reader
// gives the picture only.
QPoint CursorHotSpot(const QByteArray& bytes) {
  if (bytes.size() < 22) return QPoint(0, 0);
  const auto u16 = [&](int at) {
    return static_cast<int>(static_cast<unsigned char>(bytes[at]) |
                            (static_cast<unsigned char>(bytes[at + 1]) << 8));
  };
  if (u16(0) != 0 || u16(2) != 2) return QPoint(0, 0);
  return QPoint(u16(10), u16(12));
}

// Frames paint the window's white; the push buttons and the list keep the
// colours they are given here even when the window's colours change.
void PinPalette(QWidget& widget) {
  QPalette palette = widget.palette();
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
    palette.setColor(role, palette.color(role));
  widget.setPalette(palette);
}

}  // namespace

Form1::Form1(support::Dialogs& dialogs, word::Factory& factory, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), factory_(factory) {
  endNow_ = [] {
    std::fflush(nullptr);
    std::_Exit(0);
  };
  BuildControls();
  // The "Word may be open" question looks for lock files beside the listed
  // documents.
  factory_.SetWatchedDocuments([this] { return listView1_->Entries(); });
}

Form1::~Form1() {
  factory_.SetWatchedDocuments(nullptr);
}

int Form1::Px(int twips) const {
  const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
  return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

void Form1::Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QPushButton* Form1::MakeButton(const char* name, const char* caption, QWidget* container) {
  auto* button = new QPushButton(caption, container);
  button->setObjectName(name);
  QFont font = this->font();
  font.setPointSizeF(11.25);
  button->setFont(font);
  button->setMouseTracking(true);
  button->installEventFilter(this);
  PinPalette(*button);
  return button;
}

void Form1::BuildControls() {
  setObjectName("Form1");
  QFont font("Arial");
  font.setPointSizeF(9);
  font.setBold(true);
  setFont(font);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);
  setFixedSize(Px(8040), Px(8745));
  setMouseTracking(true);
  installEventFilter(this);

  // Controls that have no mouse-move procedure of their own keep the pointer
  // as it was: their moves must not reach the frame or window behind them.
  auto quiet = [](QWidget* w) { w->setAttribute(Qt::WA_NoMousePropagation); };
  auto frame = [&](const char* name, const char* caption, QWidget* container) {
    auto* box = new QGroupBox(caption, container);
    box->setObjectName(name);
    box->setMouseTracking(true);
    box->installEventFilter(this);
    box->setAutoFillBackground(true);
    return box;
  };
  auto option = [&](const char* name, const char* caption, QWidget* container) {
    auto* button = new QRadioButton(caption, container);
    button->setObjectName(name);
    quiet(button);
    return button;
  };

  progressBar1_ = new ProgressBar(this);
  progressBar1_->setObjectName("ProgressBar1");
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(true);
  progressBar1_->setAlignment(Qt::AlignCenter);
  progressBar1_->SetText("Progress Bar");
  quiet(progressBar1_);
  Place(progressBar1_, 120, 8220, 7800, 405);

  listView1_ = new filelist::FileList(*this, dialogs_, this);
  listView1_->setObjectName("ListView1");
  listView1_->setFont(font);
  listView1_->setToolTip(
      "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
      "window to reveal full names.");
  PinPalette(*listView1_);
  quiet(listView1_);
  Place(listView1_, 120, 630, 7800, 2295);

  // The list gives up 240 twips so that "Output Options" holds the box under
  // Combo1 while the frames below keep their places.
  frame1_ = frame("Frame1", "Output Options", this);
  Place(frame1_, 120, 3990, 7800, 1710);
  option1_ = option("Option1", "Name splits as <filename>1.doc, <filename>2.doc, etc.", frame1_);
  Place(option1_, 240, 300, 5700, 225);
  option1_->setChecked(true);
  option2_ = option("Option2", "Name splits based on contents of file:", frame1_);
  Place(option2_, 240, 650, 4500, 225);
  combo1_ = new QComboBox(frame1_);
  combo1_->setObjectName("Combo1");
  combo1_->setEditable(false);
  combo1_->setEnabled(false);
  quiet(combo1_);
  Place(combo1_, 480, 960, 5385, 345);
  eachSplit_ = new QCheckBox("Name each split from its own contents", frame1_);
  eachSplit_->setObjectName("EachSplit");
  eachSplit_->setEnabled(false);
  eachSplit_->setAccessibleName("Name each split from its own contents");
  eachSplit_->setToolTip(
      "Name every split after the words the rule above finds in that split alone (each letter "
      "after its own recipient) instead of after the first words of the whole document.");
  quiet(eachSplit_);
  Place(eachSplit_, 480, 1365, 5385, 255);

  pushButton1_ = MakeButton("PushButton1", "Add Word File(s)", this);
  Place(pushButton1_, 120, 3010, 3840, 405);
  pushButton6_ = MakeButton("PushButton6", "Add All Word File(s) In Folder", this);
  Place(pushButton6_, 4080, 3010, 3840, 405);
  pushButton9_ = MakeButton("PushButton9", "Clear List", this);
  Place(pushButton9_, 120, 3520, 3840, 405);
  pushButton10_ = MakeButton("PushButton10", "Load Sample/Example Files", this);
  Place(pushButton10_, 4080, 3520, 3840, 405);
  pushButton2_ = MakeButton("PushButton2", "Start Splitting", this);
  Place(pushButton2_, 120, 7700, 7800, 405);
  pushButton5_ = MakeButton("PushButton5", "Help", this);
  Place(pushButton5_, 120, 120, 7800, 405);

  // "Backspace Option": stored and restored, read by nothing; it sits below
  // the client area, out of sight and out of the tab order.
  frame2_ = frame("Frame2", "Backspace Option", this);
  Place(frame2_, 120, 8900, 7800, 615);
  check1_ = new QCheckBox(
      "Apply backspace to end of splits to remove extra page created during splitting", frame2_);
  check1_->setObjectName("Check1");
  check1_->setFocusPolicy(Qt::NoFocus);
  quiet(check1_);
  Place(check1_, 240, 300, 7400, 255);

  frame5_ = frame("Frame5", "Save Option", this);
  Place(frame5_, 120, 5760, 7800, 1815);
  option4_ = option("Option4", "Save results in folder of original file", frame5_);
  Place(option4_, 240, 1410, 3615, 255);
  option3_ = option("Option3", "Save results to this folder:", frame5_);
  Place(option3_, 240, 300, 3615, 255);
  option3_->setChecked(true);
  frame3_ = frame("Frame3", "", frame5_);
  frame3_->setFlat(true);
  Place(frame3_, 480, 510, 6840, 810);
  text1_ = new QLineEdit(frame3_);
  text1_->setObjectName("Text1");
  quiet(text1_);
  Place(text1_, 240, 300, 5670, 345);
  pushButton7_ = MakeButton("PushButton7", "...", frame3_);
  Place(pushButton7_, 6000, 300, 600, 345);

  QWidget* order[] = {progressBar1_, listView1_,   frame1_,      option1_,     option2_,
                      combo1_,       eachSplit_,   pushButton1_, pushButton6_, pushButton9_,
                      pushButton10_, pushButton2_, pushButton5_, frame5_,      option4_,
                      option3_,      frame3_,      text1_,       pushButton7_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  // A user's click runs the procedure even on the selected button (it writes
  // the pair again); start-up runs it itself when it changes a value.
  connect(option1_, &QRadioButton::clicked, this, [this] { Option1_Click(); });
  connect(option2_, &QRadioButton::clicked, this, [this] { Option2_Click(); });
  connect(option3_, &QRadioButton::clicked, this, [this] { Option3_Click(); });
  connect(option4_, &QRadioButton::clicked, this, [this] { Option4_Click(); });
  connect(check1_, &QCheckBox::toggled, this, [this] { Check1_Click(); });
  connect(combo1_, &QComboBox::activated, this, [this] { Combo1_Click(); });
  connect(eachSplit_, &QCheckBox::clicked, this, [this] { EachSplit_Click(); });
  connect(text1_, &QLineEdit::textChanged, this, [this] { Text1_Change(); });

  connect(pushButton1_, &QPushButton::clicked, this, [this] { PushButton1_Click(*listView1_); });
  connect(pushButton6_, &QPushButton::clicked, this, [this] { PushButton6_Click(*listView1_); });
  connect(pushButton9_, &QPushButton::clicked, this, [this] { PushButton9_Click(*listView1_); });
  connect(pushButton10_, &QPushButton::clicked, this, [this] { PushButton10_Click(*listView1_); });
  connect(pushButton5_, &QPushButton::clicked, this, [this] { PushButton5_Click(*listView1_); });
  connect(pushButton2_, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
  connect(pushButton7_, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
}

void Form1::LoadHandCursor(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    throw std::runtime_error(path + ": " + file.errorString().toStdString());
  }
  const QByteArray bytes = file.readAll();
  QPixmap picture;
  if (!picture.loadFromData(bytes, "CUR") && !picture.loadFromData(bytes)) {
    throw std::runtime_error("Invalid picture: " + path);
  }
  const QPoint hot = CursorHotSpot(bytes);
  hand_ = QCursor(picture, hot.x(), hot.y());
}

void Form1::Form_Load() {
  support::Steps run{loc::kFormLoad, *this};
  run(100, [&] { ApplySkin(*this); });
  const std::string cursorFile = support::ProgramFolder() + support::kSep + "HAND-M.CUR";
  if (!support::ProgramFolder().empty() &&
      run.test(102, [&] { return support::PathExists(cursorFile); })) {
    run(104, [&] { LoadHandCursor(cursorFile); });
  }
  run(106, [&] {
    if (makerPageDraw_) {
      support::OpenMakerPageAtRandom(dialogs_, makerPageDraw_);
    } else {
      support::OpenMakerPageAtRandom(dialogs_);
    }
  });
  run(108, [&] { setWindowTitle("Parvane"); });
  run(110, [&] { setWindowIcon(MakeAppIcon()); });
  run(112, [&] { support::SetAppTitle(); });
  run(114, [&] { listView1_->setHeaderLabels({" Word Files"}); });
  run(116, [&] { listView1_->setColumnWidth(0, Px(7000)); });
  for (int i = 0; i < 6; ++i) {
    run(118 + 2 * i, [&] { combo1_->addItem(kContentRules[i]); });
  }
  // The list starts with no entry chosen, as designed; restoring chooses one.
  combo1_->setCurrentIndex(-1);
  RestoreOptions(run);
  run(144, [&] { frame3_->setEnabled(option3_->isChecked()); });
  run(146, [&] {
    engine::CheckWordInstalled(
        dialogs_,
        [this] {
          ended_ = true;
          if (endProgram_) endProgram_();
        },
        factory_);
  });
}

void Form1::RestoreOptions(support::Steps& run) {
  // An option button set to true runs its click procedure; a selected button
  // is never cleared on its own, so each pair keeps exactly one selected
  // button whatever the store holds.
  auto restoreOption = [this](QRadioButton* button, const std::string& key, const char* absent,
                              void (Form1::*click)()) {
    if (ToBoolean(ReadSetting(key, absent)) && !button->isChecked()) {
      button->setChecked(true);
      (this->*click)();
    }
  };
  run(130, [&] {
    const int index = ToInt16(ReadSetting("Combo1", "0"));
    if (index < 0 || index >= combo1_->count()) throw std::runtime_error("Invalid property value");
    if (index != combo1_->currentIndex()) {
      combo1_->setCurrentIndex(index);
      Combo1_Click();
    }
  });
  run(132, [&] { restoreOption(option1_, "Option1", "1", &Form1::Option1_Click); });
  run(134, [&] { restoreOption(option2_, "Option2", "0", &Form1::Option2_Click); });
  run.unnumbered([&] {
    if (ToBoolean(ReadSetting("EachSplit", "False")) && !eachSplit_->isChecked()) {
      eachSplit_->setChecked(true);
      EachSplit_Click();
    }
  });
  run(136, [&] {
    const bool checked = ToBoolean(ReadSetting("Check1", "1"));
    if (checked != check1_->isChecked()) check1_->setChecked(checked);  // toggled: Check1_Click
  });
  run(138, [&] {
    // The desktop is looked up only when no folder is stored.
    const std::string folder =
        HasSetting("Output Folder") ? ReadSetting("Output Folder", "") : GetDesktopFolder();
    text1_->setText(QString::fromStdString(folder));  // textChanged: Text1_Change
  });
  run(140, [&] { restoreOption(option3_, "Option3", "1", &Form1::Option3_Click); });
  run(142, [&] { restoreOption(option4_, "Option4", "0", &Form1::Option4_Click); });
}

void Form1::Option1_Click() {
  combo1_->setEnabled(false);
  eachSplit_->setEnabled(false);
  WriteSetting("Option1", BoolText(option1_->isChecked()));
  WriteSetting("Option2", BoolText(option2_->isChecked()));
}

void Form1::Option2_Click() {
  combo1_->setEnabled(true);
  eachSplit_->setEnabled(true);
  WriteSetting("Option1", BoolText(option1_->isChecked()));
  WriteSetting("Option2", BoolText(option2_->isChecked()));
}

void Form1::Option3_Click() {
  WriteSetting("Option3", BoolText(option3_->isChecked()));
  WriteSetting("Option4", BoolText(option4_->isChecked()));
  frame3_->setEnabled(option3_->isChecked());
}

void Form1::Option4_Click() {
  Option3_Click();
}

void Form1::Combo1_Click() {
  WriteSetting("Combo1", std::to_string(combo1_->currentIndex()));
}

void Form1::EachSplit_Click() {
  WriteSetting("EachSplit", BoolText(eachSplit_->isChecked()));
}

void Form1::Check1_Click() {
  WriteSetting("Check1", check1_->isChecked() ? "1" : "0");
}

void Form1::Text1_Change() {
  WriteSetting("Output Folder", text1_->text().toStdString());
}

void Form1::PushButton7_Click() {
  support::Steps run{loc::kChooseOutputFolder, *this};
  std::string chosen;
  run(100, [&] { LastFolder() = ReadSetting("LastFolder", ""); });
  run(102, [&] { chosen = dialogs_.BrowseFolder("Please select folder:", LastFolder()); });
  if (!run.test(104, [&] { return !chosen.empty(); })) return;
  run(106, [&] { WriteSetting("LastFolderDot", chosen); });
  run(108, [&] {
    if (chosen.back() != support::kSep) chosen += support::kSep;
    text1_->setText(QString::fromStdString(chosen));  // textChanged writes "Output Folder"
  });
}

support::SplitSettings Form1::Settings() {
  support::SplitSettings s;
  s.NameByContent = option2_->isChecked();
  s.ContentRule = combo1_->currentIndex();
  s.EachSplit = eachSplit_->isChecked();
  s.SaveToChosenFolder = option3_->isChecked();
  s.SaveToSourceFolder = option4_->isChecked();
  s.OutputFolder = text1_->text().toStdString();
  s.ApplyBackspace = check1_->isChecked();
  return s;
}

void Form1::SetProgressValue(double percent) {
  // The bar holds 0 to 100; a value outside (a list that shrank during a
  // run) is shown at the nearest end rather than refused.
  int value = std::isfinite(percent) ? static_cast<int>(std::trunc(percent)) : 0;
  if (percent > 100) value = 100;
  if (percent < 0) value = 0;
  progressBar1_->setValue(value);
}

void Form1::SetProgressText(const std::string& text) {
  progressBar1_->SetText(QString::fromStdString(text));
}

void Form1::SetPointer(int pointer) {
  pointer_ = pointer;
  if (pointer == support::kPointerHourglass) {
    setCursor(Qt::WaitCursor);
  } else if (pointer == support::kPointerCustom && hand_) {
    setCursor(*hand_);
  } else {
    setCursor(Qt::ArrowCursor);
  }
}

void Form1::Yield() {
  QCoreApplication::processEvents();
}

void Form1::ReportError(const std::string& description, const std::string& location, int line) {
  support::ShowErrorReport(dialogs_, description, location, line);
}

void Form1::ButtonMouseMove() {
  if (pointer_ != support::kPointerHourglass) SetPointer(support::kPointerCustom);
}

void Form1::BackgroundMouseMove() {
  if (pointer_ != support::kPointerHourglass) SetPointer(support::kPointerArrow);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseMove) return QWidget::eventFilter(watched, event);
  const bool isButton = watched == pushButton1_ || watched == pushButton2_ ||
                        watched == pushButton5_ || watched == pushButton6_ ||
                        watched == pushButton7_ || watched == pushButton9_ ||
                        watched == pushButton10_;
  if (isButton) {
    ButtonMouseMove();
    // A move with a button held belongs to the button (press and release);
    // a plain move ends here, so the frame behind does not reset the hand.
    return static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton;
  }
  if (watched == this || watched == frame1_ || watched == frame2_ || watched == frame3_ ||
      watched == frame5_) {
    BackgroundMouseMove();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  // Closing ends the program at once, also in the middle of a run or a scan:
  // those run inside this event loop and must not be returned to.
  if (busy_ || pointer_ == support::kPointerHourglass) {
    // Nothing the run made for itself stays behind in the user's folder.
    engine::DiscardWorkingCopyNow(workingCopy_, workingEntry_);
    if (endNow_) endNow_();
    return;
  }
  QCoreApplication::quit();
}

}  // namespace app
