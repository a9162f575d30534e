// parvane-split as a user runs it.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <set>

#include "docx/document.h"
#include "docx_fixture.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

std::string Split() {
  return Quote(testing_support::BinDir() + "/parvane-split");
}

// Not a real Word file, but one by its first bytes and its text stream's name.
std::string FakeWordFile() {
  return std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") + std::string(4096, '\0') +
         std::string("W\0o\0r\0d\0D\0o\0c\0u\0m\0e\0n\0t\0", 24);
}

void WriteMerge(const std::string& path) {
  fixture::Write(path, fixture::Merge({{"Dear Ann,", "Your order shipped."},
                                       {"Dear Bob,", "Your order is late."},
                                       {"Dear Cy,", "Thank you."}}));
}

TEST(CommandLine, bad_usage_exits_with_two_and_says_how) {
  for (const std::string args :
       {"", "-o", "--name-by-content nowhere a.docx", "-x abc a.docx", "--frobnicate a.docx"}) {
    const auto r = RunCommand(Split() + " " + args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_NE(r.output.find("usage: parvane-split"), std::string::npos) << args;
  }
  EXPECT_EQ(RunCommand(Split() + " --help").exitCode, 0);
}

TEST(CommandLine, a_missing_output_folder_is_refused_before_anything_is_split) {
  TempDir dir;
  WriteMerge(dir.file("Letters.docx"));
  const auto r = RunCommand(Split() + " -o " + Quote(dir.file("nowhere")) + " " +
                            Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("Folder does not exist. Please select another folder."),
            std::string::npos);
  EXPECT_EQ(testing_support::FilesIn(dir.path()), std::vector<std::string>{"Letters.docx"});
}

TEST(CommandLine, splits_into_the_folder_and_names_every_piece) {
  TempDir dir;
  fs::create_directory(dir.path() / "out");
  WriteMerge(dir.file("Letters.docx"));
  const auto r =
      RunCommand(Split() + " -o " + Quote(dir.file("out")) + " " + Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(
      testing_support::FilesIn(dir.path() / "out"),
      (std::vector<std::string>{"Letters-0001.docx", "Letters-0002.docx", "Letters-0003.docx"}));
  EXPECT_NE(r.output.find("Letters-0002.docx\n"), std::string::npos);
  EXPECT_NE(r.output.find("3 pieces from 1 document in "), std::string::npos);

  // A second run of the same split replaces the pieces of the first: users
  // split again after fixing their merge.
  WriteMerge(dir.file("Letters.docx"));
  testing_support::WriteFile(dir.path() / "out" / "Letters-0002.docx", "an earlier run's piece");
  const auto again =
      RunCommand(Split() + " -o " + Quote(dir.file("out")) + " " + Quote(dir.file("Letters.docx")));
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path() / "out").size(), 3u);
  EXPECT_NE(testing_support::ReadFile(dir.path() / "out" / "Letters-0002.docx"),
            "an earlier run's piece");
}

TEST(CommandLine, failures_are_reported_in_the_windows_words_and_the_rest_goes_on) {
  TempDir dir;
  WriteMerge(dir.file("Letters.docx"));
  testing_support::WriteFile(dir.file("broken.docx"), "not a zip at all");
  const auto r = RunCommand(Split() + " " + Quote(dir.file("missing.docx")) + " " +
                            Quote(dir.file("broken.docx")) + " " + Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("in Vellomir2021/08/31.Word1.DoItByFile at line 102\n"),
            std::string::npos);
  // The window's request to e-mail a screenshot means nothing on a terminal.
  EXPECT_EQ(r.output.find("Please email"), std::string::npos) << r.output;
  EXPECT_TRUE(fs::exists(dir.file("Letters-0003.docx")));
  EXPECT_EQ(testing_support::ReadFile(dir.file("broken.docx")), "not a zip at all");
}

