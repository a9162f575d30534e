// The real window under Xvfb (parvane-test-window, the program with scripted
// dialogs in place of Qt's), driven from outside like a user: the mouse
// presses "Load Sample/Example Files" and "Start Splitting", scripted dialog
// answers (PARVANE_TEST_ANSWERS) stand in for the person at the keyboard, and
// the pieces on disk are checked afterwards. Screenshots of the run stay in
// the build folder (e2e-*.png).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QRect>
#include <QSettings>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "docx/document.h"
#include "samples/samplegen.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;
namespace sg = samples;
using testing_support::FilesIn;
using testing_support::Quote;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::TempDir;

bool Have(const char* tool) {
  return RunCommand(std::string("command -v ") + tool + " >/dev/null 2>&1").exitCode == 0;
}

// Centres of the two buttons in window pixels (twips / 15 at 96 DPI).
constexpr int kLoadSamplesX = (4080 + 3840 / 2) / 15, kLoadSamplesY = (3520 + 405 / 2) / 15;
constexpr int kStartX = (120 + 7800 / 2) / 15, kStartY = (7700 + 405 / 2) / 15;

struct Scenario {
  std::string name;                             // screenshots: e2e-<name>-*.png
  std::map<std::string, std::string> settings;  // besides the output folder
  std::vector<std::string> answers;             // answers-file lines
  std::string shotWhenExists;                   // photograph the run once this piece is written
};

struct Outcome {
  std::string output;  // the script's own report, the dialog log and the program's output
  std::string dialogs;
};

std::string Shot(const std::string& scenario, const std::string& moment) {
  return std::string(PARVANE_APP_BUILD_DIR) + "/e2e-" + scenario + "-" + moment + ".png";
}

// Bash lines that start Xvfb and the program with its own settings, runtime
// folder and answers file ("answers.txt" in `work`): they define await COUNT
// COMMAND (polls every 0.1 s; a program that ended stops it) and findwin (the
// program's window into WID), and leave the program in APID, the server in XPID.
std::string StartProgramScript(const TempDir& work, const fs::path& config,
                               const fs::path& runtime) {
  return testing_support::StartXvfbScript(work.str()) +
         "await() { n=$1; shift; for i in $(seq $n); do eval \"$@\" && return 0; "
         "kill -0 $APID 2>/dev/null || return 1; sleep 0.1; done; return 1; }\n"
         "export DISPLAY=:$N QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=" +
         Quote(config.string()) + " XDG_RUNTIME_DIR=" + Quote(runtime.string()) +
         " PARVANE_TEST_ANSWERS=" + Quote(work.file("answers.txt")) + "\n" +
         Quote(testing_support::BinDir() + "/parvane-test-window") + " >" +
         Quote(work.file("program.log")) +
         " 2>&1 & APID=$!\n"
         "WID=''\n"
         "findwin() { for w in $(xdotool search --name '^Parvane$' 2>/dev/null); do\n"
         "  case \"$(xdotool getwindowgeometry $w)\" in *536x583*) WID=$w; return 0;; esac; done;"
         " return 1; }\n";
}

