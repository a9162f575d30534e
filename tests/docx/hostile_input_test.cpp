// Damaged and hostile packages of the kinds a mutation run of the splitter
// turned up: each ends in a readable report (or a sound split), never in a
// crash, a hang or a file outside the pieces' folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "docx/document.h"
#include "docx_fixture.h"
#include "docx_test_support.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;
using fixture::BreakP;
using fixture::P;
using fixture::SectPr;

std::string Repeat(const std::string& text, int times) {
  std::string out;
  out.reserve(text.size() * static_cast<std::size_t>(times));
  for (int k = 0; k < times; ++k) out += text;
  return out;
}

bool AnyReportHas(const docx_test::SplitResult& r, const std::string& text) {
  for (const auto& report : r.reports)
    if (report.find(text) != std::string::npos) return true;
  return false;
}

TEST(HostileInput, elements_nested_past_any_real_depth_are_refused_with_a_report) {
  // Content controls, inline wrappers and tables nested 100,000 deep ran the
  // story walk (and pugixml's removal of a subtree) out of stack.
  const std::pair<std::string, std::string> wrappers[] = {
      {"<w:sdt><w:sdtContent>", "</w:sdtContent></w:sdt>"},
      {"<w:tbl><w:tr><w:tc>", "<w:p/></w:tc></w:tr></w:tbl>"},
      {"<w:p><w:hyperlink>", "</w:hyperlink></w:p>"}};
  for (const auto& [open, close] : wrappers) {
    testing_support::TempDir dir;
    fixture::Package pkg = fixture::Merge({{"Dear Ann"}, {"Dear Bob"}});
    const std::string inner = open.rfind("<w:p>", 0) == 0 ? "<w:r><w:t>x</w:t></w:r>" : P("x");
    pkg.body = Repeat(open, 100000) + inner + Repeat(close, 100000) + pkg.body;
    fixture::Write(dir.file("deep.docx"), pkg);
    fs::create_directory(dir.file("out"));
    const auto r = docx_test::Split(dir.file("deep.docx"), dir.file("out"));
    EXPECT_TRUE(r.files.empty()) << open;
    EXPECT_TRUE(AnyReportHas(r, "word/document.xml nests its elements more than")) << open;
  }
}

TEST(HostileInput, nesting_as_deep_as_real_documents_go_still_splits) {
  testing_support::TempDir dir;
  fixture::Package pkg = fixture::Merge({{"Dear Ann"}, {"Dear Bob"}});
  pkg.body = Repeat("<w:tbl><w:tr><w:tc>", 60) + P("deep cell") +
             Repeat("<w:p/></w:tc></w:tr></w:tbl>", 60) + pkg.body;
  fixture::Write(dir.file("nested.docx"), pkg);
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(dir.file("nested.docx"), dir.file("out"));
  EXPECT_TRUE(r.reports.empty()) << r.reports.front();
  ASSERT_EQ(r.files.size(), 2u);
  EXPECT_NE(docx_test::StoryText(dir.file("out/nested-0001.docx")).find("deep cell"),
            std::string::npos);
}

// Replaces every `from` in a file's bytes by `to` of the same length (zip
// entry names are stored as they are, outside any checksum).
void Patch(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = testing_support::ReadFile(path);
  for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
    bytes.replace(at, from.size(), to);
  testing_support::WriteFile(path, bytes);
}

