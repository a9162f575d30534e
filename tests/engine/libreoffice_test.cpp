// Documents in other formats split through the real LibreOffice; LibreOffice
// missing, hanging or crashing, through scripts that stand in for it.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "docx_fixture.h"
#include "engine/engine.h"
#include "engine/libreoffice.h"
#include "engine/office_process.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::Quote;
using testing_support::ReadFile;
using testing_support::RecordingHost;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

const std::string kOle = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// The name of the stream a Word file keeps its text in, as its directory holds it.
const std::string kWordStream{"W\0o\0r\0d\0D\0o\0c\0u\0m\0e\0n\0t\0", 24};

using testing_support::ScopedEnv;

// The letters and digits of a text: what survives every format's own way of
// writing spaces, breaks, bullets and quotes.
std::string Letters(const std::string& text) {
  std::string out;
  const std::string bom = "\xEF\xBB\xBF";
  for (unsigned char c : text.compare(0, 3, bom) == 0 ? text.substr(3) : text)
    if (std::isalnum(c) || c >= 0x80) out += static_cast<char>(c);
  return out;
}

// The text of each section of a document, as our reader sees LibreOffice's
// reading of it.
std::vector<std::string> SectionTexts(word::Factory& factory, const std::string& path) {
  std::vector<std::string> texts;
  auto app = factory.CreateApplication();
  auto document = app->DocumentsOpen(path);
  for (int i = 1; i <= document->SectionsCount(); ++i)
    texts.push_back(document->Sections(i)->GetRange()->Text());
  document->Close(word::wdDoNotSaveChanges);
  app->Quit();
  return texts;
}

// Every file LibreOffice makes of `files` in one start ("txt:Text (encoded):UTF8", "odt", ...).
std::map<std::string, std::string> ConvertAll(const std::vector<std::string>& files,
                                              const std::string& filter, const TempDir& scratch) {
  std::string command = "timeout 600 soffice -env:UserInstallation=file://" + scratch.str() +
                        "/profile --headless --norestore --convert-to " + Quote(filter) +
                        " --outdir " + Quote(scratch.file("out"));
  for (const auto& file : files) command += " " + Quote(file);
  RunCommand(command + " >/dev/null 2>&1");
  std::map<std::string, std::string> made;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(scratch.path() / "out", ec))
    made[entry.path().stem().string()] = ReadFile(entry.path());
  return made;
}

bool LeftInTemp(const fs::path& temp) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(temp, ec))
    if (entry.path().filename().string().rfind("parvane-office-", 0) == 0) return true;
  return false;
}

// Whatever a run left in a folder, files and folders alike (the test's own
// folders aside).
std::vector<std::string> Left(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().filename().string().rfind("parvane-test-", 0) != 0)
      names.push_back(entry.path().filename().string());
  return names;
}

// Whether a program still runs whose command line names a file in `temp`
// (a LibreOffice of a run that has ended).
bool RunsIn(const fs::path& temp) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string line(std::istreambuf_iterator<char>(in), {});
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.find(temp.string()) != std::string::npos) return true;
  }
  return false;
}

std::vector<std::string> Reports(const RecordingHost& host) {
  std::vector<std::string> out;
  for (const auto& r : host.reportDetails)
    out.push_back(std::to_string(r.line) + " " + r.description);
  return out;
}

class RealOffice : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    host_.settings.SaveToChosenFolder = true;
    host_.settings.SaveToSourceFolder = false;
    host_.settings.OutputFolder = out_.str() + "/";
  }
  TempDir tmp_;
  ScopedEnv temp_{"TMPDIR", tmp_.str()};
  TempDir out_;
  RecordingHost host_;
};

struct CorpusDoc {
  std::string path;
  int sections;
};

// The corpus's Word 97-2003 files with more than one section.
std::vector<CorpusDoc> MultiSectionDocs() {
  std::vector<CorpusDoc> docs;
  const std::string corpus = testing_support::CorpusDir();
  if (corpus.empty()) return docs;
  std::ifstream index(fs::path(corpus) / "INDEX.tsv");
  std::string line;
  std::getline(index, line);
  while (std::getline(index, line)) {
    std::vector<std::string> cells;
    std::stringstream row(line);
    for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
    if (cells.size() < 7 || cells[0].size() < 4 || cells[0].substr(cells[0].size() - 4) != ".doc")
      continue;
    const int sections = std::atoi(cells[6].c_str());
    if (sections > 1) docs.push_back({(fs::path(corpus) / cells[0]).string(), sections});
  }
  return docs;
}