// Starts Xvfb and the program, clicks "Load Sample/Example Files", awaits the
// open-folder question, clicks "Start Splitting" and awaits "Done.".
Outcome RunWindow(const Scenario& s, const TempDir& work, const std::string& out) {
  const fs::path config = work.path() / "config";
  const fs::path runtime = work.path() / "runtime";
  fs::create_directories(config / "Quillory");
  fs::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  {
    QSettings store(QString::fromStdString((config / "Quillory" / "Parvane.conf").string()),
                    QSettings::IniFormat);
    store.beginGroup("Parvane");
    store.setValue("Output Folder", QString::fromStdString(out));
    store.setValue("Option3", "True");
    store.setValue("Option4", "False");
    for (const auto& [key, value] : s.settings)
      store.setValue(QString::fromStdString(key), QString::fromStdString(value));
    store.endGroup();
    store.sync();
  }
  const std::string dialogLog = work.file("dialogs.log");
  std::string answers = "log " + dialogLog + "\n";
  for (const std::string& line : s.answers) answers += line + "\n";
  testing_support::WriteFile(work.path() / "answers.txt", answers);

  const std::string during = Shot(s.name, "during");
  const std::string after = Shot(s.name, "after");
  fs::remove(during);
  fs::remove(after);
  std::string script =
      StartProgramScript(work, config, runtime) + "LOG=" + Quote(dialogLog) + "\n" +
      "if await 300 findwin; then\n"
      "  echo window=$WID\n"
      "  xdotool mousemove --window $WID " +
      std::to_string(kLoadSamplesX) + " " + std::to_string(kLoadSamplesY) +
      " click 1\n"
      "  if await 300 'grep -q \"open the folder where these sample files\" \"$LOG\" "
      "2>/dev/null'; then\n"
      "    echo samples-question\n"
      "    xdotool mousemove --window $WID " +
      std::to_string(kStartX) + " " + std::to_string(kStartY) + " click 1\n";
  if (!s.shotWhenExists.empty()) {
    script += "    SHOT_WHEN=" + Quote(s.shotWhenExists) +
              "\n"
              "    if await 1200 '[ -e \"$SHOT_WHEN\" ]'; then import -window root " +
              Quote(during) + "; echo during-shot; fi\n";
  }
  script +=
      "    if await 3000 'grep -q \"\tDone\\.$\" \"$LOG\" 2>/dev/null'; then echo done-shown;"
      " sleep 0.3; fi\n"
      "  fi\n"
      "fi\n"
      "import -window root " +
      Quote(after) +
      "\n"
      "kill -0 $APID 2>/dev/null && echo still-running\n"
      "kill $APID 2>/dev/null; wait $APID 2>/dev/null\n"
      "kill $XPID; wait $XPID 2>/dev/null\n"
      "echo '--- program'; cat " +
      Quote(work.file("program.log")) + "\n";
  Outcome outcome;
  outcome.output = RunCommand("bash -c " + Quote(script)).output;
  if (fs::exists(dialogLog)) outcome.dialogs = ReadFile(dialogLog);
  outcome.output += "--- dialogs\n" + outcome.dialogs;
  return outcome;
}

// The dialogs of a log, leaving out the maker's page that one start in a
// hundred opens at random.
long DialogCount(const std::string& log) {
  long count = 0;
  std::size_t at = 0;
  for (std::size_t end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
    if (log.compare(at, 6, "shell\t") != 0) ++count;
  }
  return count;
}

// Every file of a folder with its bytes, to show that a run left it as it was.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const std::string& name : FilesIn(folder)) files[name] = ReadFile(folder / name);
  return files;
}

void ExpectPiecesPass(const std::string& out) {
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck(out, &ok);
  if (report.empty()) std::cout << "[ note ] the package checker is absent here\n";
  EXPECT_TRUE(ok) << report;
}

class XvfbRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import"}) {
      if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    ASSERT_TRUE(fs::exists(testing_support::BinDir() + "/parvane-test-window"));
    samples_ = fs::path(testing_support::BinDir()) / "Samples";
    before_ = Snapshot(samples_);
    ASSERT_EQ(before_.size(), sg::ShippedSamples().size()) << samples_;
  }
  // The inputs are never modified and no working copy is left beside them.
  void TearDown() override {
    if (!before_.empty()) {
      EXPECT_TRUE(Snapshot(samples_) == before_) << samples_;
    }
  }

  fs::path samples_;
  std::map<std::string, std::string> before_;
};

