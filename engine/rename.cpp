// Naming splits from their contents: one name per input document, or one per
// piece, from the first words of the text that the chosen rule points at.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <string_view>
#include <system_error>

#include "engine/engine.h"
#include "engine/need.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/private_files.h"
#include "support/steps.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

// Private folders that hold a working copy whose derived name is taken.
constexpr const char* kWorkFolderPrefix = ".parvane-work-";
// The private folder of the temporary folder that holds one call's temporary copy.
constexpr const char* kTempFolderPrefix = "parvane-naming-";
// What the file system accepts for one file name (bytes).
constexpr std::size_t kMaxFileNameBytes = 255;
// Room a piece's name needs beyond the working copy's: "-12345" and " (99)".
constexpr std::size_t kPieceSuffixRoom = 12;

// The pieces of a text between its blanks (code 32 only), one at a time:
// nothing is copied or split ahead of its use, however long the text.
class Pieces {
 public:
  Pieces() = default;
  explicit Pieces(const std::string& text) : text_(&text), start_(0) {}
  bool AtEnd() const { return !text_ || start_ == std::string::npos; }
  std::string_view Current() const {
    const std::string_view all(*text_);
    const auto blank = all.find(' ', start_);
    return all.substr(start_, blank == std::string::npos ? std::string::npos : blank - start_);
  }
  // The next piece. A run of blanks gives empty pieces; with `overEmpty` the
  // whole run is passed at once and the next piece is not empty.
  void Next(bool overEmpty) {
    const std::string_view all(*text_);
    const auto blank = all.find(' ', start_);
    start_ = blank == std::string::npos ? std::string::npos : blank + 1;
    if (overEmpty && !AtEnd()) start_ = all.find_first_not_of(' ', start_);
  }

