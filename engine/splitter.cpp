// Splitting one document into one document per section.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/need.h"
#include "support/file_identity.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"
#include "support/text.h"

namespace engine {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kBreak = '\f';

// The leading whole number of a version text ("16.0" gives 16, "" gives 0).
int LeadingNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000; ++i)
    value = value * 10 + (text[i] - '0');
  return value;
}

bool EndsWithLineEnd(const std::string& text) {
  return !text.empty() && (text.back() == kCR || text.back() == kLF);
}

// A paragraph that is nothing but page or section breaks before its mark.
bool IsBareBreak(const std::string& text) {
  if (text.empty() || text[0] != kBreak) return false;
  for (char c : text)
    if (c != kBreak && c != kCR) return false;
  return true;
}

// "Letters-0001.docx" -> "Letters-0001 (n).docx".
std::string Numbered(const std::string& path, int n) {
  const std::string folder = support::GetFolderPart(path);
  const std::string name = support::GetFileName(path);
  const std::string base = support::StripExtension(name);
  const std::string suffix = base == name ? std::string() : name.substr(base.size());
  return folder + base + " (" + std::to_string(n) + ")" + suffix;
}

std::string NotWritten(int pieces) {
  return pieces == 1 ? std::string("1 piece of this document was not written.")
                     : std::to_string(pieces) + " pieces of this document were not written.";
}

// How the ledger spells a path: two spellings of one name are one entry.
std::string Normalised(const std::string& path) {
  std::string normal = support::FromFsPath(support::ToFsPath(path).lexically_normal());
  return support::FileNamesIgnoreCase() ? support::AsciiLower(std::move(normal)) : normal;
}

// A piece as its section's steps made it, before it is named and saved.
struct Built {
  bool hasText = true;  // else the section gives no piece
  word::DocumentPtr split;
  word::SelectionPtr selection;
  // Built on the second thread: what its steps reported, in order, and where
  // it would have let the window breathe (a `yield` at its line).
  struct Event {
    int line = 0;
    bool yield = false;
    std::string description;
  };
  std::vector<Event> events;
};

// Builds the pieces of sections 1 to `last` in order on a thread of its own,
// a few ahead of the one the caller names, saves and closes. Take(i) waits
// for section i's piece (taken in order) and lets the builder go on to the
// kAhead after it. The destructor waits for what the builder is doing and
// ends the thread; pieces built and not taken go with it.
//
// A piece takes the two sides unequal times, so a builder one piece ahead
// would often wait for the saver, or the saver for it; a few pieces of slack
// let each go at its own pace. A builder that is that far ahead packs the
// pieces waiting to be taken (what their saves would pack first), so the
// saver has less to do; one that is not leaves it to the saves.
//
// Each side waits for the other for less time than waking a sleeping thread
// takes on many machines: a wait looks at its flag for a while before it
// sleeps, and a hand-over wakes a sleeper only.
class BuildAhead {
 public:
  BuildAhead(int last, std::function<Built(int)> build) : build_(std::move(build)), last_(last) {
    thread_ = std::thread([this] { Run(); });
  }
  ~BuildAhead() {
    Set(stop_, true);
    thread_.join();
  }
  BuildAhead(const BuildAhead&) = delete;
  BuildAhead& operator=(const BuildAhead&) = delete;

  Built Take(int section) {
    Slot& slot = slots_[section % kSlots];
    if (paused_.load()) Set(paused_, false);
    for (;;) {
      Await([&] {
        const int state = slot.state.load();
        return state == kPackable || state == kDone;
      });
      // A piece the builder is packing is waited for again.
      int state = kPackable;
      if (slot.state.compare_exchange_strong(state, kTaking) ||
          (state == kDone && slot.state.compare_exchange_strong(state, kTaking)))
        break;
    }
    Built built = std::move(slot.built);
    std::exception_ptr failure = std::exchange(slot.failure, nullptr);
    taken_.store(section);
    slot.state.store(kEmpty);
    Set(allowed_, std::min(section + kAhead, last_));
    if (failure) std::rethrow_exception(failure);
    return built;
  }
  // Holds the builder until the next Take, once the piece it is building
  // (if any) is done: the caller may read the source meanwhile.
  void Settle() {
    Set(paused_, true);
    Await([&] { return !building_.load(); });
  }