// The first characters of a text, for a failure message.
std::string Head(const std::string& text) {
  return text.substr(0, 160);
}

// Checks that every piece of `inputs` is a file of `signature` whose text is
// its section's: LibreOffice converts all pieces back in one start, and our
// reader reads both sides, so list labels and the like count alike.
void ExpectPiecesHoldTheirSections(
    const std::vector<std::pair<std::string, std::vector<std::string>>>& inputs,
    const std::string& outFolder, const std::string& extension, const std::string& signature) {
  std::vector<std::string> pieces;
  std::map<std::string, std::string> expected;
  for (const auto& [input, sections] : inputs) {
    const std::string name = support::GetFileName(input);
    for (std::size_t i = 0; i < sections.size(); ++i) {
      if (word::Length(sections[i]) <= 1) continue;
      std::string piece = engine::BuildSplitName(name, static_cast<int>(i) + 1);
      piece = piece.substr(0, piece.size() - support::GetExtension(piece).size()) + extension;
      const std::string path = outFolder + "/" + piece;
      ASSERT_TRUE(fs::exists(path)) << path;
      EXPECT_EQ(ReadFile(path).substr(0, signature.size()), signature) << path;
      pieces.push_back(path);
      // A field that shows the file name shows the piece's own.
      std::string text = Letters(sections[i]);
      const std::string own = Letters(support::StripExtension(name));
      if (const auto at = text.find(own); at != std::string::npos)
        text.replace(at, own.size(), Letters(fs::path(piece).stem().string()));
      expected[fs::path(piece).stem().string()] = text;
    }
  }
  TempDir scratch;
  ConvertAll(pieces, "docx:MS Word 2007 XML", scratch);
  auto app = word::DefaultFactory().CreateApplication();
  for (const auto& [stem, text] : expected) {
    const std::string back = scratch.file("out/" + stem + ".docx");
    ASSERT_TRUE(fs::exists(back)) << stem << " could not be read back";
    auto document = app->DocumentsOpen(back);
    const std::string piece = Letters(document->Content()->Text());
    document->Close(word::wdDoNotSaveChanges);
    EXPECT_EQ(piece, text) << stem << ":\n  piece   " << Head(piece) << "\n  section "
                           << Head(text);
  }
  app->Quit();
}

TEST_F(RealOffice, corpus_word_97_files_split_into_word_97_pieces_holding_their_sections) {
  const auto docs = MultiSectionDocs();
  if (docs.empty()) GTEST_SKIP() << "the shared corpus is not here";
  engine::OfficeFactory office(word::DefaultFactory(), host_);
  std::vector<std::pair<std::string, std::vector<std::string>>> inputs;
  for (const auto& doc : docs) {
    const std::string before = ReadFile(doc.path);
    engine::DoItByFile(doc.path, host_, office);
    inputs.emplace_back(doc.path, SectionTexts(office, doc.path));
    EXPECT_EQ(ReadFile(doc.path), before) << "the input was changed";
  }
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  // LibreOffice converts each input once and its pieces once; a LibreOffice
  // kept running for the run spares later documents their starts.
  EXPECT_EQ(office.Calls(), 2 * static_cast<int>(docs.size()));
  EXPECT_LE(office.Starts(), office.Calls() + 1);
  ExpectPiecesHoldTheirSections(inputs, out_.str(), "doc", kOle);
}

// Every paragraph of the section (its letters) is in the PDF's text; the PDF
// adds the page's header and footer.
void ExpectPdfHolds(const std::string& pdf, const std::string& section) {
  const auto r = RunCommand("pdftotext -enc UTF-8 " + Quote(pdf) + " -");
  ASSERT_EQ(r.exitCode, 0) << pdf << ": " << r.output;
  const std::string text = Letters(r.output);
  std::stringstream paragraphs(section);
  for (std::string paragraph; std::getline(paragraphs, paragraph, '\r');) {
    EXPECT_NE(text.find(Letters(paragraph)), std::string::npos) << pdf << " lacks " << paragraph;
  }
}

