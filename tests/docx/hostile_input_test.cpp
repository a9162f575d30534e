// Damaged and hostile packages of the kinds a mutation run of the splitter
// turned up: each ends in a readable report (or a sound split), never in a
// crash, a hang or a file outside the pieces' folder.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <map>

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
  EXPECT_TRUE(AnyReportHas(r,
                           "twice.docx is damaged: its zip directory lists two parts of the "
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

// Flips the checksum of a zip entry in its local header and in the central
// directory alike, so the directory stays consistent and only the bytes are
// wrong, as on a damaged disk.
void BreakChecksum(const std::string& path, const std::string& name) {
  std::string bytes = testing_support::ReadFile(path);
  for (std::size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1)) {
    if (at >= 30 && bytes.compare(at - 30, 4, "PK\x03\x04") == 0) bytes[at - 30 + 14] ^= 0x55;
    if (at >= 46 && bytes.compare(at - 46, 4, "PK\x01\x02") == 0) bytes[at - 46 + 16] ^= 0x55;
  }
  testing_support::WriteFile(path, bytes);
}

TEST(HostileInput, a_shared_part_that_fails_its_checksum_is_reported_once_and_never_copied) {
  // Parts copied as compressed bytes were never checked: every piece got the
  // damaged part and failed to open, and the run reported success. The two
  // records' footers are stored alike, byte for byte: the second, whose
  // checksum alone is wrong, is still a part of its own.
  for (const std::string part : {"word/styles.xml", "word/media/image1.png", "word/footer2.xml"}) {
    testing_support::TempDir dir;
    fixture::Package pkg;
    pkg.documentRels = {{"rIdImg", fixture::kRelImage, "media/image1.png"},
                        {"rIdF1", fixture::kRelFooter, "footer1.xml"},
                        {"rIdF2", fixture::kRelFooter, "footer2.xml"}};
    const std::string footer = fixture::HeaderXml(P("Page"), true);
    pkg.parts = {{"word/media/image1.png", "", docx_test::TinyPng()},
                 {"word/footer1.xml", fixture::kCtFooter, footer},
                 {"word/footer2.xml", fixture::kCtFooter, footer}};
    const std::string picture = "<w:p>" + docx_test::PictureRun("rIdImg", 1) + "</w:p>";
    const auto footerOf = [](const std::string& id) {
      return R"(<w:footerReference w:type="default" r:id=")" + id + R"("/>)";
    };
    pkg.body = P("Dear Ann") + picture + BreakP("", SectPr("nextPage", footerOf("rIdF1"))) +
               P("Dear Bob") + picture + SectPr("nextPage", footerOf("rIdF2"));
    const std::string path = dir.file("damaged.docx");
    fixture::Write(path, pkg);
    BreakChecksum(path, part);
    const std::string before = testing_support::ReadFile(path);
    fs::create_directory(dir.file("out"));
    const auto r = docx_test::Split(path, dir.file("out"));
    EXPECT_TRUE(r.files.empty()) << part << ": " << r.files.front();
    // One report for the document, when it is opened, not one per piece.
    const std::string damaged = "damaged.docx: the part " + part + " is damaged (CRC error)";
    ASSERT_FALSE(r.reports.empty()) << part;
    EXPECT_NE(r.reports.front().find(damaged), std::string::npos) << r.reports.front();
    EXPECT_NE(r.reports.front().find("at line 102"), std::string::npos) << r.reports.front();
    EXPECT_EQ(
        std::count_if(r.reports.begin(), r.reports.end(),
                      [](const std::string& t) { return t.find("CRC") != std::string::npos; }),
        1)
        << part;
    EXPECT_EQ(testing_support::ReadFile(path), before);
  }
}

// The field characters and bookmark marks of a piece's main story in order,
// as "b" (begin), "s" (separate), "e" (end), "[id" and "]id".
std::string MarksOf(const std::string& piece) {
  pugi::xml_document doc;
  const std::string xml = docx_test::Entry(piece, "word/document.xml");
  EXPECT_TRUE(doc.load_buffer(xml.data(), xml.size()));
  struct Walker : pugi::xml_tree_walker {
    std::string out;
    bool for_each(pugi::xml_node& n) override {
      const std::string name = n.name();
      if (name == "w:fldChar") out += n.attribute("w:fldCharType").value()[0];
      if (name == "w:bookmarkStart") out += std::string("[") + n.attribute("w:id").value();
      if (name == "w:bookmarkEnd") out += std::string("]") + n.attribute("w:id").value();
      return true;
    }
  } walker;
  doc.traverse(walker);
  return walker.out;
}

TEST(HostileInput, fields_and_bookmarks_cut_by_a_section_break_are_whole_in_every_piece) {
  // A field whose result holds a section break (an index) left a begin and a
  // separator without an end in one piece and an end without a begin in the
  // next; a bookmark across the break started in one piece and never ended.
  // Word refuses such pieces. Whole fields and bookmarks stay as they were.
  const std::string fieldRun =
      R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r>)"
      R"(<w:r><w:instrText xml:space="preserve"> INDEX </w:instrText></w:r>)"
      R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r>)";
  const std::string page = R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r>)"
                           R"(<w:r><w:instrText xml:space="preserve"> PAGE </w:instrText></w:r>)"
                           R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r>)"
                           R"(<w:r><w:t>1</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r>)";
  testing_support::TempDir dir;
  fixture::Package pkg;
  pkg.body = R"(<w:p><w:bookmarkStart w:id="0" w:name="Whole"/><w:r><w:t>Dear Ann</w:t></w:r>)"
             R"(<w:bookmarkEnd w:id="0"/></w:p>)" +
             std::string(R"(<w:p><w:bookmarkStart w:id="1" w:name="Cut"/>)") + fieldRun +
             R"(<w:r><w:t>Entry one</w:t></w:r></w:p>)" + BreakP("", SectPr("nextPage")) + "<w:p>" +
             page + R"(<w:r><w:t>Entry two</w:t></w:r>)" +
             R"(<w:r><w:fldChar w:fldCharType="end"/></w:r><w:bookmarkEnd w:id="1"/></w:p>)" +
             P("Dear Bob") + SectPr("nextPage");
  const std::string path = dir.file("index.docx");
  fixture::Write(path, pkg);
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(path, dir.file("out"));
  EXPECT_TRUE(r.reports.empty()) << r.reports.front();
  ASSERT_EQ(r.files.size(), 2u);
  const std::string first = dir.file("out/index-0001.docx");
  const std::string second = dir.file("out/index-0002.docx");
  EXPECT_EQ(MarksOf(first), "[0]0[1bse]1");
  EXPECT_EQ(MarksOf(second), "bse");
  // The results stay text a reader shows, not field code.
  EXPECT_NE(docx_test::StoryText(first).find("Entry one"), std::string::npos);
  EXPECT_NE(docx_test::StoryText(second).find("1Entry two"), std::string::npos);
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck(dir.file("out"), &ok);
  if (report.empty()) {
    std::cout << "[ SKIPPED  ] docx-check is not in ../shared/tools\n";
  } else {
    EXPECT_TRUE(ok) << report;
  }
  const std::string schema = testing_support::SharedDir() + "/tools/docx-schema";
  if (testing_support::SharedDir().empty() || !fs::exists(schema) ||
      testing_support::RunCommand("/usr/bin/python3 -c 'import lxml'").exitCode != 0) {
    std::cout << "[ SKIPPED  ] docx-schema (../shared/tools, python3-lxml) is not available\n";
  } else {
    const auto checked = testing_support::RunCommand(testing_support::Quote(schema) + " --source " +
                                                     testing_support::Quote(path) + " " +
                                                     testing_support::Quote(dir.file("out")));
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
  }
}