 private:
  static constexpr int kAhead = 3;
  static constexpr int kSlots = kAhead + 1;
  // A slot's states: empty; built, and still to be packed or not; being
  // packed by the builder; being taken.
  enum { kEmpty, kPackable, kDone, kPacking, kTaking };
  struct Slot {
    // Written by the builder before it sets `state`, read by Take after.
    Built built;
    std::exception_ptr failure;
    std::atomic<int> state{kEmpty};
  };

  template <typename T, typename V>
  void Set(std::atomic<T>& flag, V value) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      flag.store(value);
    }
    wake_.notify_all();
  }
  template <typename Done>
  void Await(Done&& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
    for (int look = 1; !done(); ++look) {
      if (look % 64 == 0 && std::chrono::steady_clock::now() > until) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, done);
        return;
      }
    }
  }
  // The first piece waiting to be taken that is still to be packed.
  Slot* Packable(int next) {
    for (int s = taken_.load() + 1; s < next; ++s)
      if (slots_[s % kSlots].state.load() == kPackable) return &slots_[s % kSlots];
    return nullptr;
  }
  void Run() {
    for (int section = 1; section <= last_;) {
      const auto mayBuild = [&] { return !paused_.load() && section <= allowed_.load(); };
      Await([&] { return stop_.load() || mayBuild() || Packable(section); });
      if (stop_.load()) return;
      if (!mayBuild()) {
        Slot* slot = Packable(section);
        int state = kPackable;
        if (slot && slot->state.compare_exchange_strong(state, kPacking)) {
          slot->built.split->PackPrepared();
          Set(slot->state, kDone);
        }
        continue;
      }
      // Marked busy before the pause is looked at again, so that Settle either
      // sees the mark or is seen.
      building_.store(true);
      if (paused_.load()) {
        Set(building_, false);
        continue;
      }
      Slot& slot = slots_[section % kSlots];
      try {
        slot.built = build_(section);
      } catch (...) {
        slot.failure = std::current_exception();
      }
      const bool packable = !slot.failure && slot.built.split;
      building_.store(false);
      Set(slot.state, packable ? kPackable : kDone);
      ++section;
    }
  }

  std::function<Built(int)> build_;
  const int last_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<int> allowed_{1};  // the last section the builder may build
  std::atomic<int> taken_{0};    // the last section taken
  std::atomic<bool> paused_{false};
  std::atomic<bool> building_{false};
  std::atomic<bool> stop_{false};
  Slot slots_[kSlots];
  std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace

void RunLedger::Protect(const std::string& path) {
  if (path.empty()) return;
  names_.insert(Normalised(path));
  if (const auto id = support::IdentityOf(path)) files_.insert({id->device, id->file});
}

bool RunLedger::Taken(const std::string& path) const {
  if (names_.count(Normalised(path))) return true;
  const auto id = support::IdentityOf(path);
  return id && files_.count({id->device, id->file});
}

std::string RunLedger::Claim(const std::string& wanted, const std::string& sibling) {
  const auto taken = [&](const std::string& path) {
    return Taken(path) || (!sibling.empty() && Taken(support::WithExtension(path, sibling)));
  };
  std::string path = wanted;
  for (int n = 2; taken(path) && n < support::kMaxLoopPasses; ++n) path = Numbered(wanted, n);
  names_.insert(Normalised(path));
  if (!sibling.empty()) names_.insert(Normalised(support::WithExtension(path, sibling)));
  return path;
}

void RunLedger::Saved(const std::string& path) {
  saved_.push_back(path);
  if (const auto id = support::IdentityOf(path)) files_.insert({id->device, id->file});
}

std::string BuildSplitName(const std::string& fileName, int index) {
  const std::string name = support::GetFileName(fileName);
  return support::GetFolderPart(fileName) + support::StripExtension(name) + "-" +
         support::ZeroPad(index, 4) + "." + support::GetExtension(name);
}