TEST(CommandLine, content_naming_keeps_no_working_copy_and_no_existing_file_is_touched) {
  TempDir dir;
  WriteMerge(dir.file("merge.docx"));
  testing_support::WriteFile(dir.file("Dear.docx"), "somebody's own");
  // TEMP for the program alone, the same way on every platform's shell.
  const char* old = std::getenv("TEMP");
  const std::string saved = old ? old : "";
  setenv("TEMP", dir.str().c_str(), 1);
  const auto r =
      RunCommand(Split() + " --name-by-content first -x 1 " + Quote(dir.file("merge.docx")));
  if (old)
    setenv("TEMP", saved.c_str(), 1);
  else
    unsetenv("TEMP");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Dear-0001.docx", "Dear-0002.docx", "Dear-0003.docx",
                                      "Dear.docx", "merge.docx"}));
  EXPECT_EQ(testing_support::ReadFile(dir.file("Dear.docx")), "somebody's own");
}

TEST(CommandLine, version_names_the_program_and_the_project_version) {
  const auto r = RunCommand(Split() + " --version");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, std::string("parvane-split (Parvane) ") + PARVANE_PROJECT_VERSION + "\n");
}

// A folder stands for what "Add All Word File(s) In Folder" adds from it:
// the folder's own files, then breadth first (A and B in the order the file
// system lists them, then A's A1), without Word's owner files, LibreOffice's
// lock files or names the pattern refuses.
TEST(CommandLine, a_folder_is_split_in_the_order_and_with_the_skips_of_the_folder_button) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  TempDir dir;
  const fs::path in = dir.path() / "in";
  for (const char* sub : {"A/A1", "B"}) fs::create_directories(in / sub);
  fs::create_directory(dir.path() / "out");
  for (const char* file : {"Top.docx", "A/Alpha.docx", "A/A1/Deep.docx", "B/Beta.doc",
                           "B/~$Beta.docx", "B/.~lock.Beta.doc#", "B/Notes.odt"})
    WriteMerge((in / file).string());
  bool aFirst = true;
  for (const auto& entry : fs::directory_iterator(in)) {
    if (entry.path().filename() == "A" || entry.path().filename() == "B") {
      aFirst = entry.path().filename() == "A";
      break;
    }
  }
  const std::string one = aFirst ? "Alpha" : "Beta", two = aFirst ? "Beta" : "Alpha";
  struct Case {
    std::string pattern;  // "" for the default
    std::vector<std::string> stems;
  };
  const Case cases[] = {
      {"", {"Top", one, two, "Deep"}},
      {"*.docx", {"Top", "Alpha", "Deep"}},
      {"*.odt", {"Notes"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir.path() / "out");
    fs::create_directory(dir.path() / "out");
    const std::string patternArg = c.pattern.empty() ? "" : " --pattern " + Quote(c.pattern);
    const auto r = RunCommand(Split() + " -o " + Quote(dir.file("out")) + patternArg + " " +
                              Quote(in.string()));
    EXPECT_EQ(r.exitCode, 0) << c.pattern << "\n" << r.output;
    std::string expected;
    for (const std::string& stem : c.stems) {
      const std::string ext = stem == "Beta" ? ".doc" : stem == "Notes" ? ".odt" : ".docx";
      for (int i = 1; i <= 3; ++i)
        expected += dir.file("out") + "/" + stem + "-000" + std::to_string(i) + ext + "\n";
    }
    EXPECT_EQ(r.output.substr(0, expected.size()), expected) << c.pattern << "\n" << r.output;
    EXPECT_EQ(testing_support::FilesIn(dir.path() / "out").size(), 3 * c.stems.size());
  }
  // A folder with nothing that matches is said so, and nothing is split.
  const auto none = RunCommand(Split() + " --pattern '*.pdf' " + Quote(in.string()));
  EXPECT_EQ(none.exitCode, 0) << none.output;
  EXPECT_NE(none.output.find("no file in " + in.string() + " matches *.pdf"), std::string::npos)
      << none.output;
}

