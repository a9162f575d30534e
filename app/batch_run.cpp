// "Start Splitting": validates, asks for X (and Y), then hands every list
// entry in order to the engine, keeping the window alive between files.

#include <cmath>
#include <optional>
#include <stdexcept>

#include "app/conversions.h"
#include "app/form1.h"
#include "engine/engine.h"
#include "engine/libreoffice.h"
#include "filelist/file_list.h"
#include "support/allocator.h"
#include "support/dialogs.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

namespace app {

namespace {

// Clears Busy on every way out of a run, a failed step included.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) {}
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

void Form1::PushButton2_Click() {
  using support::Buttons;
  using support::Icon;
  support::Steps run{loc::kStartSplitting, *this};

  // A click while a run is going is turned away.
  if (run.test(100, [&] { return busy_; })) return;
  run(102, [&] { busy_ = true; });
  BusyScope busyScope(busy_);

  if (run.test(104, [&] { return listView1_->Count() == 0; })) {
    run(106, [&] { dialogs_.Message("No files added.", Buttons::Ok, Icon::None); });
    run(108, [&] { busy_ = false; });
    return;
  }
  if (run.test(110, [&] {
        return !support::IsFolder(text1_->text().toStdString()) && !option4_->isChecked();
      })) {
    run(112, [&] {
      dialogs_.Message("Folder does not exist. Please select another folder.", Buttons::Ok,
                       Icon::None);
    });
    run(114, [&] { busy_ = false; });
    return;
  }
  if (run.test(116, [&] { return engine::ConfirmWordClosed(dialogs_, factory_); })) {
    run(118, [&] { busy_ = false; });
    return;
  }

  // X and Y stay texts for the whole run; each file converts them afresh.
  std::string xText;
  std::string yText;
  auto ask = [&](int line, const char* prompt, const char* title, std::string& answer) {
    run(line, [&] { answer = dialogs_.Input(prompt, title, "1"); });
    // The prompt cannot be abandoned: it returns until the answer is numeric
    // (bounded, so that a dialog that keeps failing cannot hold the run).
    for (int pass = 0; pass < support::kMaxLoopPasses; ++pass) {
      if (run.test(line + 2, [&] { return IsNumeric(answer); })) break;
      run(line + 4, [&] { dialogs_.Message("Must be numeric.", Buttons::Ok, Icon::None); });
      run(line + 6, [&] { answer = dialogs_.Input(prompt, title, "1"); });
    }
  };
  if (run.test(120, [&] { return option2_->isChecked(); })) {
    ask(122, "Enter X", "Input X", xText);
    if (run.test(130, [&] { return combo1_->currentIndex() == 5; })) {
      ask(132, "Enter Y", "Input Y", yText);
    }
  }

  // The bound is fixed here: entries added during the run are not processed.
  int count = 0;
  run(140, [&] { count = listView1_->Count(); });
  // A piece never replaces an input of this run, nor a piece written earlier
  // in it.
  engine::RunLedger ledger;
  // LibreOffice, for the files that need it, lives as long as this run.
  engine::OfficeFactory office(factory_, *this);
  run(142, [&] {
    for (const std::string& entry : listView1_->Entries()) ledger.Protect(entry);
  });

  for (int i = 1; i <= count; ++i) {
    std::string entry;
    std::string path;
    std::string copy;
    bool renamed = false;
    // Each piece named from its own words: no working copy, no temporary copy.
    std::optional<engine::PieceNaming> naming;
    run(144, [&] {
      entry = listView1_->EntryText(i);
      path = entry;
    });
    run(146, [&] {
      const int n = listView1_->Count();
      if (n == 0) throw std::runtime_error("Division by zero");
      SetProgressValue(static_cast<double>(i) / n * 100);
    });
    run(148, [&] { SetProgressText("Processing: " + support::GetFileName(path)); });
    // The hourglass goes up before the first yield, so that the list's
    // removal guards hold from the very start of the run.
    run(150, [&] { SetPointer(support::kPointerHourglass); });
    run(152, [&] { Yield(); });
    run(154, [&] { SetPointer(support::kPointerHourglass); });
    if (run.test(156, [&] { return option2_->isChecked() && !path.empty(); })) {
      run(158, [&] {
        // A number that does not fit 32 bits fails here, before RenameFile:
        // the file is then split under its own name.
        const int x = ToInt32(xText);
        const int y = yText.empty() ? 0 : ToInt32(yText);
        if (eachSplit_->isChecked()) {
          naming = engine::PieceNaming{x, y};
          return;
        }
        copy = engine::RenameFile(path, x, y, *this, office);
        renamed = true;
        path = copy;
        workingCopy_ = copy;
        workingEntry_ = entry;
      });
    }
    run(160, [&] { SetPointer(support::kPointerHourglass); });
    if (run.test(162, [&] { return !path.empty(); })) {
      run(164, [&] {
        engine::DoItByFile(path, *this, office, &ledger, support::GetFolderPart(entry),
                           naming ? &*naming : nullptr);
      });
    }
    // Only a copy that RenameFile made is deleted, even when the naming option
    // was changed during the run; never the entry's own file.
    if (renamed && run.test(166, [&] { return !copy.empty(); })) {
      run(168, [&] { engine::DiscardWorkingCopy(copy, entry, *this); });
    }
    workingCopy_.clear();
    workingEntry_.clear();
    run(170, [&] { SetPointer(support::kPointerHourglass); });
  }
  // What the run freed goes back to the system while the window waits.
  support::ReturnFreedMemory();

  run(172, [&] { SetPointer(support::kPointerDefault); });
  run(174, [&] {
    SetProgressValue(0);
    SetProgressText("Progress Bar");
  });
  run(176, [&] { dialogs_.Message("Done.", Buttons::Ok, Icon::None); });
  busy_ = false;
}

}  // namespace app