TEST_F(RealOffice, a_hundred_letter_merge_gives_word_97_pieces_and_a_pdf_of_each) {
  const std::string corpus = testing_support::CorpusDir();
  const std::string merge = corpus + "/lo/lo-merge-100.doc";
  if (corpus.empty() || !fs::exists(merge)) GTEST_SKIP() << "lo-merge-100.doc is not here";
  host_.settings.SavePdf = true;
  std::vector<std::string> sections;
  TempDir memory;
  {
    engine::OfficeOptions options;
    options.processes = 2;  // the conversions counted below, on any machine
    options.memoryFolder = memory.str();
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(merge, host_, office);
    sections = SectionTexts(office, merge);
    // One conversion of the input, and of its pieces, each loaded once for
    // both formats, shared by two LibreOffices.
    EXPECT_EQ(office.Calls(), 3);
    EXPECT_EQ(office.Loads(), 101);
  }
  // Nothing is left of the LibreOffices ended with the run either (their own
  // temporary files).
  for (const TempDir* temp : {&tmp_, &memory})
    EXPECT_EQ(Left(temp->path()), std::vector<std::string>{}) << temp->str();
  EXPECT_FALSE(RunsIn(tmp_.path())) << "a LibreOffice of the run still runs";
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  ASSERT_EQ(sections.size(), 100u);
  const auto& texts = host_.progressTexts;
  for (const char* shown : {"Converting: lo-merge-100.doc", "Creating: lo-merge-100-0100.doc",
                            "Converting pieces: lo-merge-100.doc"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), shown), texts.end()) << shown;
  EXPECT_EQ(testing_support::FilesIn(out_.path()).size(), 200u);
  ExpectPiecesHoldTheirSections({{merge, sections}}, out_.str(), "doc", kOle);
  for (int i : {1, 37, 100}) {
    const std::string pdf = out_.file("lo-merge-100-" + support::ZeroPad(i, 4) + ".pdf");
    EXPECT_EQ(ReadFile(pdf).substr(0, 4), "%PDF");
    ExpectPdfHolds(pdf, sections[i - 1]);
  }
}

TEST_F(RealOffice, the_help_sample_is_named_from_its_content_and_converted_once) {
  const fs::path sample = fs::path(testing_support::BinDir()) / "Sample Mail Merge Document.doc";
  if (!fs::exists(sample) || ReadFile(sample).substr(0, 8) != kOle)
    GTEST_SKIP() << "the build made no Word 97 sample (LibreOffice was missing then)";
  TempDir in;
  const std::string input = in.file("Sample Mail Merge Document.doc");
  fs::copy_file(sample, input);
  host_.settings.NameByContent = true;
  host_.settings.ContentRule = 0;
  engine::OfficeFactory office(word::DefaultFactory(), host_);
  const std::string copy = engine::RenameFile(input, 2, 0, host_, office);
  ASSERT_FALSE(copy.empty());
  const std::string derived = support::StripExtension(support::GetFileName(copy));
  engine::DoItByFile(copy, host_, office, nullptr, in.str() + "/");
  engine::DiscardWorkingCopy(copy, input, host_);
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  EXPECT_EQ(office.Calls(), 2) << "the naming and the split share one conversion";
  const auto pieces = testing_support::FilesIn(out_.path());
  ASSERT_FALSE(pieces.empty());
  for (const auto& piece : pieces) {
    EXPECT_EQ(piece.rfind(derived + "-", 0), 0u) << piece;
    EXPECT_EQ(support::GetExtension(piece), "doc");
    EXPECT_EQ(ReadFile(out_.path() / piece).substr(0, 8), kOle) << piece;
  }
  EXPECT_EQ(testing_support::FilesIn(in.path()),
            std::vector<std::string>{"Sample Mail Merge Document.doc"});
}

// Two inputs of one name in one run: the pieces differ by their format, their
// PDFs would not, so the second input's pieces and PDFs are numbered apart.
TEST_F(RealOffice, rtf_and_opendocument_inputs_give_pieces_of_their_own_format_and_pdfs) {
  TempDir made;
  const std::string docx = made.file("Letters.docx");
  fixture::Write(docx, fixture::Merge({{"Dear Ann,", "Your order shipped."},
                                       {"Dear Bob,", "Your order is late."},
                                       {"Dear Cy,", "Thank you."}}));
  TempDir rtfScratch, odtScratch;
  const auto rtf = ConvertAll({docx}, "rtf", rtfScratch);
  const auto odt = ConvertAll({docx}, "odt", odtScratch);
  ASSERT_TRUE(rtf.count("Letters") && odt.count("Letters")) << "LibreOffice made no inputs";
  TempDir in;
  testing_support::WriteFile(in.path() / "Letters.rtf", rtf.at("Letters"));
  testing_support::WriteFile(in.path() / "Letters.odt", odt.at("Letters"));
  host_.settings.SavePdf = true;
  engine::OfficeFactory office(word::DefaultFactory(), host_);
  engine::RunLedger ledger;
  std::vector<std::pair<std::string, std::vector<std::string>>> rtfInputs, odtInputs;
  for (const char* name : {"Letters.rtf", "Letters.odt"}) {
    const std::string input = in.file(name);
    engine::DoItByFile(input, host_, office, &ledger);
    (name[8] == 'r' ? rtfInputs : odtInputs).emplace_back(input, SectionTexts(office, input));
  }
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  std::vector<std::string> expected;
  for (const char* n : {"1", "2", "3"})
    for (const char* file : {" (2).odt", " (2).pdf", ".pdf", ".rtf"})
      expected.push_back(std::string("Letters-000") + n + file);
  EXPECT_EQ(testing_support::FilesIn(out_.path()), expected);
  ExpectPiecesHoldTheirSections(rtfInputs, out_.str(), "rtf", "{\\rtf");
  for (int i = 1; i <= 3; ++i) {
    const std::string base = out_.file("Letters-000" + std::to_string(i));
    const std::string piece = ReadFile(base + " (2).odt");
    EXPECT_EQ(piece.substr(0, 2), "PK");
    EXPECT_NE(piece.find("application/vnd.oasis.opendocument.text"), std::string::npos);
    ExpectPdfHolds(base + ".pdf", rtfInputs[0].second[i - 1]);
    ExpectPdfHolds(base + " (2).pdf", odtInputs[0].second[i - 1]);
  }
}