TEST_F(XvfbRun, sequential_naming_splits_the_samples_and_a_large_merge) {
  TempDir work;
  const std::string out = work.file("out");
  fs::create_directories(out);
  constexpr int kBigRecords = 1500;
  const std::string big = work.file("Big Letters.docx");
  sg::WriteMerge(big, sg::Kind::kLetters, kBigRecords);
  const std::string bigBytes = ReadFile(big);

  Scenario s;
  s.name = "sequential";
  s.answers = {"add " + big};
  s.shotWhenExists = out + "/Big Letters-0100.docx";
  const Outcome run = RunWindow(s, work, out);
  EXPECT_NE(run.output.find("samples-question"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("done-shown"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("still-running"), std::string::npos) << run.output;
  // Sequential naming asks nothing: the question about the folder, then Done.
  // One start in a hundred also opens the maker's page ("shell"), which is
  // not a dialog and is left out of the count.
  EXPECT_EQ(DialogCount(run.dialogs), 2) << run.dialogs;
  EXPECT_EQ(run.dialogs.find("input\t"), std::string::npos) << run.dialogs;
  EXPECT_TRUE(fs::exists(Shot(s.name, "during"))) << run.output;
  EXPECT_TRUE(fs::exists(Shot(s.name, "after")));

  std::vector<std::string> expected;
  auto expect = [&](const std::string& stem, int records) {
    for (int i = 1; i <= records; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, "%04d", i);
      expected.push_back(stem + "-" + number + ".docx");
    }
  };
  expect("Big Letters", kBigRecords);
  for (const auto& sample : sg::ShippedSamples())
    expect(fs::path(sample.fileName).stem().string(), sample.records);
  std::sort(expected.begin(), expected.end());
  const std::vector<std::string> pieces = FilesIn(out);
  EXPECT_EQ(pieces.size(), expected.size());
  EXPECT_TRUE(pieces == expected) << "first piece: " << (pieces.empty() ? "" : pieces.front());
  EXPECT_TRUE(std::find(pieces.begin(), pieces.end(), "Customer Letters-0001.docx") !=
              pieces.end());
  ExpectPiecesPass(out);
  EXPECT_EQ(ReadFile(big), bigBytes);
}

TEST_F(XvfbRun, content_naming_asks_for_x_and_names_the_pieces_by_the_first_words) {
  TempDir work;
  const std::string out = work.file("out");
  fs::create_directories(out);
  Scenario s;
  s.name = "content";
  s.settings = {{"Option1", "False"}, {"Option2", "True"}, {"Combo1", "0"}};
  s.answers = {"input 2"};
  const Outcome run = RunWindow(s, work, out);
  EXPECT_NE(run.output.find("done-shown"), std::string::npos) << run.output;
  EXPECT_NE(run.dialogs.find("input\tInput X\tEnter X\n"), std::string::npos) << run.dialogs;
  // X is asked once for the whole run.
  EXPECT_EQ(run.dialogs.find("input\t"), run.dialogs.rfind("input\t")) << run.dialogs;
  EXPECT_TRUE(fs::exists(Shot(s.name, "after")));

  // Each sample's pieces share one name of two words taken from its text,
  // numbered from 0001 without a gap.
  std::map<std::string, std::vector<int>> byStem;
  const std::regex piece(R"((.+)-(\d{4})\.docx)");
  const std::vector<std::string> pieces = FilesIn(out);
  for (const std::string& name : pieces) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(name, m, piece)) << name;
    byStem[m[1]].push_back(std::stoi(m[2]));
  }
  std::vector<int> counts;
  for (const auto& [stem, numbers] : byStem) {
    EXPECT_EQ(std::count(stem.begin(), stem.end(), ' '), 1) << stem;
    for (const auto& sample : sg::ShippedSamples())
      EXPECT_NE(stem, fs::path(sample.fileName).stem().string());
    for (std::size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], int(i) + 1) << stem;
    counts.push_back(static_cast<int>(numbers.size()));
  }
  std::vector<int> records;
  for (const auto& sample : sg::ShippedSamples()) records.push_back(sample.records);
  std::sort(counts.begin(), counts.end());
  std::sort(records.begin(), records.end());
  EXPECT_EQ(counts, records) << run.output;
  ExpectPiecesPass(out);
}

// "Name each split from its own contents": every customer letter is named
// after its own recipient, and every piece of the other samples carries its
// own number; nothing is left beside the samples.
TEST_F(XvfbRun, each_split_named_from_its_own_words_names_the_letters_after_their_recipients) {
  TempDir work;
  const std::string out = work.file("out");
  fs::create_directories(out);
  Scenario s;
  s.name = "each";
  s.settings = {{"Option1", "False"}, {"Option2", "True"}, {"Combo1", "0"}, {"EachSplit", "True"}};
  s.answers = {"input 5"};
  const Outcome run = RunWindow(s, work, out);
  EXPECT_NE(run.output.find("done-shown"), std::string::npos) << run.output;
  EXPECT_TRUE(fs::exists(Shot(s.name, "after")));
  const std::vector<std::string> pieces = FilesIn(out);
  std::size_t total = 0;
  for (const auto& sample : sg::ShippedSamples()) {
    total += static_cast<std::size_t>(sample.records);
    if (sample.kind != sg::Kind::kLetters) continue;
    for (const auto& record : sg::MakeRecords(sample.records, sample.seed)) {
      char number[16];
      std::snprintf(number, sizeof number, "-%04d.docx", record.index);
      const bool found = std::any_of(pieces.begin(), pieces.end(), [&](const std::string& p) {
        return p.rfind(record.FullName(), 0) == 0 && p.size() > std::strlen(number) &&
               p.compare(p.size() - std::strlen(number), std::string::npos, number) == 0;
      });
      EXPECT_TRUE(found) << record.FullName() << number;
    }
  }
  EXPECT_EQ(pieces.size(), total) << run.output;
  ExpectPiecesPass(out);
}