 private:
  const std::string* text_ = nullptr;
  std::size_t start_ = std::string::npos;
};

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Cuts a name to `budget` bytes at a word boundary (at a character boundary
// when a single word is longer).
std::string FitName(const std::string& name, std::size_t budget) {
  if (name.size() <= budget) return name;
  std::size_t cut = budget;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  const auto blank = name.rfind(' ', cut);
  if (blank != std::string::npos && blank > 0) cut = blank;
  return Trimmed(name.substr(0, cut));
}

// Characters that show nothing but change how a name reads or sorts: the
// soft hyphen, the marks and embeddings of bidirectional text, zero-width
// characters, the byte order mark and other invisible format characters. A
// name holding them looks like another name, or a different extension.
bool IsInvisibleFormat(char32_t c) {
  return c == 0x00AD || c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
         (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF;
}

// The length of the well-formed UTF-8 sequence at `at` and its code point; 0
// when the bytes there are not one (they are then kept as they are).
std::size_t DecodeAt(const std::string& text, std::size_t at, char32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
  if (length == 0 || at + length > text.size()) return 0;
  c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  return length;
}

std::string TempFolder() {
  if (std::string temp = support::EnvironmentValue("TEMP"); !temp.empty()) return temp;
  std::error_code ec;
  const fs::path tmp = fs::temp_directory_path(ec);
  return ec ? std::string() : support::FromFsPath(tmp);
}

std::string NewWorkFolder(const std::string& inputFolder) {
  std::random_device device;
  std::mt19937 generator(device());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        inputFolder + kWorkFolderPrefix + std::to_string(generator() % 1000000000u);
    std::error_code ec;
    if (fs::create_directory(support::ToFsPath(candidate), ec)) return candidate;
    if (ec) throw std::system_error(ec, "Cannot make a work folder in " + inputFolder);
  }
  throw std::runtime_error("Cannot make a work folder in " + inputFolder);
}

// The private temporary folders of the namings under way in this process, so
// that a program ending in the middle of one still takes its folder away.
std::mutex liveFoldersMutex;
std::set<std::string>& LiveFolders() {
  static std::set<std::string> folders;
  return folders;
}

// One call's private temporary folder: made on demand, removed with all it
// holds when the call ends, whichever way it ends.
class PrivateTemp {
 public:
  PrivateTemp() = default;
  PrivateTemp(const PrivateTemp&) = delete;
  PrivateTemp& operator=(const PrivateTemp&) = delete;
  ~PrivateTemp() {
    if (folder_.empty()) return;
    std::error_code ec;
    fs::remove_all(support::ToFsPath(folder_), ec);
    std::lock_guard lock(liveFoldersMutex);
    LiveFolders().erase(folder_);
  }
  // Makes the folder inside `parent` and returns its path.
  const std::string& Make(const std::string& parent) {
    std::lock_guard lock(liveFoldersMutex);
    folder_ = support::MakePrivateFolder(parent, kTempFolderPrefix);
    LiveFolders().insert(folder_);
    return folder_;
  }

 private:
  std::string folder_;
};

// Where the rule's text comes from: the document and its selection.
struct RuleSource {
  std::function<word::Document&()> document;
  std::function<word::Selection&()> selection;
};

// The text the content rule points at (steps 126 to 298), and its pieces.
void TakeRuleText(support::Steps& run, int rule, int pageNumber, const RuleSource& source,
                  std::string& text, Pieces& pieces) {
  // The page rules: from the start of a page to the end of the document.
  auto pageText = [&](int line, const std::function<std::string()>& page) {
    run(line, [&] { source.selection().GoTo(word::wdGoToPage, word::wdGoToNext, page()); });
    run(line + 2, [&] { source.selection().EndKey(word::wdStory, word::wdExtend); });
    run(line + 4, [&] { text = Need(source.selection().GetRange()).Text(); });
    run(line + 6, [&] {
      std::erase(text, '\n');
      std::replace(text.begin(), text.end(), '\r', ' ');
    });
    run(line + 8, [&] { pieces = Pieces(text); });
  };
  auto storyText = [&](int line, bool footer) {
    word::SectionPtr first;
    run(line, [&] { first = source.document().Sections(1); });
    run(line + 2, [&] {
      auto& section = Need(first);
      text = Need(footer ? section.Footers(word::wdHeaderFooterPrimary)
                         : section.Headers(word::wdHeaderFooterPrimary))
                 .Text();
    });
    run(line + 4, [&] { pieces = Pieces(text); });
  };
  if (run.test(126, [&] { return rule == 0; })) pageText(128, [] { return std::string("1"); });
  if (run.test(160, [&] { return rule == 1; })) storyText(162, false);
  if (run.test(190, [&] { return rule == 2; })) storyText(192, true);
  if (run.test(220, [&] { return rule == 3; })) pageText(222, [] { return std::string("2"); });
  if (run.test(254, [&] { return rule == 4; })) {
    pageText(256, [&] { return std::to_string(source.document().PagesCount(1)); });
  }
  if (run.test(288, [&] { return rule == 5; })) {
    pageText(290, [&] { return std::to_string(pageNumber); });
  }
}

// The first X words, each followed by one blank (steps 300 to 306). Runs of
// blanks give empty pieces, which do not count; the words are taken as they
// come, so a long text costs no more than its first X words.
void TakeWords(support::Steps& run, Pieces pieces, int wordCount, std::string& name) {
  int taken = 0;
  bool done = false;
  for (int pass = 0; pass < support::kMaxLoopPasses; ++pass) {
    if (!run.test(300, [&] { return !pieces.AtEnd() && !done; })) break;
    if (pieces.AtEnd()) break;
    run(302, [&] {
      const std::string_view piece = pieces.Current();
      if (!piece.empty()) {
        name.append(piece);
        name += ' ';
        ++taken;
      }
    });
    run(304, [&] {
      if (taken >= wordCount) done = true;
    });
    // Empty pieces change nothing once a word is wanted: a run of them is
    // one pass (with X of 0 or less the first piece ends the loop anyway).
    run(306, [&] { pieces.Next(wordCount > 0); });
  }
}

// What is left of a file name for the derived words once "-0001", " (2)",
// "." and the extension have their room; nothing when the extension alone
// takes it all.
std::size_t NameBudget(const std::string& extension) {
  const std::size_t reserved = kPieceSuffixRoom + 1 + extension.size();
  return reserved < kMaxFileNameBytes ? kMaxFileNameBytes - reserved : 0;
}

}  // namespace

