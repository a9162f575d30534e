// Splitting one document into one document per section.

#include <cstdlib>
#include <filesystem>

#include "engine/engine.h"
#include "engine/need.h"
#include "support/file_identity.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"

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

std::string Normalised(const std::string& path) {
  return support::FromFsPath(support::ToFsPath(path).lexically_normal());
}

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

std::string RunLedger::Claim(const std::string& wanted) {
  std::string path = wanted;
  for (int n = 2; Taken(path) && n < support::kMaxLoopPasses; ++n) path = Numbered(wanted, n);
  names_.insert(Normalised(path));
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
                RunLedger* ledger, const std::string& sourceFolder, const PieceNaming* naming) {
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

  run(100, [&] { app = factory.CreateApplication(); });
  run(102, [&] { source = Need(app).DocumentsOpen(path); });
  run(104, [&] { n = Need(source).SectionsCount(); });

  run.unnumbered([] {});
  for (int i = 1; i <= n; ++i) {
    run(108, [] {});
    run(110, [&] { host.Yield(); });
    run(112, [&] { host.SetPointer(support::kPointerHourglass); });
    run(114, [&] { host.SetProgressValue((i + 1.0) / (n + 1.0) * 100.0); });
    if (!run.test(116, [&] {
          return word::Length(Need(Need(source).Sections(i)).GetRange()->Text()) > 1;
        })) {
      continue;
    }

    split.reset();
    selection.reset();
    run(118, [&] { split = Need(app).DocumentsAdd(); });
    run(120, [&] { Need(Need(source).Sections(i)).GetRange()->Copy(); });
    if (run.test(122, [&] { return LeadingNumber(Need(app).Version()) >= 11; })) {
      run(124, [&] { Need(split).ContentPasteAndFormat(word::wdFormatOriginalFormatting); });
    } else {
      run(126, [&] { Need(split).ContentPaste(); });
    }

    auto find = [&]() -> word::Find& {
      if (!selection) selection = Need(split).ActiveWindowSelection();
      return Need(selection).GetFind();
    };
    run(128, [&] { find().ClearFormatting(); });
    run(130, [&] { find().GetReplacement().ClearFormatting(); });
    run(134, [&] { find().SetText("^b"); });
    run(136, [&] { find().SetText(""); });
    run(138, [&] { find().GetReplacement().SetText(""); });
    run(140, [&] { find().SetForward(true); });
    run(142, [&] { find().SetWrap(word::wdFindContinue); });
    run(144, [&] { find().Execute(word::wdReplaceAll); });

    auto sel = [&]() -> word::Selection& {
      if (!selection) selection = Need(split).ActiveWindowSelection();
      return Need(selection);
    };
    run(148, [&] { Need(Need(split).SectionsLast()).GetRange()->Select(); });
    for (int pass = 0; pass < support::kMaxLoopPasses; ++pass) {
      if (!run.test(150, [&] {
            const std::string text = Need(sel().GetRange()).Text();
            return EndsWithLineEnd(text) && word::Length(text) > 1;
          })) {
        break;
      }
      run(152, [&] { host.Yield(); });
      run(154, [&] { sel().MoveEnd(word::wdCharacter, -1); });
    }
    if (run.test(156, [&] { return sel().CharactersCount() <= 2; })) {
      run(158, [&] { sel().Collapse(word::wdCollapseEnd); });
      run(160, [&] { sel().Delete(); });
    }
    run(162, [&] { sel().Collapse(word::wdCollapseEnd); });

    int paragraphs = 0;
    run(164, [&] { paragraphs = Need(split).ParagraphsCount(); });
    for (int k = paragraphs; k >= 1; --k) {
      // Only a paragraph that is a bare break is taken away: one that begins
      // with a break and goes on with text keeps its text.
      if (run.test(166, [&] { return IsBareBreak(Need(Need(split).Paragraphs(k)).Text()); })) {
        run(168, [&] { Need(Need(split).Paragraphs(k)).Delete(); });
        break;
      }
      if (run.test(170, [&] { return word::Length(Need(Need(split).Paragraphs(k)).Text()) > 1; }))
        break;
    }

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
    auto save = [&](const std::string& folder) {
      const std::string target =
          pieces.Claim(support::CollapseSeparators(folder + support::kSep + outputName));
      Need(split).SaveAs(target);
      pieces.Saved(target);
    };
    if (run.test(180, [&] { return host.Settings().SaveToChosenFolder; })) {
      run(182, [&] { save(host.Settings().OutputFolder); });
    } else if (run.test(184, [&] { return host.Settings().SaveToSourceFolder; })) {
      run(186, [&] {
        save(sourceFolder.empty() ? support::GetFolderPart(path) : sourceFolder);
      });
    }
    run(188, [&] { Need(split).Close(); });
    run(190, [] {});
  }

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
