// The page rules on the pages a reader sees: documents without Word's
// rendered page marks laid out by the real LibreOffice and compared with
// LibreOffice's own PDF of them; documents with the marks, and a missing
// LibreOffice, answer from the marks.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <sstream>
#include <tuple>

#include "docx_fixture.h"
#include "engine/engine.h"
#include "engine/libreoffice.h"
#include "support/paths.h"
#include "testing.h"

namespace fs = std::filesystem;
using testing_support::Quote;
using testing_support::ReadFile;
using testing_support::RecordingHost;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

using testing_support::ScopedEnv;

// A merge whose letters run over two or three pages by the flow of their text
// alone: no page break, no rendered mark, a new-page section per record.
// With `rendered`, Word's rendered marks stand before every tenth paragraph.
fixture::Package FlowingMerge(const std::vector<int>& paragraphs, bool rendered = false) {
  fixture::Package package;
  for (std::size_t r = 0; r < paragraphs.size(); ++r) {
    for (int k = 1; k <= paragraphs[r]; ++k) {
      std::string text = "R" + std::to_string(r + 1) + "P" + std::to_string(k);
      for (int w = 1; w <= 24; ++w)
        text += " w" + std::to_string(r + 1) + "x" + std::to_string(k) + "x" + std::to_string(w);
      std::string xml = fixture::P(text);
      if (rendered && k % 10 == 0)
        xml.replace(xml.find("<w:r>") + 5, 0, "<w:lastRenderedPageBreak/>");
      const bool last = k == paragraphs[r];
      if (last && r + 1 < paragraphs.size()) {
        xml.replace(xml.find("<w:p>") + 5, 0, "<w:pPr>" + fixture::SectPr() + "</w:pPr>");
      }
      package.body += xml;
    }
  }
  package.body += fixture::SectPr();
  return package;
}

// The text of every page of LibreOffice's own PDF of each file, one start for all.
std::vector<std::vector<std::string>> PdfPages(const std::vector<std::string>& files,
                                               const TempDir& scratch) {
  std::string command = "timeout 600 soffice -env:UserInstallation=file://" + scratch.str() +
                        "/profile --headless --norestore --convert-to pdf --outdir " +
                        Quote(scratch.file("pdf"));
  for (const auto& file : files) command += " " + Quote(file);
  RunCommand(command + " >/dev/null 2>&1");
  std::vector<std::vector<std::string>> all;
  for (const auto& file : files) {
    const std::string pdf = scratch.file("pdf/" + fs::path(file).stem().string() + ".pdf");
    RunCommand("pdftotext -enc UTF-8 " + Quote(pdf) + " " + Quote(pdf + ".txt"));
    std::vector<std::string> pages;
    std::stringstream text(ReadFile(pdf + ".txt"));
    for (std::string page; std::getline(text, page, '\f');) pages.push_back(page);
    if (!pages.empty() && pages.back().find_first_not_of("\n ") == std::string::npos)
      pages.pop_back();
    all.push_back(pages);
  }
  return all;
}

// The first `count` words of a text, one blank between them.
std::string FirstWords(const std::string& text, int count) {
  std::stringstream in(text);
  std::string out, word;
  for (int i = 0; i < count && in >> word; ++i) out += (i ? " " : "") + word;
  return out;
}

// Letters and digits only: what a name and a page's text share whatever
// the spacing and punctuation.
std::string Letters(const std::string& text) {
  std::string out;
  for (unsigned char c : text)
    if (std::isalnum(c) || c >= 0x80) out += static_cast<char>(std::tolower(c));
  return out;
}

// The name RenameFile derives with `rule` (the working copy's base name).
std::string Named(const std::string& file, int rule, int words, int page, RecordingHost& host,
                  word::Factory& factory) {
  host.settings.NameByContent = true;
  host.settings.ContentRule = rule;
  const std::string copy = engine::RenameFile(file, words, page, host, factory);
  engine::DiscardWorkingCopy(copy, file, host);
  return copy.empty() ? std::string() : support::StripExtension(support::GetFileName(copy));
}

class Pages : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.settings.SaveToChosenFolder = true;
    host_.settings.SaveToSourceFolder = false;
    host_.settings.OutputFolder = out_.str() + "/";
  }
  TempDir tmp_;
  ScopedEnv temp_{"TMPDIR", tmp_.str()};
  ScopedEnv tempForCopies_{"TEMP", tmp_.str()};
  TempDir dir_;
  TempDir out_;
  RecordingHost host_;
};