// The cleaned name: line ends removed, the characters that file names refuse
// made blanks, invisible format characters removed, outer blanks and leading
// dots trimmed, cut to what the file system accepts.
std::string CleanDerivedName(const std::string& raw, std::size_t budget) {
  std::string name;
  name.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    if (c == '\n' || c == '\r') {
      ++i;
      continue;
    }
    // The characters file names refuse; Windows refuses the double quote and
    // the control characters too, and a name made with them could not be shared.
    if (std::string_view("/\\*:?<>|\"").find(c) != std::string_view::npos || (c >= 1 && c < 32)) {
      name += ' ';
      ++i;
      continue;
    }
    char32_t code = 0;
    const std::size_t length = DecodeAt(raw, i, code);
    if (length > 1 && IsInvisibleFormat(code)) {
      i += length;
      continue;
    }
    const std::size_t keep = length == 0 ? 1 : length;
    name.append(raw, i, keep);
    i += keep;
  }
  // A name that starts with a dot is hidden, or read as an extension alone.
  const auto first = name.find_first_not_of(". ");
  name = first == std::string::npos ? std::string() : Trimmed(name.substr(first));
  return FitName(name, budget);
}

std::string NamePieceByContent(word::Document& piece, const PieceNaming& naming,
                               const std::string& extension, support::Host& host) {
  support::Steps run{loc::kRenameFile, host};
  int rule = -1;
  run.unnumbered([&] { rule = host.Settings().ContentRule; });
  word::SelectionPtr selection;
  const RuleSource source{[&]() -> word::Document& { return piece; },
                          [&]() -> word::Selection& {
                            if (!selection) selection = piece.ActiveWindowSelection();
                            return Need(selection);
                          }};
  // A piece without the rule's page has no words for it (a word processor
  // would go to its last page instead).
  bool pageMissing = false;
  if (rule == 3 || rule == 5) {
    const int page = rule == 3 ? 2 : naming.pageNumber;
    run.unnumbered([&] { pageMissing = page < 1 || page > piece.PagesCount(1); });
  }
  if (pageMissing) return std::string();
  std::string text;
  Pieces pieces;
  TakeRuleText(run, rule, naming.pageNumber, source, text, pieces);
  std::string name;
  TakeWords(run, pieces, naming.wordCount, name);
  if (name.empty()) return std::string();
  run(332, [&] {
    std::erase(name, '\n');
    std::erase(name, '\r');
  });
  std::string cleaned;
  run(334, [&] { cleaned = CleanDerivedName(name, NameBudget(extension)); });
  return cleaned;
}

