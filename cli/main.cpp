// parvane-split: the splitter from the command line.
//
//   parvane-split [-o DIR] [--name-by-content RULE [--each] [-x WORDS] [-y PAGE]] FILE...
//
// Each FILE is split as the window's "Start Splitting" does: with -o DIR the
// pieces go to that folder, otherwise beside each file. Error reports go to
// standard error in the words the window shows; one line per piece written
// and a closing summary go to standard output. Exit status: 0 when nothing was
// reported, 1 when something was, 2 on bad usage.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/error_report.h"
#include "support/host.h"
#include "support/native_text.h"
#include "support/paths.h"

namespace {

const char* kUsage =
    "usage: parvane-split [-o DIR] [--name-by-content RULE [--each] [-x WORDS] [-y PAGE]] FILE...\n"
    "  -o DIR                  save the pieces in DIR (default: beside each file)\n"
    "  --name-by-content RULE  name the pieces from the document's first words:\n"
    "                          first, header, footer, page2, last or page (page Y)\n"
    "  --each                  name every piece from its own words instead\n"
    "  -x WORDS                how many words make the name (default 1)\n"
    "  -y PAGE                 the page for the rule 'page' (default 1)\n";

// The terminal shows the report's line ends as line breaks.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

class CommandLineHost : public support::Host {
 public:
  support::SplitSettings settings;
  int reports = 0;

  support::SplitSettings Settings() override { return settings; }
  void SetProgressValue(double) override {}
  void SetProgressText(const std::string&) override {}
  void SetPointer(int pointer) override { pointer_ = pointer; }
  int GetPointer() override { return pointer_; }
  void Yield() override {}
  void ReportError(const std::string& description, const std::string& location,
                   int line) override {
    ++reports;
    std::cerr << ForTerminal(support::ErrorReportText(description, location, line)) << "\n\n";
  }

 private:
  int pointer_ = support::kPointerDefault;
};

bool ParseInt(const std::string& text, int* value) {
  try {
    std::size_t used = 0;
    const long long v = std::stoll(text, &used);
    if (used != text.size() || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int>(v);
    return true;
  } catch (...) {
    return false;
  }
}

int BadUsage(const std::string& why) {
  std::cerr << "parvane-split: " << why << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Names in UTF-8 whatever the platform's own code page.
  support::UseUtf8Console();
  std::vector<std::string> utf8Args = support::CommandLineArguments(argc, argv);
  std::vector<char*> utf8Argv{argv[0]};
  for (auto& arg : utf8Args) utf8Argv.push_back(arg.data());
  argc = static_cast<int>(utf8Argv.size());
  argv = utf8Argv.data();

  const std::map<std::string, int> rules = {{"first", 0}, {"header", 1}, {"footer", 2},
                                            {"page2", 3}, {"last", 4},   {"page", 5}};
  CommandLineHost host;
  host.settings.SaveToChosenFolder = false;
  host.settings.SaveToSourceFolder = true;
  int wordCount = 1;
  int pageNumber = 1;
  bool each = false;
  std::vector<std::string> files;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* option) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)option;
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "-o") {
      const char* dir = value("-o");
      if (!dir) return BadUsage("-o needs a folder");
      host.settings.SaveToChosenFolder = true;
      host.settings.SaveToSourceFolder = false;
      host.settings.OutputFolder = dir;
    } else if (arg == "--name-by-content") {
      const char* rule = value("--name-by-content");
      if (!rule || !rules.count(rule)) return BadUsage("--name-by-content needs one of first, header, footer, page2, last, page");
      host.settings.NameByContent = true;
      host.settings.ContentRule = rules.at(rule);
    } else if (arg == "--each") {
      each = true;
    } else if (arg == "-x" || arg == "-y") {
      const char* number = value(arg.c_str());
      int parsed = 0;
      if (!number || !ParseInt(number, &parsed)) return BadUsage(arg + " needs a whole number");
      (arg == "-x" ? wordCount : pageNumber) = parsed;
    } else if (arg == "--") {
      for (++i; i < argc; ++i) files.push_back(argv[i]);
    } else if (!arg.empty() && arg[0] == '-') {
      return BadUsage("unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) return BadUsage("no file given");
  if (each && !host.settings.NameByContent) return BadUsage("--each needs --name-by-content");
  host.settings.EachSplit = each;
  const engine::PieceNaming naming{wordCount, host.settings.ContentRule == 5 ? pageNumber : 0};
  if (host.settings.SaveToChosenFolder && !support::IsFolder(host.settings.OutputFolder)) {
    std::cerr << "Folder does not exist. Please select another folder.\n";
    return 2;
  }

  const auto started = std::chrono::steady_clock::now();
  engine::RunLedger ledger;
  for (const auto& file : files) ledger.Protect(file);
  std::size_t printed = 0;
  int documents = 0;
  for (const auto& file : files) {
    std::string path = file;
    if (host.settings.NameByContent && !each) {
      path = engine::RenameFile(file, wordCount, host.settings.ContentRule == 5 ? pageNumber : 0,
                                host);
      if (path.empty()) {
        std::cerr << "parvane-split: no name found in " << file << "; not split\n";
        continue;
      }
    }
    engine::DoItByFile(path, host, word::DefaultFactory(), &ledger, support::GetFolderPart(file),
                       each ? &naming : nullptr);
    if (host.settings.NameByContent && !each) engine::DiscardWorkingCopy(path, file, host);
    ++documents;
    const auto& saved = ledger.SavedPieces();
    for (; printed < saved.size(); ++printed) std::cout << saved[printed] << "\n";
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%zu pieces from %d document%s in %.2f s\n", ledger.SavedPieces().size(), documents,
              documents == 1 ? "" : "s", seconds);
  return host.reports == 0 ? 0 : 1;
}