// As in the window, the first word is taken before the count is looked at:
// a count below one takes one word, and the terminal says so.
TEST(CommandLine, a_word_count_below_one_is_explained_and_takes_one_word) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  for (const std::string count : {"0", "-3"}) {
    TempDir dir;
    WriteMerge(dir.file("merge.docx"));
    const auto r =
        RunCommand("TEMP=" + Quote(dir.str()) + " " + Split() + " --name-by-content first -x " +
                   count + " " + Quote(dir.file("merge.docx")));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("-x " + count + " is less than one word: taking one word"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::exists(dir.file("Dear-0001.docx"))) << r.output;
  }
}

TEST(CommandLine, without_libreoffice_the_page_rules_answer_from_the_breaks_and_say_so_once) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  TempDir dir, temp;
  // Two letters long enough to run over a page, with no rendered page marks.
  std::vector<std::vector<std::string>> records(2);
  for (int r = 0; r < 2; ++r)
    for (int k = 1; k <= 40; ++k)
      records[r].push_back((r == 0 ? "Ann " : "Bob ") + std::to_string(k) +
                           " and a line of words long enough to fill a line of the page");
  fixture::Write(dir.file("a.docx"), fixture::Merge(records));
  fixture::Write(dir.file("b.docx"), fixture::Merge(records));
  const auto r = RunCommand("PARVANE_SOFFICE=none TEMP=" + Quote(temp.str()) + " " + Split() +
                            " --name-by-content page2 -x 2 " + Quote(dir.file("a.docx")) + " " +
                            Quote(dir.file("b.docx")));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // Page 2 is the second letter's start, as the breaks alone say.
  EXPECT_NE(r.output.find("Bob 1-0002.docx"), std::string::npos) << r.output;
  const std::string notice =
      "parvane-split: Page numbers may be off for documents without rendered page marks";
  const auto first = r.output.find(notice);
  EXPECT_NE(first, std::string::npos) << r.output;
  EXPECT_EQ(r.output.find(notice, first + 1), std::string::npos) << r.output;
}

// The pieces of a Word 97 file are made when LibreOffice converts them all:
// where it makes none, what an earlier run left under their names is not
// listed as written.
TEST(CommandLine, pieces_libreoffice_did_not_make_are_not_listed_over_an_earlier_runs_files) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  TempDir dir, bin;
  WriteMerge(dir.file("merge.docx"));
  testing_support::WriteFile(dir.path() / "L.doc", FakeWordFile());
  // Converts the input into the merge; makes no piece.
  const std::string script = bin.file("soffice");
  testing_support::WriteFile(
      script,
      "#!/bin/sh\nout=; prev=; for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; "
      "done\ncase \"$*\" in *'docx:MS Word 2007 XML'*) /bin/cp " +
          Quote(dir.file("merge.docx")) + " \"$out/L.docx\";; esac\nexit 0\n");
  fs::permissions(script, fs::perms::owner_all);
  fs::create_directories(dir.path() / "out");
  for (const char* stale : {"L-0001.doc", "L-0002.doc"})
    testing_support::WriteFile(dir.path() / "out" / stale, "an earlier run's");
  const auto r = RunCommand("PARVANE_SOFFICE=" + Quote(script) + " " + Split() + " -o " +
                            Quote(dir.file("out")) + " " + Quote(dir.file("L.doc")));
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("L-0001.doc was not made"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find(dir.file("out") + "/L-0001.doc\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("0 pieces from 1 document"), std::string::npos) << r.output;
}

TEST(CommandLine, each_piece_is_named_from_its_own_words) {
  TempDir dir, temp;
  fixture::Write(dir.file("merge.docx"), fixture::Merge({{"Dear Ann Lee,", "Your order shipped."},
                                                         {"Dear Bob Stone,", "Thank you."},
                                                         {"", "Nothing to greet."},
                                                         {"Dear Ann Lee,", "Again."}}));
  const char* old = std::getenv("TEMP");
  const std::string saved = old ? old : "";
  setenv("TEMP", temp.str().c_str(), 1);
  const auto r =
      RunCommand(Split() + " --name-by-content first --each -x 3 " + Quote(dir.file("merge.docx")));
  if (old)
    setenv("TEMP", saved.c_str(), 1);
  else
    unsetenv("TEMP");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Dear Ann Lee,-0001.docx", "Dear Ann Lee,-0004.docx",
                                      "Dear Bob Stone,-0002.docx", "Nothing to greet.-0003.docx",
                                      "merge.docx"}));
  EXPECT_TRUE(fs::is_empty(temp.path()));
  EXPECT_EQ(RunCommand(Split() + " --each " + Quote(dir.file("merge.docx"))).exitCode, 2);
}