// The list as a user fills, reorders and empties it in the real window: two
// files by the add dialog, a folder's files, one more file; the first entry
// dragged onto the second; the last one selected and taken out with Delete,
// the third with a double-click; then a split, "Clear List" and a split of
// nothing. Two inputs share the name Letters.docx, so the pieces' numbering
// shows which of them the run took first.
TEST(XvfbList, is_filled_reordered_and_emptied_with_the_mouse_and_keys) {
  for (const char* tool : {"Xvfb", "xdotool", "import"}) {
    if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  TempDir work;
  const fs::path config = work.path() / "config", runtime = work.path() / "runtime";
  const fs::path out = work.path() / "out";
  for (const fs::path& p : {config / "Quillory", runtime, out}) fs::create_directories(p);
  ::chmod(runtime.c_str(), 0700);
  const std::string a = work.file("inA/Letters.docx"), b = work.file("inB/Letters.docx");
  const std::string memo = work.file("inC/Memo.docx"), note = work.file("inD/Note.docx");
  for (const std::string& f : {a, b, memo, note}) fs::create_directories(fs::path(f).parent_path());
  sg::WriteMerge(a, sg::Kind::kLetters, 3);
  sg::WriteMerge(b, sg::Kind::kInvoices, 2);
  sg::WriteMerge(memo, sg::Kind::kCertificates, 1);
  sg::WriteMerge(note, sg::Kind::kLetters, 1);
  {
    QSettings store(QString::fromStdString((config / "Quillory" / "Parvane.conf").string()),
                    QSettings::IniFormat);
    store.beginGroup("Parvane");
    store.setValue("Output Folder", QString::fromStdString(out.string()));
    store.setValue("Option3", "True");
    store.setValue("Option4", "False");
  }
  const std::string log = work.file("dialogs.log");
  testing_support::WriteFile(work.path() / "answers.txt", "log " + log + "\nopen " + a + "\nopen " +
                                                              b + "\ninput docx\nbrowse " +
                                                              work.file("inC") + "\nopen " + note +
                                                              "\n");
  // Window pixels at 96 DPI: the buttons' centres, the list's rows 14 pixels
  // apart from 73 down.
  auto at = [](int x, int y) {
    return "xdotool mousemove --window $WID " + std::to_string(x) + " " + std::to_string(y);
  };
  auto row = [](int k) { return 59 + 14 * k; };
  const std::string addFiles = at(136, 214), addFolder = at(400, 214), clear = at(136, 248),
                    start = at(264, 526);
  const std::string filled = Shot("list", "filled"), reordered = Shot("list", "reordered");
  const std::string script =
      StartProgramScript(work, config, runtime) + "count() { grep -c \"^$1\t\" " + Quote(log) +
      " 2>/dev/null || echo 0; }\n"
      "await 300 findwin && echo window\n"
      "sleep 0.5\n" +
      addFiles + " click 1; await 200 '[ $(count open) -ge 1 ]'\n" + addFiles +
      " click 1; await 200 '[ $(count open) -ge 2 ]'\n" + addFolder +
      " click 1; await 200 '[ $(count browse) -ge 1 ]'; sleep 0.5\n" + addFiles +
      " click 1; await 200 '[ $(count open) -ge 3 ]'; sleep 0.3\n"
      "import -window root " +
      Quote(filled) + "\n" + at(100, row(1)) + " mousedown 1; sleep 0.2\n" + at(100, row(1) + 5) +
      "; sleep 0.1\n" + at(100, row(2)) +
      "; sleep 0.2\n"
      "xdotool mouseup 1; sleep 0.3\n"
      "import -window root " +
      Quote(reordered) + "\n" + at(100, row(4)) +
      " click 1; sleep 0.2\n"
      "xdotool key Delete; sleep 0.3\n" +
      at(100, row(3)) + " click --repeat 2 --delay 60 1; sleep 0.3\n" + start +
      " click 1\n"
      "await 300 'grep -q \"\tDone\\.$\" " +
      Quote(log) +
      "' && echo done-shown\n"
      "xdotool key Return; sleep 0.3\n" +
      clear + " click 1; sleep 0.3\n" + start +
      " click 1\n"
      "await 100 'grep -q \"\tNo files added\\.$\" " +
      Quote(log) +
      "' && echo nothing-left\n"
      "kill $APID 2>/dev/null; wait $APID 2>/dev/null\n"
      "kill $XPID; wait $XPID 2>/dev/null\n"
      "echo '--- program'; cat " +
      Quote(work.file("program.log")) + "\n";
  const std::string output = RunCommand("bash -c " + Quote(script)).output;
  const std::string dialogs = fs::exists(log) ? ReadFile(log) : "";
  EXPECT_NE(output.find("window"), std::string::npos) << output;
  EXPECT_NE(output.find("done-shown"), std::string::npos) << output << dialogs;
  EXPECT_NE(output.find("nothing-left"), std::string::npos) << output << dialogs;
  EXPECT_TRUE(fs::exists(filled));
  // B was moved first, so its pieces took the plain names; A's first two
  // pieces then give way. Memo and Note were taken out before the run.
  EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"Letters-0001 (2).docx", "Letters-0001.docx",
                                                    "Letters-0002 (2).docx", "Letters-0002.docx",
                                                    "Letters-0003.docx"}))
      << output << dialogs;
  auto story = [](const fs::path& piece) {
    auto doc = docx::Document::Open(piece.string());
    return doc->Text(0, doc->StoryLength());
  };
  EXPECT_NE(story(out / "Letters-0001.docx").find("Invoice"), std::string::npos);
  EXPECT_NE(story(out / "Letters-0001 (2).docx").find("Dear "), std::string::npos);
  ExpectPiecesPass(out.string());
}