TEST_F(RealOffice, a_package_our_reader_refuses_is_split_from_libreoffices_reading_of_it) {
  TempDir in;
  fixture::Package package = fixture::Merge({{"Dear Ann,"}, {"Dear Bob,"}});
  // Nested deeper than our reader goes; LibreOffice reads past it.
  std::string deep;
  for (int i = 0; i < 1200; ++i) deep += "<w:customXml>";
  deep += "<w:customXml/>";
  for (int i = 0; i < 1200; ++i) deep += "</w:customXml>";
  package.body = deep + package.body;
  fixture::Write(in.file("Deep.docx"), package);
  engine::OfficeFactory office(word::DefaultFactory(), host_);
  engine::DoItByFile(in.file("Deep.docx"), host_, office);
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  EXPECT_EQ(testing_support::FilesIn(out_.path()),
            (std::vector<std::string>{"Deep-0001.docx", "Deep-0002.docx"}));
  EXPECT_EQ(office.Calls(), 1) << "the pieces are ours already";
}

// LibreOffice cannot save what it converts of a long name or one that is
// not UTF-8; the input's copy has a plain name then.
TEST_F(RealOffice, inputs_of_long_or_non_utf8_names_are_split) {
  TempDir made, in;
  const std::string docx = made.file("Letters.docx");
  fixture::Write(docx, fixture::Merge({{"Dear Ann,"}, {"Dear Bob,"}}));
  const auto doc = ConvertAll({docx}, "doc", made);
  ASSERT_TRUE(doc.count("Letters")) << "LibreOffice made no input";
  // The pieces' names, "-0001.doc" added, are 252 bytes long.
  std::vector<std::string> stems = {std::string(243, 'L')};
#ifndef _WIN32
  stems.push_back("Br\xE9ve");
#endif
  for (const auto& stem : stems) {
    testing_support::WriteFile(in.path() / (stem + ".doc"), doc.at("Letters"));
    // A factory each: one converts the same content once.
    engine::OfficeFactory office(word::DefaultFactory(), host_);
    engine::DoItByFile(in.file(stem + ".doc"), host_, office);
  }
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  for (const auto& stem : stems)
    for (const char* n : {"-0001.doc", "-0002.doc"})
      EXPECT_EQ(ReadFile(out_.file(stem + n)).substr(0, kOle.size()), kOle) << stem << n;
}