TEST_F(Pages, page_rules_give_the_words_that_open_the_pages_of_libreoffices_own_pdf) {
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  if (RunCommand("command -v pdftotext").exitCode != 0)
    GTEST_SKIP() << "poppler's pdftotext is not installed";
  const std::string own = dir_.file("flowing.docx");
  fixture::Write(own, FlowingMerge({40, 22, 60}));
  std::vector<std::string> files = {own};
  const std::string corpus = testing_support::CorpusDir();
  const std::string merge = corpus.empty() ? "" : corpus + "/lo/lo-merge-10.docx";
  if (!merge.empty() && fs::exists(merge))
    files.push_back(merge);
  else
    std::cout << "[ note ] the corpus's lo/lo-merge-10.docx is absent: only our own merge\n";
  TempDir scratch;
  const auto pdfs = PdfPages(files, scratch);
  ASSERT_GE(pdfs.front().size(), 6u) << "the letters should run over two or three pages each";

  engine::OfficeFactory office(word::DefaultFactory(), host_);
  // Our merge: the words open the page exactly as LibreOffice printed it.
  const auto& pages = pdfs.front();
  EXPECT_EQ(Named(own, 3, 3, 0, host_, office), FirstWords(pages[1], 3));
  EXPECT_EQ(Named(own, 4, 3, 0, host_, office), FirstWords(pages.back(), 3));
  EXPECT_EQ(Named(own, 5, 3, 5, host_, office), FirstWords(pages[4], 3));
  // Each letter from its own second page: the page after the one that opens it.
  host_.settings.ContentRule = 3;
  host_.settings.EachSplit = true;
  const engine::PieceNaming naming{3, 0};
  engine::DoItByFile(own, host_, office, nullptr, std::string(), &naming);
  // A record opens the page whose first word is its first paragraph's mark.
  auto opensRecord = [&](std::size_t p) {
    const std::string first = FirstWords(pages[p], 1);
    return first.size() > 2 && first.compare(first.size() - 2, 2, "P1") == 0;
  };
  std::vector<std::string> expected;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    if (!opensRecord(p)) continue;
    const std::string number = "-000" + std::to_string(expected.size() + 1) + ".docx";
    const bool secondPage = p + 1 < pages.size() && !opensRecord(p + 1);
    expected.push_back((secondPage ? FirstWords(pages[p + 1], 3) : "flowing") + number);
  }
  ASSERT_EQ(expected.size(), 3u);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(testing_support::FilesIn(out_.path()), expected);
  std::cout << "[ note ] " << pages.size() << " pages; each letter's second page: ";
  for (const auto& name : expected) std::cout << "\"" << name << "\" ";
  std::cout << "\n";
  // LibreOffice laid the document out once for all four namings.
  EXPECT_EQ(office.Calls(), 1);

  // LibreOffice's merge of the corpus: its letterhead and footer are passed
  // over; the words are the first ones of the page's own text.
  if (files.size() > 1) {
    const auto& lo = pdfs.back();
    for (const auto& [rule, page, index] : std::vector<std::tuple<int, int, std::size_t>>{
             {3, 0, 1}, {4, 0, lo.size() - 1}, {5, 7, 6}}) {
      const std::string name = Named(merge, rule, 3, page, host_, office);
      ASSERT_FALSE(name.empty()) << rule;
      std::cout << "[ note ] lo-merge-10, rule " << rule << ": \"" << name << "\"\n";
      const std::string seen = Letters(lo[index]);
      EXPECT_NE(seen.find(Letters(name)), std::string::npos) << rule << ": " << name;
      if (index > 0) {
        EXPECT_EQ(Letters(lo[index - 1]).find(Letters(name)), std::string::npos) << name;
      }
    }
    EXPECT_EQ(office.Calls(), 2);
  }
  EXPECT_TRUE(host_.reports.empty()) << host_.reports.front();
  EXPECT_TRUE(host_.notices.empty());
}

TEST_F(Pages, rendered_marks_and_a_missing_libreoffice_answer_from_the_marks_with_one_notice) {
  const std::string word = dir_.file("word-style.docx");
  const std::string flowing = dir_.file("flowing.docx");
  fixture::Write(word, FlowingMerge({40, 22}, true));
  fixture::Write(flowing, FlowingMerge({40, 22}));
  // What our own word processor answers from the marks alone.
  RecordingHost plain;
  std::vector<std::string> today;
  for (const auto& file : {word, flowing})
    for (int rule : {3, 4, 5})
      today.push_back(Named(file, rule, 2, 3, plain, word::DefaultFactory()));
  ASSERT_EQ(today[0], "R1P10 w1x10x1");  // Word's rendered mark before the tenth paragraph

  // Word's marks: LibreOffice is not started, and the answers stay.
  if (testing_support::HaveSoffice()) {
    engine::OfficeFactory office(word::DefaultFactory(), host_);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Named(word, 3 + i, 2, 3, host_, office), today[i]);
    EXPECT_EQ(office.Starts(), 0);
  }
  // No LibreOffice: today's answers, and one notice for the whole run.
  ScopedEnv none{"PARVANE_SOFFICE", "none"};
  engine::OfficeFactory office(word::DefaultFactory(), host_);
  std::vector<std::string> answers;
  for (const auto& file : {word, flowing})
    for (int rule : {3, 4, 5}) answers.push_back(Named(file, rule, 2, 3, host_, office));
  EXPECT_EQ(answers, today);
  ASSERT_EQ(host_.notices.size(), 1u);
  EXPECT_NE(
      host_.notices[0].find("Page numbers may be off for documents without rendered page marks"),
      std::string::npos)
      << host_.notices[0];
  EXPECT_TRUE(host_.reports.empty());
}

}  // namespace
