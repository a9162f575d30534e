// parvane-split: the splitter from the command line.
//
//   parvane-split [-o DIR] [--pdf] [--name-by-content RULE [--each] [-x WORDS] [-y PAGE]]
//                 [--pattern PATTERN] FILE|FOLDER...
//
// Each FILE is split as the window's "Start Splitting" does: with -o DIR the
// pieces go to that folder, otherwise beside each file. A FOLDER stands for
// the files "Add All Word File(s) In Folder" would add from it, in the same
// order, matching PATTERN (default "*.doc*"). Error reports go to standard
// error in the words the window shows, without the window's request to
// e-mail a screenshot; one line per piece written and a closing summary go to
// standard output. Exit status: 0 when nothing was reported, 1 when something
// was, 2 on bad usage.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/libreoffice.h"
#include "support/allocator.h"
#include "support/config.h"
#include "support/error_report.h"
#include "support/folder_scan.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/steps.h"
#include "support/time_zone.h"

namespace {

const char* kUsage =
    "usage: parvane-split [-o DIR] [--pdf] [--name-by-content RULE [--each] [-x WORDS] [-y PAGE]]\n"
    "                     [--pattern PATTERN] FILE|FOLDER...\n"
    "  -o DIR                  save the pieces in DIR (default: beside each file)\n"
    "  --pdf                   also save a PDF of each piece beside it (needs LibreOffice)\n"
    "  --pattern PATTERN       the files of a FOLDER and all its sub-folders to split\n"
    "                          (default \"*.doc*\")\n"
    "  --version               print the program's name and version\n"
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
  void ReportError(const std::string& description, const std::string& location, int line) override {
    ++reports;
    std::cerr << ForTerminal(support::ErrorReportBody(description, location, line)) << "\n\n";
  }
  // A notice is no failure: it does not change the exit status.
  void Notify(const std::string& text) override { std::cerr << "parvane-split: " << text << "\n"; }

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
  support::SettleTimeZone();
  support::KeepFreedMemory();
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
  std::string pattern = "*.doc*";
  bool each = false;
  std::vector<std::string> inputs;

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
    } else if (arg == "--version") {
      std::cout << "parvane-split (" << config::kName << ") " << config::kVersion << "\n";
      return 0;
    } else if (arg == "--pattern") {
      const char* given = value("--pattern");
      if (!given || !*given) return BadUsage("--pattern needs a pattern such as \"*.docx\"");
      pattern = given;
    } else if (arg == "-o") {
      const char* dir = value("-o");
      if (!dir) return BadUsage("-o needs a folder");
      host.settings.SaveToChosenFolder = true;
      host.settings.SaveToSourceFolder = false;
      host.settings.OutputFolder = dir;
    } else if (arg == "--pdf") {
      host.settings.SavePdf = true;
    } else if (arg == "--name-by-content") {
      const char* rule = value("--name-by-content");
      if (!rule || !rules.count(rule))
        return BadUsage("--name-by-content needs one of first, header, footer, page2, last, page");
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
      for (++i; i < argc; ++i) inputs.push_back(argv[i]);
    } else if (!arg.empty() && arg[0] == '-') {
      return BadUsage("unknown option " + arg);
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty()) return BadUsage("no file given");
  if (each && !host.settings.NameByContent) return BadUsage("--each needs --name-by-content");
  if (host.settings.NameByContent && wordCount < 1) {
    // The window's rule: the first word is always taken before the count is
    // looked at.
    std::cerr << "parvane-split: -x " << wordCount << " is less than one word: taking one word\n";
  }
  host.settings.EachSplit = each;
  const engine::PieceNaming naming{wordCount, host.settings.ContentRule == 5 ? pageNumber : 0};
  if (host.settings.SaveToChosenFolder && !support::IsFolder(host.settings.OutputFolder)) {
    std::cerr << "Folder does not exist. Please select another folder.\n";
    return 2;
  }

  // An interrupted run ends LibreOffice with it.
  std::signal(SIGINT, [](int) { engine::StopOfficeFromSignal(); });
  std::signal(SIGTERM, [](int) { engine::StopOfficeFromSignal(); });
#ifdef SIGHUP
  // A closed terminal too: a LibreOffice kept running would outlive us.
  std::signal(SIGHUP, [](int) { engine::StopOfficeFromSignal(); });
  std::signal(SIGQUIT, [](int) { engine::StopOfficeFromSignal(); });
#endif
#ifdef SIGPIPE
  // A reader of our list that goes away (`parvane-split … | head -1`) must
  // not end us in mid-run with LibreOffice left running: the run goes on,
  // and the list goes nowhere.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  engine::OfficeFactory office(word::DefaultFactory(), host);
  const auto started = std::chrono::steady_clock::now();
  // A folder stands for the files the window's folder button would add.
  std::vector<std::string> files;
  for (const auto& input : inputs) {
    if (!support::IsFolder(input)) {
      files.push_back(input);
      continue;
    }
    support::Steps run{loc::kAddFolder, host};
    const std::size_t before = files.size();
    support::WalkFolderFiles(input, pattern, run, host,
                             [&](const std::string& path) { files.push_back(path); });
    if (files.size() == before)
      std::cerr << "parvane-split: no file in " << input << " matches " << pattern << "\n";
  }
  engine::RunLedger ledger;
  for (const auto& file : files) ledger.Protect(file);
  std::size_t printed = 0;
  std::size_t written = 0;
  int documents = 0;
  for (const auto& file : files) {
    if (engine::OfficeStopping()) break;
    std::string path = file;
    if (host.settings.NameByContent && !each) {
      path = engine::RenameFile(file, wordCount, host.settings.ContentRule == 5 ? pageNumber : 0,
                                host, office);
      if (path.empty()) {
        std::cerr << "parvane-split: no name found in " << file << "; not split\n";
        continue;
      }
    }
    const int conversions = office.Calls();
    engine::DoItByFile(path, host, office, &ledger, support::GetFolderPart(file),
                       each ? &naming : nullptr);
    if (host.settings.NameByContent && !each) engine::DiscardWorkingCopy(path, file, host);
    ++documents;
    const auto& saved = ledger.SavedPieces();
    // A piece whose conversion failed was reported and is not listed, also
    // where an earlier run left a file of its name; one that LibreOffice had
    // no part in was written when it was saved.
    const bool converted = office.Calls() != conversions;
    for (; printed < saved.size(); ++printed) {
      if (converted && !office.Placed(saved[printed])) continue;
      std::cout << saved[printed] << "\n";
      ++written;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("%zu pieces from %d document%s in %.2f s\n", written, documents,
              documents == 1 ? "" : "s", seconds);
  if (engine::OfficeStopping()) return 130;
  return host.reports == 0 ? 0 : 1;
}