// LibreOffice's pipe is where we name it, so that what one killed before it
// is seen to listen leaves is found all the same.
TEST_F(RealOffice, libreoffice_listens_on_the_pipe_named_for_its_profile) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows' named pipes go with the process that made them";
#else
  TempDir profile;
  const std::string url = engine::office::FileUrl(profile.str() + "/p");
  const std::string pipe = engine::office::OfficePipe(url);
  ASSERT_FALSE(pipe.empty());
  engine::office::Background office;
  std::string why;
  ASSERT_TRUE(office.Start({engine::office::FindSoffice(true),
                            {"-env:UserInstallation=" + url, "--headless", "--norestore"},
                            tmp_.file("log"),
                            {},
                            pipe},
                           &why))
      << why;
  bool listening = false;
  for (int i = 0; i < 1200 && !listening && office.Running(); ++i) {
    struct stat info;
    listening = ::lstat(pipe.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
    if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  office.Kill();
  EXPECT_TRUE(listening) << pipe << "\n" << ReadFile(tmp_.file("log"));
  EXPECT_FALSE(fs::exists(pipe));
#endif
}

// ------------------------------------------------- without a real LibreOffice

// A folder that stands for a PATH: empty, or with a script named soffice.
class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.settings.SaveToChosenFolder = true;
    host_.settings.SaveToSourceFolder = false;
    host_.settings.OutputFolder = out_.str() + "/";
    // Not a real Word file, but one by its first bytes and its stream's name.
    testing_support::WriteFile(in_.path() / "Letters.doc",
                               kOle + std::string(4096, '\0') + kWordStream);
    fixture::Write(in_.file("Plain.docx"), fixture::Merge({{"Dear Ann,"}, {"Dear Bob,"}}));
  }
  void Script(const std::string& body) {
    const fs::path script = bin_.path() / "soffice";
    testing_support::WriteFile(script, "#!/bin/sh\n" + body + "\n");
    fs::permissions(script, fs::perms::owner_all);
  }
  // Splits the .doc and then the .docx in one run.
  void SplitBoth(engine::OfficeOptions options) {
    options.usualFolders = false;
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(in_.file("Letters.doc"), host_, office);
    engine::DoItByFile(in_.file("Plain.docx"), host_, office);
  }
  TempDir tmp_;
  ScopedEnv temp_{"TMPDIR", tmp_.str()};
  TempDir bin_;
  ScopedEnv path_{"PATH", bin_.str()};
  TempDir in_;
  TempDir out_;
  RecordingHost host_;
};

TEST_F(StandIn, libreoffice_missing_hanging_crashing_or_failing_is_reported_and_the_run_goes_on) {
  struct Case {
    const char* script;  // nullptr: no LibreOffice at all
    const char* said;
  };
  const std::string pidFile = tmp_.file("pid");
  const Case cases[] = {
      {nullptr, "install LibreOffice to split .doc files"},
      {"exit 0", "LibreOffice could not open Letters.doc"},
      {"kill -SEGV $$", "LibreOffice ended unexpectedly"},
      // Its launcher, when what it ran crashed (LibreOffice aborts then).
      {"exit 134", "LibreOffice ended unexpectedly (signal 6)"},
      {"echo $$ > PIDFILE; exec /bin/sleep 600",
       "did not finish converting Letters.doc within 2 seconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script ? c.script : "no LibreOffice");
    host_ = RecordingHost();
    host_.settings.OutputFolder = out_.str() + "/";
    fs::remove(bin_.path() / "soffice");
    if (c.script) {
      std::string body = c.script;
      if (const auto at = body.find("PIDFILE"); at != std::string::npos)
        body.replace(at, 7, Quote(pidFile));
      Script(body);
    }
    const std::string before = ReadFile(in_.file("Letters.doc"));
    engine::OfficeOptions options;
    options.baseSeconds = 2;
    SplitBoth(options);
    // The open fails, and with it the steps that need the document.
    ASSERT_EQ(host_.ReportedLines(), (std::vector<int>{102, 104, 192}))
        << testing::PrintToString(Reports(host_));
    EXPECT_NE(host_.reportDetails[0].description.find(c.said), std::string::npos)
        << host_.reportDetails[0].description;
    EXPECT_EQ(ReadFile(in_.file("Letters.doc")), before);
    EXPECT_EQ(testing_support::FilesIn(out_.path()),
              (std::vector<std::string>{"Plain-0001.docx", "Plain-0002.docx"}));
    EXPECT_FALSE(LeftInTemp(tmp_.path()));
    if (fs::exists(pidFile)) {
      const int pid = std::atoi(ReadFile(pidFile).c_str());
      EXPECT_NE(kill(pid, 0), 0) << "the hung conversion still runs";
      fs::remove(pidFile);
    }
  }
}

// What our reader refuses for its password, or for its size (a decompression
// bomb), is not LibreOffice's to try: it would open what we would not. Nor is
// what is no document of its formats: LibreOffice would read its bytes as
// plain text and make a piece of them.
TEST_F(StandIn, encrypted_too_large_or_unknown_inputs_are_refused_without_starting_libreoffice) {
  const std::string corpus = testing_support::CorpusDir();
  const std::string locked =
      corpus + "/office/apache__poi/test-data__document__PasswordProtected.doc";
  const std::string bomb = in_.file("Bomb.docx");
  fixture::WriteDeflated(bomb, "word/document.xml", "<x/>", "xx", false, {false, 2, 3ll << 30});
  struct Case {
    std::string path;
    const char* said;
  };
  const std::string noText = in_.file("Sheet.doc");
  testing_support::WriteFile(noText, kOle + std::string(20000, '\x5A'));
  const std::string noFormat = in_.file("Noise.rtf");
  testing_support::WriteFile(noFormat, std::string(20000, '\x5A'));
  std::vector<Case> cases = {
      {locked, "is encrypted (protected by a password)"},
      {bomb, "more than a document can hold"},
      {noText, "older kind that holds no Word text"},
      {noFormat, "neither a Word document (.docx or .doc) nor RTF nor OpenDocument text"},
  };
#ifndef _WIN32
  // Reading a pipe would wait for a writer that never comes.
  const std::string pipe = in_.file("Pipe.doc");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  cases.push_back({pipe, "it is not a regular file"});
#endif
  Script("echo started > " + Quote(tmp_.file("started")));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    if (!fs::exists(c.path)) {
      std::cout << "[ note ] not here, left out: " << c.path << "\n";
      continue;
    }
    host_ = RecordingHost();
    host_.settings.SaveToChosenFolder = true;
    host_.settings.SaveToSourceFolder = false;
    host_.settings.OutputFolder = out_.str() + "/";
    engine::OfficeOptions options;
    options.usualFolders = false;
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(c.path, host_, office);
    ASSERT_EQ(host_.ReportedLines(), (std::vector<int>{102, 104, 192}));
    EXPECT_NE(host_.reportDetails[0].description.find(c.said), std::string::npos)
        << host_.reportDetails[0].description;
    EXPECT_EQ(office.Starts(), 0);
    EXPECT_FALSE(fs::exists(tmp_.file("started")));
  }
}