// Bash lines that start the program alone (own settings, no answers file)
// under the Xvfb the lines before started, with `environment` added, and
// leave its window in WID (the one that is more than a 1x1 leader) or print
// "no-window".
std::string StartPlainProgramScript(const TempDir& work, const std::string& environment) {
  const fs::path config = work.path() / "config", runtime = work.path() / "runtime";
  fs::create_directories(config);
  fs::create_directories(runtime);
  ::chmod(runtime.c_str(), 0700);
  return "export DISPLAY=:$N QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=" + Quote(config.string()) +
         " XDG_RUNTIME_DIR=" + Quote(runtime.string()) + " " + environment + "\n" +
         Quote(testing_support::BinDir() + "/parvane") + " >" + Quote(work.file("program.log")) +
         " 2>&1 & APID=$!\n"
         "WID=''\n"
         "for i in $(seq 300); do\n"
         "  for w in $(xdotool search --name '^Parvane$' 2>/dev/null); do\n"
         "    case \"$(xdotool getwindowgeometry $w)\" in *Geometry:\\ 1x1*) ;; *) WID=$w;; esac\n"
         "  done\n"
         "  [ -n \"$WID\" ] && break; kill -0 $APID 2>/dev/null || break; sleep 0.1\n"
         "done\n"
         "[ -z \"$WID\" ] && echo no-window\n"
         "sleep 0.5\n";
}

std::string LookShot(const std::string& moment) {
  return std::string(PARVANE_APP_BUILD_DIR) + "/look-" + moment + ".png";
}
// The shot after the k-th press of Tab: look-focus-01.png, ...
std::string FocusShot(int k) {
  return LookShot("focus-" + std::string(k < 10 ? "0" : "") + std::to_string(k));
}

bool HaveXvfbTools() {
  for (const char* tool : {"Xvfb", "xdotool", "import"})
    if (!Have(tool)) return false;
  return true;
}