TEST(HostileInput, parts_named_to_escape_the_package_are_never_copied_into_a_piece) {
  // A relationship whose target uses backslashes or names a drive resolves
  // to a part name that an unpacker on Windows takes for a path outside the
  // folder it unpacks into; with such an entry in the source, every piece
  // carried it along.
  testing_support::TempDir dir;
  fixture::Package pkg;
  pkg.documentRels = {{"rIdH", fixture::kRelHeader, "..\\..\\evil.xml"},
                      {"rIdF", fixture::kRelFooter, "/C:/drive.xml"}};
  const std::string refs = R"(<w:headerReference w:type="default" r:id="rIdH"/>)"
                           R"(<w:footerReference w:type="default" r:id="rIdF"/>)";
  pkg.body = P("Dear Ann") + BreakP("", SectPr("nextPage", refs)) + P("Dear Bob") +
             SectPr("nextPage", refs);
  pkg.parts = {{"word/..Q..Qevil.xml", "", fixture::HeaderXml(P("evil"))},
               {"Cq/drive.xml", "", fixture::HeaderXml(P("drive"), true)}};
  const std::string path = dir.file("slip.docx");
  fixture::Write(path, pkg);
  Patch(path, "..Q..Qevil", "..\\..\\evil");
  Patch(path, "Cq/drive", "C:/drive");
  ASSERT_NE(testing_support::ReadFile(path).find("word/..\\..\\evil.xml"), std::string::npos);
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(path, dir.file("out"));
  EXPECT_TRUE(r.reports.empty()) << r.reports.front();
  ASSERT_EQ(r.files.size(), 2u);
  for (const auto& piece : r.files) {
    for (const auto& entry : docx_test::Entries(dir.file("out/" + piece))) {
      EXPECT_EQ(entry.find('\\'), std::string::npos) << piece << ": " << entry;
      EXPECT_EQ(entry.find(':'), std::string::npos) << piece << ": " << entry;
    }
  }
  EXPECT_EQ(testing_support::FilesIn(dir.str()), (std::vector<std::string>{"slip.docx"}));
}

TEST(HostileInput, a_zip_that_lists_one_name_twice_is_reported_as_such) {
  // libzip refuses it with "File already exists", which tells a user nothing.
  testing_support::TempDir dir;
  fixture::Package pkg = fixture::Merge({{"Dear Ann"}, {"Dear Bob"}});
  pkg.parts = {{"word/documenQ.xml", "", "<x/>"}};
  const std::string path = dir.file("twice.docx");
  fixture::Write(path, pkg);
  Patch(path, "word/documenQ.xml", "word/document.xml");
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(path, dir.file("out"));
  EXPECT_TRUE(r.files.empty());
  EXPECT_TRUE(AnyReportHas(r, "twice.docx is damaged: its zip directory lists two parts of the "
                              "same name."))
      << r.reports.front();
}

TEST(HostileInput, pages_over_a_long_run_of_empty_sections_cost_their_length_not_its_square) {
  // Each page boundary looked at all the text since the last page start:
  // 100,000 empty sections before the first record took half a minute (tests
  // assert no times: that cost shows as this test's own run time).
  testing_support::TempDir dir;
  fixture::Package pkg;
  pkg.body = Repeat(BreakP("", SectPr("nextPage")), 100000) + P("Dear Ann") +
             BreakP("", SectPr("nextPage")) + P("Dear Bob") + SectPr("nextPage");
  fixture::Write(dir.file("empty-run.docx"), pkg);
  auto doc = docx::Document::Open(dir.file("empty-run.docx"));
  ASSERT_EQ(doc->PageCount(), 2);
  EXPECT_EQ(doc->Text(doc->PageStart(2), doc->PageStart(2) + 8), "Dear Bob");
  EXPECT_EQ(doc->Text(doc->PageStart(1), doc->PageStart(1) + 1), "\f");
}

TEST(HostileInput, deleting_a_bare_break_after_many_tables_costs_their_number_not_its_square) {
  // The trailing page break of a record is deleted; finding which tables the
  // deletion covers walked every paragraph once per table, close to a minute
  // here (shown as the test's run time; tests assert no times).
  testing_support::TempDir dir;
  fixture::Package pkg;
  pkg.body = P("Dear Ann") + Repeat("<w:tbl><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl>", 100000) +
             R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)" + BreakP("", SectPr("nextPage")) +
             P("Dear Bob") + SectPr("nextPage");
  fixture::Write(dir.file("tables.docx"), pkg);
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(dir.file("tables.docx"), dir.file("out"));
  EXPECT_TRUE(r.reports.empty()) << r.reports.front();
  ASSERT_EQ(r.files.size(), 2u);
  const std::string first = docx_test::StoryText(dir.file("out/tables-0001.docx"));
  EXPECT_EQ(first.find('\f'), std::string::npos);
  EXPECT_EQ(first.rfind("Dear Ann", 0), 0u);
}

}  // namespace