// LibreOffice reads the input and then dies writing the pieces, leaving a
// half-written one behind in its own folder.
// An installation whose presets cannot all be copied (here a link to
// nothing; elsewhere read-only folders) leaves LibreOffice to make its own
// profiles, and every piece is converted into each format in turn.
// Pieces wanted in both formats are converted by a macro of ours with one
// load each; where the macro cannot be set up, or LibreOffice aborts on a
// document loaded from it, they are converted into each format in turn.
TEST_F(StandIn,
       presets_that_cannot_be_copied_or_a_macro_that_crashes_still_give_every_piece_and_pdf) {
  for (const bool crashes : {false, true}) {
    SCOPED_TRACE(crashes ? "the macro crashes" : "the presets cannot be copied");
    TempDir bin, out;
    ScopedEnv path{"PATH", bin.str()};
    host_ = RecordingHost();
    host_.settings.SaveToChosenFolder = true;
    host_.settings.SaveToSourceFolder = false;
    host_.settings.OutputFolder = out.str() + "/";
    const fs::path program = bin.path() / "program";
    fs::create_directories(program);
    fs::create_directories(bin.path() / "share" / "registry");
    testing_support::WriteFile(bin.path() / "share" / "registry" / "main.xcd",
                               "<prop oor:name=\"ooSetupVersion\"><value>7.4</value></prop>");
    const fs::path standard = bin.path() / "presets" / "basic" / "Standard";
    fs::create_directories(standard);
    testing_support::WriteFile(standard / "Module1.xba", "<script:module/>");
    if (!crashes) fs::create_symlink(bin.path() / "nothing", standard / "gone.xba");
    // A compound file of four sectors: header, allocation table, data and
    // directory; cut after three, it still ends on a whole sector.
    std::string whole = kOle + std::string(2048 - kOle.size(), '\0');
    whole[0x1E] = 9;  // sectors of 512 bytes
    whole[0x2C] = 1;  // one allocation table, in sector 0
    whole[0x30] = 2;  // the directory in sector 2
    std::fill(whole.begin() + 0x50, whole.begin() + 512, '\xFF');
    testing_support::WriteFile(bin.path() / "whole.doc", whole);
    testing_support::WriteFile(bin.path() / "cut.doc", whole.substr(0, 1536));
    testing_support::WriteFile(
        program / "soffice",
        std::string("#!/bin/sh\n") +
            // Dies having begun the first piece in both formats.
            (crashes ? "case \"$*\" in *macro:///*)\n"
                       "  for a in \"$@\"; do case $a in -env:UserInstallation=file://*)\n"
                       "    p=${a#*file://};; esac; done\n"
                       "  line=$(/usr/bin/head -n 1 \"$p\"/user/parvane-*.lst)\n"
                       "  url=$(echo \"$line\" | /usr/bin/cut -f4); /bin/cp " +
                           Quote(bin.file("cut.doc")) +
                           " \"${url#file://}\"\n"
                           "  url=$(echo \"$line\" | /usr/bin/cut -f6); printf '%%PDF-1.4' > "
                           "\"${url#file://}\"\n"
                           "  kill -SEGV $$;; esac\n"
                     : "") +
            "out=; prev=; for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; done\n"
            "make() { for f in \"$@\"; do case $f in *.docx) b=${f##*/}; printf \"$sig\" > "
            "\"$out/${b%.docx}.$ext\";; esac; done; }\n"
            "case \"$*\" in *'docx:MS Word 2007 XML'*)\n"
            "  for f in \"$@\"; do case $f in *.doc) b=${f##*/}; /bin/cp " +
            Quote(in_.file("Plain.docx")) +
            " \"$out/${b%.doc}.docx\";; esac; done;;\n"
            "*'doc:MS Word 97'*) for f in \"$@\"; do case $f in *.docx) b=${f##*/}; /bin/cp " +
            Quote(bin.file("whole.doc")) +
            " \"$out/${b%.docx}.doc\";; esac; done;;\n"
            "*'pdf:writer_pdf_Export'*) sig='%%PDF-1.4\\n%%%%EOF' ext=pdf make \"$@\";; esac\n");
    fs::permissions(program / "soffice", fs::perms::owner_all);
    fs::create_symlink(program / "soffice", bin.path() / "soffice");
    host_.settings.SavePdf = true;
    engine::OfficeOptions options;
    options.usualFolders = false;
    {
      engine::OfficeFactory office(word::DefaultFactory(), host_, options);
      engine::DoItByFile(in_.file("Letters.doc"), host_, office);
    }
    EXPECT_EQ(Reports(host_), std::vector<std::string>{});
    EXPECT_EQ(testing_support::FilesIn(out.path()),
              (std::vector<std::string>{"Letters-0001.doc", "Letters-0001.pdf", "Letters-0002.doc",
                                        "Letters-0002.pdf"}));
    for (const char* n : {"1", "2"}) {
      const std::string piece = out.file(std::string("Letters-000") + n);
      EXPECT_EQ(ReadFile(piece + ".pdf"), "%PDF-1.4\n%%EOF") << n;
      EXPECT_EQ(ReadFile(piece + ".doc").size(), whole.size()) << n;
    }
    EXPECT_FALSE(LeftInTemp(tmp_.path()));
  }
}