std::string StoryOf(const fs::path& piece) {
  auto doc = docx::Document::Open(piece.string());
  return doc->Text(0, doc->StoryLength());
}

// Two content-named runs started together, on different documents, with one
// temporary folder: each run's pieces hold its own document's records and
// carry its own name, both runs succeed and nothing is left behind.
TEST(CommandLine, two_content_named_runs_at_once_never_mix_their_documents) {
#ifdef _WIN32
  GTEST_SKIP() << "starts the two runs together through a POSIX shell";
#endif
  TempDir dir, temp;
  const std::vector<std::string> who = {"Alpha", "Beta"};
  for (const std::string& w : who) {
    std::vector<std::vector<std::string>> records;
    for (int r = 1; r <= 4; ++r)
      records.push_back({w + " letter to customer " + std::to_string(r), "Kind regards"});
    fs::create_directory(dir.path() / w);
    fixture::Write(dir.file(w + "/merge.docx"), fixture::Merge(records));
  }
  const std::string run = Split() + " --name-by-content first -x 2 ";
  const std::string both = "export TEMP=" + Quote(temp.str()) + "; " + run +
                           Quote(dir.file("Alpha/merge.docx")) + " >" + Quote(dir.file("a.log")) +
                           " 2>&1 & a=$!; " + run + Quote(dir.file("Beta/merge.docx")) + " >" +
                           Quote(dir.file("b.log")) + " 2>&1 & b=$!; wait $a; ra=$?; wait $b; " +
                           "echo exit $ra $?";
  constexpr int kRepetitions = 50;
  int mixed = 0, failed = 0;
  for (int rep = 0; rep < kRepetitions; ++rep) {
    const auto r = RunCommand(both);
    if (r.output.find("exit 0 0") == std::string::npos) {
      ++failed;
      ADD_FAILURE() << r.output << testing_support::ReadFile(dir.file("a.log"))
                    << testing_support::ReadFile(dir.file("b.log"));
    }
    for (std::size_t k = 0; k < who.size(); ++k) {
      const fs::path folder = dir.path() / who[k];
      const auto files = testing_support::FilesIn(folder);
      std::vector<std::string> expected = {"merge.docx"};
      for (int i = 1; i <= 4; ++i)
        expected.push_back(who[k] + " letter-000" + std::to_string(i) + ".docx");
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(files, expected) << who[k];
      for (const std::string& f : files) {
        if (f == "merge.docx") continue;
        const std::string story = StoryOf(folder / f);
        if (story.find(who[k]) != 0 || story.find(who[1 - k]) != std::string::npos) ++mixed;
        fs::remove(folder / f);
      }
    }
    EXPECT_TRUE(fs::is_empty(temp.path())) << rep;
  }
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(failed, 0);
  std::cout << "[ note ] " << kRepetitions << " pairs of simultaneous runs: " << failed
            << " failed, " << mixed << " pieces held the other document\n";
}

// ------------------------------------------------------------- LibreOffice

bool NoPrivateFolderIn(const fs::path& folder) {
  for (const auto& name : testing_support::FilesIn(folder))
    if (name.rfind("parvane-office-", 0) == 0) return false;
  return true;
}

