#pragma once
// The seam through which the engine talks to whatever drives it: the main
// window, the command line, or a test.

#include <string>

namespace support {

// Mouse pointer values of the main window and the list.
enum Pointer : int {
  kPointerDefault = 0,
  kPointerArrow = 1,
  kPointerHourglass = 11,
  kPointerCustom = 99,
};

// The user's split options. The window builds one from its controls at the
// moment of every use, so a change made during a run takes effect at once.
struct SplitSettings {
  bool NameByContent = false;
  int ContentRule = -1;    // 0 to 5, -1 when nothing is selected
  bool EachSplit = false;  // with NameByContent: every piece named from its own words
  bool SaveToChosenFolder = true;
  bool SaveToSourceFolder = false;
  std::string OutputFolder;
  bool ApplyBackspace = true;  // stored and restored, read by nothing
  bool SavePdf = false;        // a PDF beside every piece
};

class Host {
 public:
  virtual ~Host() = default;

  // The live options, read afresh at every call.
  virtual SplitSettings Settings() = 0;
  virtual void SetProgressValue(double percent) = 0;
  virtual void SetProgressText(const std::string& text) = 0;
  virtual void SetPointer(int pointer) = 0;
  virtual int GetPointer() = 0;
  // Lets the window repaint and run queued events once.
  virtual void Yield() = 0;
  // Shows the uniform error report (description, location text, line number).
  virtual void ReportError(const std::string& description, const std::string& location,
                           int line) = 0;
  // A notice that is no failure (the window shows it with OK, the command
  // line on its error output). A host that shows none of its own passes it on
  // as an error report.
  virtual void Notify(const std::string& text) { ReportError(text, "Parvane", 0); }
};

}  // namespace support
