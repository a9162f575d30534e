#pragma once
// Numbered steps with report-and-resume.
//
// A reporting operation runs each of its steps through one Steps object. A step
// that throws is reported once (description, the operation's location, the
// current line) and the operation goes on with its next step; nothing is
// retried or undone.
//
//   Steps run{loc::kDoItByFile, reporter};
//   run(100, [&] { app = factory.CreateApplication(); });
//   if (run.test(116, [&] { return text.size() > 1; })) { ... }  // a failed test counts as true

#include <functional>
#include <string>
#include <utility>

namespace support {

class Host;

using Reporter =
    std::function<void(const std::string& description, const std::string& location, int line)>;

// The description of the exception in flight (call only inside a catch block).
std::string DescribeCurrentException();

class Steps {
 public:
  Steps(std::string location, Reporter reporter)
      : location_(std::move(location)), reporter_(std::move(reporter)) {}
  // Reports through the host's ReportError.
  Steps(std::string location, Host& host);

  // Sets the current line and runs the step.
  template <typename F>
  void operator()(int line, F&& action) {
    line_ = line;
    Guard(std::forward<F>(action));
  }
  // A step without a number of its own: counts under the current line.
  template <typename F>
  void unnumbered(F&& action) {
    Guard(std::forward<F>(action));
  }
  // A test: its value, or true when it failed (the guarded branch then runs).
  template <typename F>
  bool test(int line, F&& predicate) {
    line_ = line;
    bool result = true;
    Guard([&] { result = static_cast<bool>(predicate()); });
    return result;
  }

  // Reports at `line` what a step of this operation run elsewhere reported
  // (another thread's Steps that only recorded it), as if it failed here.
  void Replay(int line, const std::string& description) {
    line_ = line;
    Report(description);
  }

  int line() const { return line_; }
  const std::string& location() const { return location_; }
  int failures() const { return failures_; }

 private:
  template <typename F>
  void Guard(F&& action) {
    try {
      action();
    } catch (...) {
      Report(DescribeCurrentException());
    }
  }
  void Report(const std::string& description);

  std::string location_;
  Reporter reporter_;
  int line_ = 0;
  int failures_ = 0;
};

// Re-testing loops (trimming, word loops) stop after this many passes, so that
// a test that keeps failing cannot run its loop without end.
inline constexpr int kMaxLoopPasses = 100000;

}  // namespace support