TEST(CommandLineOffice, pdf_gives_a_pdf_beside_every_docx_piece_holding_its_text) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  TempDir dir, tmp;
  WriteMerge(dir.file("Letters.docx"));
  const auto r = RunCommand("TMPDIR=" + Quote(tmp.str()) + " " + Split() + " --pdf " +
                            Quote(dir.file("Letters.docx")));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Letters-0001.docx", "Letters-0001.pdf", "Letters-0002.docx",
                                      "Letters-0002.pdf", "Letters-0003.docx", "Letters-0003.pdf",
                                      "Letters.docx"}));
  const char* names[] = {"Ann", "Bob", "Cy"};
  for (int i = 0; i < 3; ++i) {
    const auto text = RunCommand(
        "pdftotext " + Quote(dir.file("Letters-000" + std::to_string(i + 1) + ".pdf")) + " -");
    EXPECT_NE(text.output.find(std::string("Dear ") + names[i]), std::string::npos) << text.output;
    for (int j = 0; j < 3; ++j)
      if (j != i) {
        EXPECT_EQ(text.output.find(std::string("Dear ") + names[j]), std::string::npos);
      }
  }
  EXPECT_TRUE(NoPrivateFolderIn(tmp.path()));
}

// Two runs at once each start a LibreOffice of their own; with one profile
// the second would hand its files to the first and get nothing back.
TEST(CommandLineOffice, two_runs_at_once_each_convert_with_a_libreoffice_of_their_own) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  const std::string corpus = testing_support::CorpusDir();
  const std::string doc = corpus + "/office/apache__poi/test-data__document__Bug44431.doc";
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  if (corpus.empty() || !fs::exists(doc)) GTEST_SKIP() << "the corpus is not here";
  TempDir dir, tmp;
  fs::create_directories(dir.path() / "a");
  fs::create_directories(dir.path() / "b");
  fs::copy_file(doc, dir.path() / "a" / "First.doc");
  fs::copy_file(doc, dir.path() / "b" / "Second.doc");
  const std::string env = "TMPDIR=" + Quote(tmp.str()) + " ";
  const auto r = RunCommand("(" + env + Split() + " " + Quote(dir.file("a/First.doc")) + " > " +
                            Quote(dir.file("a.log")) + " 2>&1; echo $? >> " +
                            Quote(dir.file("a.log")) + ") & (" + env + Split() + " " +
                            Quote(dir.file("b/Second.doc")) + " > " + Quote(dir.file("b.log")) +
                            " 2>&1; echo $? >> " + Quote(dir.file("b.log")) + ") & wait");
  for (const auto& [folder, name] : {std::pair{"a", "First"}, std::pair{"b", "Second"}}) {
    const std::string log = testing_support::ReadFile(dir.path() / (std::string(folder) + ".log"));
    EXPECT_NE(log.find("3 pieces from 1 document"), std::string::npos) << log;
    for (int i = 1; i <= 3; ++i) {
      const fs::path piece =
          dir.path() / folder / (std::string(name) + "-000" + std::to_string(i) + ".doc");
      EXPECT_EQ(testing_support::ReadFile(piece).substr(0, 4), "\xD0\xCF\x11\xE0") << piece;
    }
  }
  EXPECT_TRUE(NoPrivateFolderIn(tmp.path()));
}

// Interrupting the program ends the LibreOffice it waits for and leaves
// nothing of its own behind, also when it is killed where no handler of ours
// runs; a reader of its list that goes away does not end it.
#ifndef _WIN32
TEST(CommandLineOffice, an_interrupted_run_ends_libreoffice_and_removes_its_private_folder) {
  struct Case {
    const char* signals;  // sent in turn
    const char* exit;
  };
  for (const Case& c :
       {Case{"TERM", "exit 130"}, Case{"KILL", "exit 137"}, Case{"PIPE TERM", "exit 130"}}) {
    SCOPED_TRACE(c.signals);
    TempDir dir, tmp, bin;
    testing_support::WriteFile(
        bin.path() / "soffice",
        "#!/bin/sh\necho $$ > " + Quote(dir.file("pid")) + "\nexec /bin/sleep 600\n");
    fs::permissions(bin.path() / "soffice", fs::perms::owner_all);
    testing_support::WriteFile(dir.path() / "Letters.doc", FakeWordFile());
    const auto r = RunCommand(
        "PATH=" + Quote(bin.str()) + ":/usr/bin:/bin TMPDIR=" + Quote(tmp.str()) + " " + Split() +
        " " + Quote(dir.file("Letters.doc")) + " & split=$!; for i in $(seq 100); do [ -s " +
        Quote(dir.file("pid")) + " ] && break; sleep 0.1; done; for s in " + c.signals +
        "; do kill -$s $split; sleep 0.2; done; wait $split; echo \"exit $?\"");
    EXPECT_NE(r.output.find(c.exit), std::string::npos) << r.output;
    const int pid = std::atoi(testing_support::ReadFile(dir.file("pid")).c_str());
    ASSERT_GT(pid, 0);
    // What outlives a killed run ends it: give it a moment, and the system
    // one to reap it.
    for (int i = 0; i < 100 && (kill(pid, 0) == 0 || !NoPrivateFolderIn(tmp.path())); ++i)
      RunCommand("sleep 0.05");
    EXPECT_NE(kill(pid, 0), 0) << "LibreOffice's stand-in still runs";
    EXPECT_TRUE(NoPrivateFolderIn(tmp.path()));
    EXPECT_EQ(testing_support::FilesIn(dir.path()),
              (std::vector<std::string>{"Letters.doc", "pid"}));
  }
}
#endif

