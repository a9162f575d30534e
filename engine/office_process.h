#pragma once
// Finding LibreOffice and running it as a child process of our own, one fact
// per platform (office_process_posix.cpp, office_process_win.cpp).

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engine::office {

// LibreOffice's program (soffice): on the PATH first, then, when
// `usualFolders` is set, in the folders where installers put it (on Windows
// the folder the registry names). "" when it is nowhere.
std::string FindSoffice(bool usualFolders);

// A helper program of LibreOffice's kind (poppler's pdftotext) on the PATH,
// or "" when there is none.
std::string FindOnPath(const std::string& name);

struct ProgramResult {
  enum Outcome { kExited, kCrashed, kTimedOut, kStopped, kNotStarted };
  Outcome outcome = kNotStarted;
  int exitCode = -1;   // for kExited
  std::string detail;  // why it could not start, or the signal that ended it
};

// Runs `program` with `args` in a process group of its own, its output and
// errors into `logFile`, and waits for it up to `seconds`, calling `poll`
// about twenty times a second (it may return false to stop the program). On
// time-out or stop the whole group is killed, and the program waited for.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& logFile, double seconds,
                         const std::function<bool()>& poll);

// The same for several programs at once, each in a group of its own; the time
// limit and a stop hold for all of them. One result per program, in order.
struct Program {
  std::string program;
  std::vector<std::string> args;
  std::string logFile;
  // When set, the folder for its temporary files (TMPDIR; on Windows TMP and
  // TEMP), so that none outlives a program that is ended.
  std::string tempFolder;
  // When known, the named socket it will listen on (see OfficePipe): removed
  // as those it is seen to listen on are, also when it is ended before it is
  // seen to.
  std::string socket;
};
std::vector<ProgramResult> RunPrograms(const std::vector<Program>& programs, double seconds,
                                       const std::function<bool()>& poll);

// A program that keeps running beside ours until it ends or is ended (a
// LibreOffice that serves a run's conversions): in a process group, on
// Windows a job, of its own, its output and errors into its log file.
// KillRunningPrograms ends it too, as does destroying this object.
class Background {
 public:
  Background();
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // Starts it; false, with the reason in `why`, when it cannot be started.
  bool Start(const Program& program, std::string* why);
  // Whether it still runs; once it ended, the rest of its group is ended too.
  bool Running();
  // Ends it and its whole group at once and waits for it.
  void Kill();
  // Notes the named sockets it listens on now: a program that is killed
  // leaves their files behind, and they are removed when it is found ended
  // or is ended, also after KillRunningPrograms. Kill looks for them itself.
  void NoteSockets();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Kills every program RunProgram is waiting for, and every one running in the
// background, for a program that is ending; never throws (on POSIX it is safe
// in a signal handler).
void KillRunningPrograms();
// After KillRunningPrograms, for a program that ends at once, without
// returning to what waits for them: removes the named sockets noted of every
// program still running or waited for. Not for a signal handler.
void RemoveNotedSockets();

// A folder or file of ours that must not outlive us: should we be killed or
// crash, where no handler of ours runs, it is removed once the programs we
// started are ended (on POSIX by a small shell of ours that outlives us; on
// Windows a job ends the programs, and the path stays). Say when it is gone.
void TidyIfKilled(const std::string& path);
void NoLongerToTidy(const std::string& path);

// The named socket a LibreOffice started on the profile `profileUrl` (as
// given to it) listens on, where it is a file: on POSIX systems
// /tmp/OSL_PIPE_<user>_SingleOfficeIPC_<its MD5>; "" on Windows, whose named
// pipes go with the process that made them.
std::string OfficePipe(const std::string& profileUrl);

// The file: URL of an absolute path, as LibreOffice takes its profile folder.
std::string FileUrl(const std::string& path);

}  // namespace engine::office