// The keyboard walks the window with Tab; each of the seven buttons must look
// different while it has the focus (the skin rings it), or a keyboard user
// cannot tell where a press of the space bar goes. The shots stay in the
// build folder (look-focus-NN.png).
TEST(XvfbLook, the_button_with_the_keyboard_focus_is_visibly_marked) {
  if (!HaveXvfbTools()) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is not installed";
  ASSERT_TRUE(fs::exists(testing_support::BinDir() + "/x/o.cjs")) << "the skin is not built";
  TempDir work;
  constexpr int kTabs = 14;  // more than one round of the tab order
  std::string script = testing_support::StartXvfbScript(work.str()) +
                       StartPlainProgramScript(work, "") +
                       "xdotool mousemove 790 690; xdotool windowfocus --sync $WID; sleep 0.3\n"
                       "for k in $(seq -w 1 " +
                       std::to_string(kTabs) +
                       "); do\n"
                       "  xdotool key Tab; sleep 0.3\n"
                       "  import -window $WID " +
                       Quote(std::string(PARVANE_APP_BUILD_DIR)) +
                       "/look-focus-$k.png\n"
                       "done\n"
                       "kill $APID 2>/dev/null; wait $APID 2>/dev/null\n"
                       "kill $XPID; wait $XPID 2>/dev/null\n"
                       "cat " +
                       Quote(work.file("program.log")) + "\n";
  for (int k = 1; k <= kTabs; ++k) fs::remove(FocusShot(k));
  const std::string output = RunCommand("bash -c " + Quote(script)).output;
  ASSERT_EQ(output.find("no-window"), std::string::npos) << output;

  std::vector<QImage> shots;
  for (int k = 1; k <= kTabs; ++k) {
    const std::string file = FocusShot(k);
    QImage shot(QString::fromStdString(file));
    ASSERT_FALSE(shot.isNull()) << file << "\n" << output;
    shots.push_back(shot.convertToFormat(QImage::Format_RGB32));
  }
  // Window pixels at 96 DPI of each button (twips / 15, as Form1 places
  // them); "..." sits in Frame3 inside Frame5.
  auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
  const std::pair<const char*, QRect> buttons[] = {
      {"Add Word File(s)", QRect(px(120), px(3010), px(3840), px(405))},
      {"Add All Word File(s) In Folder", QRect(px(4080), px(3010), px(3840), px(405))},
      {"Clear List", QRect(px(120), px(3520), px(3840), px(405))},
      {"Load Sample/Example Files", QRect(px(4080), px(3520), px(3840), px(405))},
      {"Start Splitting", QRect(px(120), px(7700), px(7800), px(405))},
      {"Help", QRect(px(120), px(120), px(7800), px(405))},
      {"...", QRect(px(120 + 480 + 6000), px(5760 + 510 + 300), px(600), px(345))},
  };
  for (const auto& [caption, rect] : buttons) {
    // Nothing but the focus changes a button's pixels while the pointer is
    // away: two looks means that it took the focus and showed it.
    std::vector<QImage> looks;
    for (const QImage& shot : shots) {
      const QImage part = shot.copy(rect);
      if (std::none_of(looks.begin(), looks.end(), [&](const QImage& l) { return l == part; }))
        looks.push_back(part);
    }
    ASSERT_EQ(looks.size(), 2u) << caption << ": " << looks.size() << " looks in " << kTabs
                                << " steps of Tab";
    // A mark one can see: at least as many pixels as a line all round the
    // button changed clearly (a slightly lighter shade is not a mark).
    auto clearly = [](QRgb a, QRgb b) {
      return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                       std::abs(qBlue(a) - qBlue(b))}) >= 48;
    };
    int changed = 0;
    for (int y = 0; y < rect.height(); ++y)
      for (int x = 0; x < rect.width(); ++x)
        changed += clearly(looks[0].pixel(x, y), looks[1].pixel(x, y));
    EXPECT_GE(changed, 2 * (rect.width() + rect.height())) << caption;
  }
}

// At twice the scale the designed window (1072 x 1166 pixels) is taller than
// a 1080-pixel screen: it is made smaller as a whole, keeping its
// proportions, so that all of it shows. The shot stays in the build folder
// (look-scale2.png).
TEST(XvfbLook, a_window_taller_than_the_screen_is_made_smaller_as_a_whole) {
  if (!HaveXvfbTools()) GTEST_SKIP() << "Xvfb, xdotool or ImageMagick's import is not installed";
  TempDir work;
  const std::string shot = LookShot("scale2");
  fs::remove(shot);
  const std::string script = testing_support::StartXvfbScript(work.str(), "1920x1080") +
                             StartPlainProgramScript(work, "QT_SCALE_FACTOR=2") +
                             "xdotool getwindowgeometry $WID\n"
                             "import -window root " +
                             Quote(shot) +
                             "\n"
                             "kill $APID 2>/dev/null; wait $APID 2>/dev/null\n"
                             "kill $XPID; wait $XPID 2>/dev/null\n"
                             "cat " +
                             Quote(work.file("program.log")) + "\n";
  const std::string output = RunCommand("bash -c " + Quote(script)).output;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(output, m, std::regex(R"(Geometry: (\d+)x(\d+))"))) << output;
  const int width = std::stoi(m[1]), height = std::stoi(m[2]);
  EXPECT_LE(height, 1080 - 40) << output;  // room left for a title bar
  EXPECT_GE(height, 900) << output;        // smaller, not tiny
  EXPECT_NEAR(static_cast<double>(width) / height, 8040.0 / 8745.0, 0.005) << output;
  EXPECT_TRUE(fs::exists(shot));
}

}  // namespace