// A relative TMPDIR gave LibreOffice a profile URL it could not use, and
// every conversion waited for its whole time limit.
TEST(CommandLineOffice, a_relative_temporary_folder_gives_libreoffice_an_absolute_profile) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  TempDir dir, bin;
  testing_support::WriteFile(bin.path() / "soffice",
                             "#!/bin/sh\nfor a in \"$@\"; do case $a in -env:UserInstallation=*) "
                             "echo \"$a\" >> " +
                                 Quote(dir.file("profiles")) + ";; esac; done\nexit 0\n");
  fs::permissions(bin.path() / "soffice", fs::perms::owner_all);
  testing_support::WriteFile(dir.path() / "Letters.doc", FakeWordFile());
  fs::create_directories(dir.path() / "tmp");
  const auto r =
      RunCommand("cd " + Quote(dir.str()) + " && PARVANE_SOFFICE=" + Quote(bin.file("soffice")) +
                 " TMPDIR=tmp " + Split() + " Letters.doc");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  const std::string profiles = testing_support::ReadFile(dir.file("profiles"));
  EXPECT_EQ(profiles.rfind("-env:UserInstallation=file:///", 0), 0u) << profiles;
  EXPECT_TRUE(NoPrivateFolderIn(dir.path() / "tmp"));
}

// Pieces named from a page LibreOffice lays out are saved as our own and
// listed as such.
TEST(CommandLineOffice, pieces_named_from_a_later_page_are_all_listed) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  // Letters whose text flows over their pages' ends, with no page marks.
  const std::string letters = testing_support::BinDir() + "/Samples/Customer Letters.docx";
  if (!fs::exists(letters)) GTEST_SKIP() << "the samples were not made beside " << Split();
  TempDir dir, tmp;
  fs::create_directories(dir.path() / "out");
  const auto r =
      RunCommand("TMPDIR=" + Quote(tmp.str()) + " " + Split() + " -o " + Quote(dir.file("out")) +
                 " --name-by-content page2 --each " + Quote(letters));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const auto pieces = testing_support::FilesIn(dir.path() / "out");
  EXPECT_EQ(pieces.size(), 12u);
  for (const auto& piece : pieces)
    EXPECT_NE(r.output.find(dir.file("out") + "/" + piece + "\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("12 pieces from 1 document"), std::string::npos) << r.output;
  EXPECT_TRUE(NoPrivateFolderIn(tmp.path()));
}

}  // namespace

namespace {

// Every file under `root` and in the file-system root, as paths.
std::set<std::string> Snapshot(const fs::path& root) {
  std::set<std::string> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    if (!it->is_directory()) files.insert(it->path().string());
  for (const auto& entry : fs::directory_iterator("/", ec)) files.insert(entry.path().string());
  return files;
}

}  // namespace

