// Naming splits from their contents: one name per input document, from the
// first words of the text that the chosen rule points at.

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <system_error>
#include <vector>

#include "engine/engine.h"
#include "engine/need.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/steps.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

// Private folders that hold a working copy whose derived name is taken.
constexpr const char* kWorkFolderPrefix = ".parvane-work-";
// What the file system accepts for one file name (bytes).
constexpr std::size_t kMaxFileNameBytes = 255;
// Room a piece's name needs beyond the working copy's: "-12345" and " (99)".
constexpr std::size_t kPieceSuffixRoom = 12;

std::string Without(std::string text, char c) {
  std::erase(text, c);
  return text;
}

std::string Replaced(std::string text, char from, char to) {
  for (auto& c : text)
    if (c == from) c = to;
  return text;
}

std::vector<std::string> SplitAtBlanks(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == ' ')
      pieces.emplace_back();
    else
      pieces.back() += c;
  }
  return pieces;
}

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

void CopyNew(const std::string& from, const std::string& to) {
  fs::copy_file(support::ToFsPath(from), support::ToFsPath(to), fs::copy_options::none);
}

}  // namespace

// The cleaned name: line ends removed, the characters that file names refuse
// made blanks, outer blanks trimmed, cut to what the file system accepts.
std::string CleanDerivedName(const std::string& raw, std::size_t budget) {
  std::string name = Without(Without(raw, '\n'), '\r');
  for (char c : std::string("/\\*:?<>|")) name = Replaced(name, c, ' ');
  // Windows refuses these too; a name made with them could not be shared.
  name = Replaced(name, '"', ' ');
  for (char c = 1; c < 32; ++c) name = Replaced(name, c, ' ');
  name = Trimmed(name);
  return FitName(name, budget);
}

std::string RenameFile(const std::string& path, int wordCount, int pageNumber, support::Host& host,
                       word::Factory& factory) {
  support::Steps run{loc::kRenameFile, host};
  std::string extension, inputFolder, tempCopy, workingCopy;
  word::ApplicationPtr app;
  word::DocumentPtr document;
  std::string text;
  std::vector<std::string> pieces;
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
  run(110, [&] { tempCopy += "word." + extension; });
  run(112, [&] { tempCopy = support::CollapseSeparators(tempCopy); });

  run(116, [&] { support::DeleteFileQuietly(tempCopy, host); });
  run(118, [&] {
    // Made afresh, never written over: whatever still stands there after the
    // delete (another user's file in a shared temporary folder, or a link to
    // somewhere else) is neither written through nor read as this document.
    try {
      fs::copy_file(support::ToFsPath(path), support::ToFsPath(tempCopy), fs::copy_options::none);
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

  // The page rules: from the start of a page to the end of the document.
  auto pageText = [&](int line, const std::function<std::string()>& page) {
    run(line, [&] { Need(app).GetSelection()->GoTo(word::wdGoToPage, word::wdGoToNext, page()); });
    run(line + 2, [&] { Need(app).GetSelection()->EndKey(word::wdStory, word::wdExtend); });
    run(line + 4, [&] { text = Need(Need(app).GetSelection()->GetRange()).Text(); });
    run(line + 6, [&] { text = Replaced(Without(text, '\n'), '\r', ' '); });
    run(line + 8, [&] { pieces = SplitAtBlanks(text); });
  };
  if (run.test(126, [&] { return rule == 0; })) pageText(128, [] { return std::string("1"); });
  if (run.test(160, [&] { return rule == 1; })) {
    word::SectionPtr first;
    run(162, [&] { first = Need(document).Sections(1); });
    run(164, [&] { text = Need(Need(first).Headers(word::wdHeaderFooterPrimary)).Text(); });
    run(166, [&] { pieces = SplitAtBlanks(text); });
  }
  if (run.test(190, [&] { return rule == 2; })) {
    word::SectionPtr first;
    run(192, [&] { first = Need(document).Sections(1); });
    run(194, [&] { text = Need(Need(first).Footers(word::wdHeaderFooterPrimary)).Text(); });
    run(196, [&] { pieces = SplitAtBlanks(text); });
  }
  if (run.test(220, [&] { return rule == 3; })) pageText(222, [] { return std::string("2"); });
  if (run.test(254, [&] { return rule == 4; })) {
    pageText(256, [&] { return std::to_string(Need(document).PagesCount(1)); });
  }
  if (run.test(288, [&] { return rule == 5; })) {
    pageText(290, [&] { return std::to_string(pageNumber); });
  }

  // The first X words; runs of blanks give empty pieces, which do not count.
  std::size_t index = 0;
  int taken = 0;
  bool done = false;
  for (int pass = 0; pass < support::kMaxLoopPasses; ++pass) {
    if (!run.test(300, [&] { return index < pieces.size() && !done; })) break;
    if (index >= pieces.size()) break;
    run(302, [&] {
      if (!pieces[index].empty()) {
        name += pieces[index] + " ";
        ++taken;
      }
    });
    run(304, [&] {
      if (taken >= wordCount) done = true;
    });
    run(306, [&] { ++index; });
  }

  run(322, [&] { Need(app).Quit(); });
  if (run.test(324, [&] { return name.empty(); })) return std::string();

  // What is left of a file name for the derived words; nothing when the
  // extension alone takes it all.
  const std::size_t reserved = kPieceSuffixRoom + 1 + extension.size();
  const std::size_t budget = reserved < kMaxFileNameBytes ? kMaxFileNameBytes - reserved : 0;
  run(332, [&] { name = Without(Without(name, '\n'), '\r'); });
  run(334, [&] { name = CleanDerivedName(name, budget); });
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
        CopyNew(copyFrom(), workingCopy);
        return;
      } catch (const fs::filesystem_error& e) {
        if (!support::PathExists(workingCopy)) throw;
      }
    }
    workingCopy = NewWorkFolder(inputFolder) + support::kSep + name + "." + extension;
    CopyNew(copyFrom(), workingCopy);
  });
  run(358, [&] { support::DeleteFileQuietly(tempCopy, host); });
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
}

}  // namespace engine