std::string RenameFile(const std::string& path, int wordCount, int pageNumber, support::Host& host,
                       word::Factory& factory) {
  support::Steps run{loc::kRenameFile, host};
  std::string extension, inputFolder, tempCopy, workingCopy;
  // The temporary copy lives in a folder of this call alone, removed when the
  // call ends: no other run, nor anybody else using the temporary folder, can
  // replace it between its making and its use.
  PrivateTemp privateTemp;
  word::ApplicationPtr app;
  word::DocumentPtr document;
  std::string text;
  Pieces pieces;
  std::string name;

  run(100, [&] { extension = support::GetExtension(path); });
  run(102, [&] { inputFolder = support::GetFolderPart(path); });
  run(104, [&] { tempCopy = TempFolder(); });
  run(106, [&] {
    if (tempCopy.empty()) throw std::runtime_error("No temporary folder is known.");
  });
  run(108, [&] {
    if (tempCopy.back() != support::kSep) tempCopy += support::kSep;
  });
  run(110, [&] {
    try {
      tempCopy = privateTemp.Make(tempCopy) + support::kSep + "word." + extension;
    } catch (...) {
      // Without a folder of its own nothing is put in the shared one.
      tempCopy.clear();
      throw;
    }
  });
  run(112, [&] { tempCopy = support::CollapseSeparators(tempCopy); });

  run(116, [&] {
    if (!tempCopy.empty()) support::DeleteFileQuietly(tempCopy, host);
  });
  run(118, [&] {
    if (tempCopy.empty()) return;  // reported where the folder failed
    try {
      support::CopyToNewFile(path, tempCopy);
    } catch (...) {
      tempCopy.clear();
      throw;
    }
  });
  run(120, [&] { app = factory.CreateApplication(); });
  run(122, [&] { document = Need(app).DocumentsOpen(path); });
  run(124, [&] { Need(app).SetDisplayAlerts(false); });

  const int rule = [&] {
    int value = -1;
    run.unnumbered([&] { value = host.Settings().ContentRule; });
    return value;
  }();
  const RuleSource source{[&]() -> word::Document& { return Need(document); },
                          [&]() -> word::Selection& { return Need(Need(app).GetSelection()); }};
  TakeRuleText(run, rule, pageNumber, source, text, pieces);
  TakeWords(run, pieces, wordCount, name);

  run(322, [&] { Need(app).Quit(); });
  if (run.test(324, [&] { return name.empty(); })) return std::string();

  run(332, [&] {
    std::erase(name, '\n');
    std::erase(name, '\r');
  });
  run(334, [&] { name = CleanDerivedName(name, NameBudget(extension)); });
  if (run.test(352, [&] { return name.empty(); })) {
    run(362, [] {});
    return std::string();
  }

  // Without a temporary copy of its own (reported where it failed) the
  // working copy is made from the input itself, never from whatever else lies
  // in the temporary folder.
  auto copyFrom = [&] { return tempCopy.empty() ? path : tempCopy; };
  run(354, [&] {
    workingCopy = inputFolder + name + "." + extension;
    // The input itself: use it as it is (nothing to copy, nothing to delete).
    if (support::SameFile(workingCopy, path)) {
      workingCopy = path;
      return;
    }
    // Never replace a file that exists: the copy then goes, under the derived
    // name, into a private work folder of the input's folder.
    if (!support::PathExists(workingCopy)) {
      try {
        support::CopyToNewFile(copyFrom(), workingCopy);
        return;
      } catch (const std::system_error&) {
        if (!support::PathExists(workingCopy)) throw;
      }
    }
    workingCopy = NewWorkFolder(inputFolder) + support::kSep + name + "." + extension;
    support::CopyToNewFile(copyFrom(), workingCopy);
  });
  run(358, [&] {
    if (!tempCopy.empty()) support::DeleteFileQuietly(tempCopy, host);
  });
  run(360, [] {});
  return workingCopy;
}

namespace {

void Discard(const std::string& copyPath, const std::string& entryPath,
             const std::function<void(const std::string&)>& remove) {
  if (copyPath.empty() || support::SameFile(copyPath, entryPath) || copyPath == entryPath) return;
  remove(copyPath);
  const fs::path folder = support::ToFsPath(copyPath).parent_path();
  if (support::FromFsPath(folder.filename()).rfind(kWorkFolderPrefix, 0) == 0) {
    std::error_code ec;
    fs::remove(folder, ec);  // only when empty
  }
}

}  // namespace

void DiscardWorkingCopy(const std::string& copyPath, const std::string& entryPath,
                        support::Host& host) {
  Discard(copyPath, entryPath,
          [&](const std::string& path) { support::DeleteFileQuietly(path, host); });
}

void DiscardWorkingCopyNow(const std::string& copyPath, const std::string& entryPath) {
  Discard(copyPath, entryPath, [](const std::string& path) {
    try {
      support::DeleteFileForced(path);
    } catch (const std::exception&) {
      // The program is ending: nothing is left to report to.
    }
  });
  // A naming still under way leaves no temporary copy behind either.
  std::lock_guard lock(liveFoldersMutex);
  for (const std::string& folder : LiveFolders()) {
    std::error_code ec;
    fs::remove_all(support::ToFsPath(folder), ec);
  }
}

}  // namespace engine