// The longest name a piece of ours may have is put in place, also beside
// its PDF.
TEST_F(StandIn, a_piece_of_the_longest_name_is_saved_with_its_pdf) {
  Script(
      "out=; prev=; for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; done\n"
      "for f in \"$@\"; do case $f in *.docx) b=${f##*/}; printf '%%PDF-1.4\\n%%%%EOF' > "
      "\"$out/${b%.docx}.pdf\";; esac; done");
  // The piece's name, "-0001.docx" added, is 250 bytes long.
  const std::string stem(240, 'a');
  fixture::Write(in_.file(stem + ".docx"), fixture::Merge({{"Dear Ann,"}, {"Dear Bob,"}}));
  host_.settings.SavePdf = true;
  engine::OfficeOptions options;
  options.usualFolders = false;
  {
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(in_.file(stem + ".docx"), host_, office);
  }
  EXPECT_EQ(Reports(host_), std::vector<std::string>{});
  EXPECT_EQ(testing_support::FilesIn(out_.path()),
            (std::vector<std::string>{stem + "-0001.docx", stem + "-0001.pdf", stem + "-0002.docx",
                                      stem + "-0002.pdf"}));
}

TEST_F(StandIn, a_crash_while_the_pieces_are_converted_leaves_no_piece_and_is_reported) {
  const std::string merge = in_.file("Plain.docx");
  Script(
      "out=; prev=; for a in \"$@\"; do [ \"$prev\" = --outdir ] && out=$a; prev=$a; done\n"
      "case \"$*\" in *'docx:MS Word 2007 XML'*)\n"
      "  for f in \"$@\"; do case $f in *.doc) b=${f##*/}; /bin/cp " +
      Quote(merge) +
      " \"$out/${b%.doc}.docx\";; esac; done; exit 0;; esac\n"
      "for f in \"$@\"; do case $f in *.docx) b=${f##*/}; printf half > \"$out/${b%.docx}.doc\";; "
      "esac; done\n"
      "kill -SEGV $$");
  engine::OfficeOptions options;
  options.usualFolders = false;
  {
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(in_.file("Letters.doc"), host_, office);
  }
  ASSERT_EQ(host_.ReportedLines(), std::vector<int>{194}) << testing::PrintToString(Reports(host_));
  const std::string& said = host_.reportDetails[0].description;
  EXPECT_NE(said.find("Not every piece of Letters.doc could be saved"), std::string::npos) << said;
  EXPECT_NE(said.find("LibreOffice ended unexpectedly"), std::string::npos) << said;
  EXPECT_EQ(testing_support::FilesIn(out_.path()), std::vector<std::string>{});
  EXPECT_FALSE(LeftInTemp(tmp_.path()));
}

