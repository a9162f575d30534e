// Damaged and hostile packages of the kinds a mutation run of the splitter
// turned up: each ends in a readable report (or a sound split), never in a
// crash, a hang or a file outside the pieces' folder.

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