void DoItByFile(const std::string& path, support::Host& host, word::Factory& factory,
                RunLedger* ledger, const std::optional<std::string>& sourceFolder,
                const PieceNaming* naming) {
  support::Steps run{loc::kDoItByFile, host};
  RunLedger ownLedger;
  RunLedger& pieces = ledger ? *ledger : ownLedger;
  // The document being split is never replaced by one of its pieces.
  pieces.Protect(path);

  word::ApplicationPtr app;
  word::DocumentPtr source;
  word::DocumentPtr split;
  word::SelectionPtr selection;
  int n = 0;
  std::string outputName;
  bool folderRefused = false;
  // The sections after `i` that would give a piece (a section whose text
  // cannot be read counts, as it would be split).
  // Builds the next section's piece beside this one's saving, where it may.
  std::unique_ptr<BuildAhead> ahead;
  auto piecesAfter = [&](int i) {
    if (ahead) ahead->Settle();  // the source is read here, not beside it
    int count = 0;
    for (int j = i + 1; j <= n; ++j) {
      try {
        if (word::Length(Need(Need(source).Sections(j)).GetRange()->Text()) <= 1) continue;
      } catch (...) {
      }
      ++count;
    }
    return count;
  };

  run(100, [&] { app = factory.CreateApplication(); });
  run(102, [&] { source = Need(app).DocumentsOpen(path); });
  run(104, [&] { n = Need(source).SectionsCount(); });

  // The steps of one section's piece up to its naming. They touch the source
  // and the piece only, never the window, so with a second core the next
  // section's piece is built while this one is named, saved and closed; what
  // its steps report comes here in its turn, in the order of a run on one.
  auto Build = [&](support::Steps& steps, int i, const std::function<void()>& yield) {
    Built b;
    if (!steps.test(116, [&] {
          return word::Length(Need(Need(source).Sections(i)).GetRange()->Text()) > 1;
        })) {
      b.hasText = false;
      return b;
    }
    word::DocumentPtr& piece = b.split;
    word::SelectionPtr& chosen = b.selection;
    steps(118, [&] { piece = Need(app).DocumentsAdd(); });
    steps(120, [&] { Need(Need(source).Sections(i)).GetRange()->Copy(); });
    if (steps.test(122, [&] { return LeadingNumber(Need(app).Version()) >= 11; })) {
      steps(124, [&] { Need(piece).ContentPasteAndFormat(word::wdFormatOriginalFormatting); });
    } else {
      steps(126, [&] { Need(piece).ContentPaste(); });
    }

    auto find = [&]() -> word::Find& {
      if (!chosen) chosen = Need(piece).ActiveWindowSelection();
      return Need(chosen).GetFind();
    };
    steps(128, [&] { find().ClearFormatting(); });
    steps(130, [&] { find().GetReplacement().ClearFormatting(); });
    steps(134, [&] { find().SetText("^b"); });
    steps(136, [&] { find().SetText(""); });
    steps(138, [&] { find().GetReplacement().SetText(""); });
    steps(140, [&] { find().SetForward(true); });
    steps(142, [&] { find().SetWrap(word::wdFindContinue); });
    steps(144, [&] { find().Execute(word::wdReplaceAll); });

    auto sel = [&]() -> word::Selection& {
      if (!chosen) chosen = Need(piece).ActiveWindowSelection();
      return Need(chosen);
    };
    steps(148, [&] { Need(Need(piece).SectionsLast()).GetRange()->Select(); });
    for (int pass = 0; pass < support::kMaxLoopPasses; ++pass) {
      if (!steps.test(150, [&] {
            const std::string text = Need(sel().GetRange()).Text();
            return EndsWithLineEnd(text) && word::Length(text) > 1;
          })) {
        break;
      }
      steps(152, [&] { yield(); });
      steps(154, [&] { sel().MoveEnd(word::wdCharacter, -1); });
    }
    if (steps.test(156, [&] { return sel().CharactersCount() <= 2; })) {
      steps(158, [&] { sel().Collapse(word::wdCollapseEnd); });
      steps(160, [&] { sel().Delete(); });
    }
    steps(162, [&] { sel().Collapse(word::wdCollapseEnd); });

    int paragraphs = 0;
    steps(164, [&] { paragraphs = Need(piece).ParagraphsCount(); });
    for (int k = paragraphs; k >= 1; --k) {
      // Only a paragraph that is a bare break is taken away: one that begins
      // with a break and goes on with text keeps its text.
      if (steps.test(166, [&] { return IsBareBreak(Need(Need(piece).Paragraphs(k)).Text()); })) {
        steps(168, [&] { Need(Need(piece).Paragraphs(k)).Delete(); });
        break;
      }
      if (steps.test(170, [&] { return word::Length(Need(Need(piece).Paragraphs(k)).Text()) > 1; }))
        break;
    }
    return b;
  };
  // Naming a piece from its words may look at its pages, which another
  // thread adding documents could disturb: it keeps to one.
  if (n > 1 && !naming && app && app->AllowsTwoThreads() &&
      std::thread::hardware_concurrency() > 1) {
    try {
      ahead = std::make_unique<BuildAhead>(n, [&](int i) {
        Built b;
        support::Steps recorded{loc::kDoItByFile,
                                [&b](const std::string& description, const std::string&, int line) {
                                  b.events.push_back({line, false, description});
                                }};
        Built made = Build(recorded, i, [&b] { b.events.push_back({152, true, {}}); });
        made.events = std::move(b.events);
        // What saving does to the piece before it writes, done here too.
        if (made.split) made.split->PrepareSave();
        return made;
      });
    } catch (const std::system_error&) {
      ahead.reset();  // no thread to be had: one thread builds and saves
    }
  }

  run.unnumbered([] {});
  for (int i = 1; i <= n; ++i) {
    run(108, [] {});
    run(110, [&] { host.Yield(); });
    run(112, [&] { host.SetPointer(support::kPointerHourglass); });
    run(114, [&] { host.SetProgressValue((i + 1.0) / (n + 1.0) * 100.0); });
    Built built;
    if (ahead) {
      built = ahead->Take(i);
      for (const Built::Event& event : built.events) {
        if (event.yield)
          run(152, [&] { host.Yield(); });
        else
          run.Replay(event.line, event.description);
      }
    } else {
      built = Build(run, i, [&] { host.Yield(); });
    }
    if (!built.hasText) continue;
    split = std::move(built.split);
    selection = std::move(built.selection);

    // Named from its own words when asked: the piece as it will be saved.
    std::string ownName;
    if (naming && split) {
      ownName = NamePieceByContent(*split, *naming,
                                   support::GetExtension(support::GetFileName(path)), host);
    }
    run(174, [&] {
      const std::string fileName = support::GetFileName(path);
      outputName = BuildSplitName(
          ownName.empty() ? fileName : ownName + "." + support::GetExtension(fileName), i);
    });
    run(176, [&] { host.SetProgressText("Creating: " + outputName); });
    // `folder` "" is the current folder. When the folder refuses the piece
    // (full, read-only, gone), every later piece would fail the same way: one
    // report says how many of the document's pieces were not written, and the
    // document ends there.
    auto save = [&](const std::string& folder) {
      // A piece's PDF goes beside it: a PDF of another input's piece of the
      // same name is not replaced either.
      const std::string target = pieces.Claim(support::PathInFolder(folder, outputName),
                                              host.Settings().SavePdf ? "pdf" : "");
      try {
        Need(split).SaveAs(target);
      } catch (const word::FolderError& e) {
        folderRefused = true;
        throw word::FolderError(std::string(e.what()) + " " + NotWritten(1 + piecesAfter(i)));
      }
      pieces.Saved(target);
    };
    if (run.test(180, [&] { return host.Settings().SaveToChosenFolder; })) {
      run(182, [&] {
        // An empty folder text names no folder (the window's text box may be
        // cleared during a run): the piece is not written anywhere else.
        const std::string folder = host.Settings().OutputFolder;
        if (folder.empty()) {
          folderRefused = true;
          throw word::FolderError("No folder is chosen for the pieces. " +
                                  NotWritten(1 + piecesAfter(i)));
        }
        save(folder);
      });
    } else if (run.test(184, [&] { return host.Settings().SaveToSourceFolder; })) {
      run(186, [&] { save(sourceFolder ? *sourceFolder : support::GetFolderPart(path)); });
    }
    run(188, [&] { Need(split).Close(); });
    run(190, [] {});
    if (folderRefused) break;
  }

  // A piece built for a section the run did not reach is never saved.
  ahead.reset();
  run(192, [&] { Need(source).Close(word::wdDoNotSaveChanges); });
  run(194, [&] { Need(app).Quit(); });
  run(196, [&] { app.reset(); });
  run(198, [&] { source.reset(); });
  run(200, [&] {
    selection.reset();
    split.reset();
  });
}

}  // namespace engine