TEST(HostileInput, pieces_leave_the_merge_data_source_out_of_their_settings) {
  // A merge made by LibreOffice keeps its data source and query; Word asks to
  // run the query each time a document with them opens.
  testing_support::TempDir dir;
  fixture::Package pkg = fixture::Merge({{"Dear Ann"}, {"Dear Bob"}});
  pkg.documentRels = {
      {"rIdSettings",
       "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings",
       "settings.xml"}};
  pkg.parts = {
      {"word/settings.xml",
       "application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml",
       std::string(R"(<w:settings xmlns:w=")") + fixture::kW + R"(" xmlns:r=")" + fixture::kR +
           R"("><w:zoom w:percent="100"/><w:mailMerge><w:mainDocumentType w:val="formLetters"/>)"
           R"(<w:dataType w:val="native"/><w:query w:val="SELECT * FROM customers"/>)"
           R"(<w:dataSource r:id="rIdSource"/></w:mailMerge><w:defaultTabStop w:val="720"/>)"
           R"(</w:settings>)"},
      {"word/_rels/settings.xml.rels", "",
       R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
       R"(<Relationship Id="rIdSource" Type="http://schemas.openxmlformats.org/officeDocument/)"
       R"(2006/relationships/mailMergeSource" Target="file:///home/ann/customers.csv" )"
       R"(TargetMode="External"/></Relationships>)"}};
  const std::string path = dir.file("merged.docx");
  fixture::Write(path, pkg);
  fs::create_directory(dir.file("out"));
  const auto r = docx_test::Split(path, dir.file("out"));
  EXPECT_TRUE(r.reports.empty()) << r.reports.front();
  ASSERT_EQ(r.files.size(), 2u);
  for (const auto& piece : r.files) {
    const std::string settings = docx_test::Entry(dir.file("out/" + piece), "word/settings.xml");
    EXPECT_EQ(settings.find("mailMerge"), std::string::npos) << piece << ": " << settings;
    EXPECT_NE(settings.find("w:defaultTabStop"), std::string::npos) << piece << ": " << settings;
    EXPECT_NE(settings.find("w:zoom"), std::string::npos) << piece << ": " << settings;
    const std::string rels =
        docx_test::Entry(dir.file("out/" + piece), "word/_rels/settings.xml.rels");
    EXPECT_EQ(rels.find("customers.csv"), std::string::npos) << piece << ": " << rels;
  }
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck(dir.file("out"), &ok);
  if (!report.empty()) {
    EXPECT_TRUE(ok) << report;
  }
}

}  // namespace