// Ctrl-C kills every LibreOffice at once, from the signal handler: the
// conversion it ended is reported as ended by the user, not as a crash on a
// damaged file.
TEST_F(StandIn, a_conversion_ended_by_a_signal_is_reported_as_the_program_ending) {
  Script("exec /bin/sleep 600");
  std::thread signal([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    engine::StopOfficeFromSignal();
  });
  engine::OfficeOptions options;
  options.usualFolders = false;
  {
    engine::OfficeFactory office(word::DefaultFactory(), host_, options);
    engine::DoItByFile(in_.file("Letters.doc"), host_, office);
  }
  signal.join();
  ASSERT_FALSE(host_.reportDetails.empty());
  const std::string& said = host_.reportDetails[0].description;
  EXPECT_NE(said.find("The program is ending"), std::string::npos) << said;
  EXPECT_EQ(said.find("unexpectedly"), std::string::npos) << said;
  EXPECT_FALSE(LeftInTemp(tmp_.path()));
}

#ifdef __linux__
// LibreOffice listens on a named socket in /tmp, which it removes only when
// it ends of itself; one that is killed leaves it behind, one file for each
// run, unless the killing removes it: a kill on its own, at a time-out or a
// stop, and a kill of every program at once (a signal), which leaves no
// time to look for the sockets then.
TEST(OfficeProcess, a_program_that_is_ended_leaves_no_socket_it_listened_on) {
  enum How {
    kKept,
    kKeptAllAtOnce,
    kKeptEndingNow,
    kTimedOut,
    kStopped,
    kAllAtOnce,
    kCrashedAtOnce
  };
  for (const How how :
       {kKept, kKeptAllAtOnce, kKeptEndingNow, kTimedOut, kStopped, kAllAtOnce, kCrashedAtOnce}) {
    SCOPED_TRACE(how);
    TempDir dir;
    const std::string socket = dir.file("pipe");
    // One that crashes as soon as it listens is never seen to: the socket
    // it was to listen on is named beforehand, as LibreOffice's is.
    const std::string then = how == kCrashedAtOnce ? "os.kill(os.getpid(), 9)" : "time.sleep(600)";
    const engine::office::Program listener{
        "/bin/sh",
        {"-c",
         "exec python3 -c 'import os, socket, sys, time; "
         "s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); "
         "s.listen(1); " +
             then + "' " + Quote(socket)},
        dir.file("log"),
        {},
        how == kCrashedAtOnce ? socket : std::string()};
    if (how == kKept || how == kKeptAllAtOnce || how == kKeptEndingNow) {
      engine::office::Background program;
      std::string why;
      ASSERT_TRUE(program.Start(listener, &why)) << why;
      for (int i = 0; i < 500 && !fs::exists(socket) && program.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ASSERT_TRUE(fs::exists(socket)) << ReadFile(dir.file("log"));
      // It is looked at now and then while it runs.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ASSERT_TRUE(program.Running());
      if (how == kKeptAllAtOnce) {
        engine::office::KillRunningPrograms();
        for (int i = 0; i < 500 && program.Running(); ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (how == kKeptEndingNow) {
        // A window closed in mid-run ends the program without returning here.
        engine::office::KillRunningPrograms();
        engine::office::RemoveNotedSockets();
        EXPECT_FALSE(fs::exists(socket));
      }
      program.Kill();
    } else {
      const auto started = std::chrono::steady_clock::now();
      const auto result = engine::office::RunPrograms({listener}, how == kTimedOut ? 2 : 60, [&] {
        // Once it listens, and has been looked at.
        if (!fs::exists(socket) ||
            std::chrono::steady_clock::now() - started < std::chrono::milliseconds(1500))
          return true;
        if (how == kAllAtOnce) engine::office::KillRunningPrograms();
        return how != kStopped;
      });
      EXPECT_NE(result.front().outcome, engine::office::ProgramResult::kExited);
    }
    EXPECT_FALSE(fs::exists(socket));
  }
}
#endif

}  // namespace