TEST(CommandLine, a_file_named_without_a_folder_is_split_into_the_current_folder) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  const std::vector<std::string> inRoot = {"/Letters-0001.docx", "/Letters-0002.docx",
                                           "/Letters-0003.docx"};
  for (const auto& name : inRoot) ASSERT_FALSE(fs::exists(name)) << name;
  TempDir dir;
  WriteMerge(dir.file("Letters.docx"));
  const auto r = RunCommand("cd " + Quote(dir.str()) + " && " + Split() + " Letters.docx");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(testing_support::FilesIn(dir.path()),
            (std::vector<std::string>{"Letters-0001.docx", "Letters-0002.docx", "Letters-0003.docx",
                                      "Letters.docx"}));
  EXPECT_NE(r.output.find("\nLetters-0002.docx\n"), std::string::npos) << r.output;
  for (const auto& name : inRoot) {
    EXPECT_FALSE(fs::exists(name)) << name;
    fs::remove(name);  // what a faulty build wrote there goes again
  }
}

// Whatever the arguments, pieces and working copies go only to the folder that
// -o names or to each input's own folder (the temporary copy to TEMP).
TEST(CommandLine, no_run_writes_outside_the_named_folders_and_the_inputs_own) {
#ifdef _WIN32
  GTEST_SKIP() << "runs its command lines through a POSIX shell";
#endif
  struct Case {
    std::string args;
    std::vector<std::string> allowed;  // folders below the test's root
    bool nameTaken = false;            // the derived name "Dear.docx" stands in the current folder
  };
  const std::vector<Case> cases = {
      {"Letters.docx", {"cwd"}},
      {"./Letters.docx", {"cwd"}},
      {"../in/Letters.docx", {"in"}},
      {"sub/Letters.docx", {"cwd/sub"}},
      {"-o ../out Letters.docx ../in/Letters.docx", {"out"}},
      {"-o ../out/ sub/Letters.docx", {"out"}},
      {"-o . ../in/Letters.docx", {"cwd"}},
      {"--name-by-content first Letters.docx", {"cwd", "tmp"}},
      {"--name-by-content first Letters.docx", {"cwd", "tmp"}, true},
      {"--name-by-content first ../in/Letters.docx", {"in", "tmp"}},
      {"--name-by-content header -o ../out Letters.docx", {"out", "cwd", "tmp"}},
      {"--name-by-content page -y 2 -x 3 sub/Letters.docx", {"cwd/sub", "tmp"}},
      {"--name-by-content first --each -x 2 Letters.docx sub/Letters.docx", {"cwd", "cwd/sub"}},
      {"Missing.docx", {}},
      {"-o '' Letters.docx", {}},
      {"-- -o", {}},
  };
  for (const auto& c : cases) {
    TempDir root;
    for (const char* folder : {"cwd/sub", "in", "out", "tmp"})
      fs::create_directories(root.path() / folder);
    for (const char* input : {"cwd/Letters.docx", "cwd/sub/Letters.docx", "in/Letters.docx"})
      WriteMerge((root.path() / input).string());
    if (c.nameTaken) testing_support::WriteFile(root.path() / "cwd/Dear.docx", "somebody's own");
    const std::string inputBytes = testing_support::ReadFile(root.path() / "in/Letters.docx");
    const auto before = Snapshot(root.path());
    const auto r = RunCommand("cd " + Quote(root.file("cwd")) +
                              " && TEMP=" + Quote(root.file("tmp")) + " " + Split() + " " + c.args);
    for (const auto& file : Snapshot(root.path())) {
      if (before.count(file)) continue;
      const fs::path folder = fs::path(file).parent_path();
      bool allowed = false;
      for (const auto& a : c.allowed) allowed = allowed || folder == root.path() / a;
      EXPECT_TRUE(allowed) << c.args << " wrote " << file << "\n" << r.output;
      // A piece written into the file-system root by a faulty build is taken away again.
      if (folder == "/") fs::remove(file);
    }
    EXPECT_EQ(testing_support::ReadFile(root.path() / "in/Letters.docx"), inputBytes) << c.args;
    if (!c.allowed.empty()) {
      EXPECT_EQ(r.exitCode, 0) << c.args << "\n" << r.output;
    }
  }
}
