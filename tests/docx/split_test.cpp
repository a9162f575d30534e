// Merges split through the real engine: the right files, valid packages, the
// record's content and what it refers to, and nothing else.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "docx_fixture.h"
#include "docx_test_support.h"
#include "engine/builtin.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;
using docx_test::Entries;
using docx_test::Entry;
using fixture::BreakP;
using fixture::P;
using fixture::SectPr;

const char* kCtFootnotes =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml";
const char* kCtNumbering =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml";

std::string Drawing(const std::string& paragraphs) {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") +
         R"(<w:hdr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" )"
         R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" )"
         R"(xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" )"
         R"(xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" )"
         R"(xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture">)" +
         paragraphs + "</w:hdr>";
}

std::string Field(const std::string& code, const std::string& result) {
  return R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> )" +
         code +
         R"( </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>)" +
         result + R"(</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r>)";
}

const std::string kRefs = R"(<w:headerReference w:type="default" r:id="rIdH1"/>)"
                          R"(<w:footerReference w:type="default" r:id="rIdF1"/>)";

// Five records with what a merge's letters carry.
fixture::Package RichMerge() {
  fixture::Package package;
  package.documentRels = {{"rIdH1", fixture::kRelHeader, "header1.xml"},
                          {"rIdH2", fixture::kRelHeader, "header2.xml"},
                          {"rIdF1", fixture::kRelFooter, "footer1.xml"},
                          {"rIdNum", fixture::kRelNumbering, "numbering.xml"},
                          {"rIdFn", fixture::kRelFootnotes, "footnotes.xml"},
                          {"rIdPhoto", fixture::kRelImage, "media/photo.png"},
                          {"rIdLink", fixture::kRelHyperlink, "https://example.com/a?b&c", true}};
  package.parts = {
      {"word/header1.xml", fixture::kCtHeader,
       Drawing("<w:p>" + docx_test::PictureRun("rIdLogo", 1) + "</w:p>" +
               P("Quillory Letterhead"))},
      {"word/_rels/header1.xml.rels", "",
       R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rIdLogo" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target="media/logo.png"/></Relationships>)"},
      {"word/media/logo.png", "", docx_test::TinyPng()},
      {"word/media/photo.png", "", docx_test::TinyPng() + "photo"},
      {"word/header2.xml", fixture::kCtHeader, fixture::HeaderXml(P("First page only"))},
      {"word/footer1.xml", fixture::kCtFooter,
       fixture::HeaderXml("<w:p><w:r><w:t xml:space=\"preserve\">Page </w:t></w:r>" +
                              Field("PAGE", "1") +
                              "<w:r><w:t xml:space=\"preserve\"> of </w:t></w:r>" +
                              Field("NUMPAGES", "5") + "</w:p>",
                          true)},
      {"word/numbering.xml", kCtNumbering,
       R"(<?xml version="1.0" encoding="UTF-8"?><w:numbering xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:abstractNum w:abstractNumId="0"><w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/></w:lvl></w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>)"},
      {"word/footnotes.xml", kCtFootnotes,
       R"(<?xml version="1.0" encoding="UTF-8"?><w:footnotes xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:footnote w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:footnote><w:footnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote><w:footnote w:id="1"><w:p><w:r><w:t>Note for Cleo</w:t></w:r></w:p></w:footnote><w:footnote w:id="2"><w:p><w:r><w:t>Unused note</w:t></w:r></w:p></w:footnote></w:footnotes>)"}};
  const std::string numbered = R"(<w:numPr><w:ilvl w:val="0"/><w:numId w:val="1"/></w:numPr>)";
  const std::string table =
      R"(<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/></w:tblPr><w:tblGrid><w:gridCol w:w="3000"/><w:gridCol w:w="3000"/></w:tblGrid>)"
      R"(<w:tr><w:tc><w:p><w:r><w:t>Item</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>Price</w:t></w:r></w:p></w:tc></w:tr></w:tbl>)";
  package.body =
      // 1: letterhead, table, numbered list.
      P("Dear Ann") + table + P("First point", numbered) + P("Second point", numbered) +
      BreakP("", SectPr("nextPage", kRefs)) +
      // 2: landscape, inherits the header; a bookmark and a hyperlink.
      R"(<w:p><w:bookmarkStart w:id="7" w:name="Greeting"/><w:r><w:t>Dear Bob</w:t></w:r><w:bookmarkEnd w:id="7"/></w:p>)"
      R"(<w:p><w:hyperlink r:id="rIdLink"><w:r><w:t>Our site</w:t></w:r></w:hyperlink></w:p>)" +
      BreakP("", SectPr("nextPage", "", 15840, 12240, true)) +
      // 3: two columns, the same bookmark id again, a footnote.
      R"(<w:p><w:bookmarkStart w:id="7" w:name="Greeting3"/><w:r><w:t>Dear Cleo</w:t></w:r><w:bookmarkEnd w:id="7"/>)"
      R"(<w:r><w:footnoteReference w:id="1"/></w:r></w:p>)" +
      BreakP(
          "",
          R"(<w:sectPr><w:type w:val="nextPage"/><w:pgSz w:w="12240" w:h="15840"/><w:cols w:num="2" w:space="720"/></w:sectPr>)") +
      // 4: a different first page, a picture used twice with one drawing id.
      P("Dear Dan") + "<w:p>" + docx_test::PictureRun("rIdPhoto", 5) +
      docx_test::PictureRun("rIdPhoto", 5) + "</w:p>" +
      BreakP("", SectPr("nextPage",
                        R"(<w:headerReference w:type="first" r:id="rIdH2"/><w:titlePg/>)")) +
      // 5: the last record ends with a page break paragraph.
      P("Dear Eve") + R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)" + P("") + SectPr("nextPage");
  return package;
}

class RichMergeSplit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing_support::TempDir();
    fs::create_directory(dir_->path() / "out");
    fixture::Write(dir_->file("Letters.docx"), RichMerge());
    before_ = testing_support::ReadFile(dir_->file("Letters.docx"));
    result_ = docx_test::Split(dir_->file("Letters.docx"), (dir_->path() / "out").string());
    splitAt_ = std::chrono::steady_clock::now();
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string Piece(int i) {
    return (dir_->path() / "out" / ("Letters-000" + std::to_string(i) + ".docx")).string();
  }
  static std::string Xml(int i) { return Entry(Piece(i), "word/document.xml"); }
  static bool Has(int i, const std::string& part) {
    for (const auto& e : Entries(Piece(i)))
      if (e == part) return true;
    return false;
  }
  static inline testing_support::TempDir* dir_ = nullptr;
  static inline std::string before_;
  static inline docx_test::SplitResult result_;
  static inline std::chrono::steady_clock::time_point splitAt_;
};

TEST_F(RichMergeSplit, writes_one_valid_piece_per_record_and_leaves_the_input_as_it_was) {
  EXPECT_TRUE(result_.reports.empty()) << result_.reports.front();
  EXPECT_EQ(result_.files,
            (std::vector<std::string>{"Letters-0001.docx", "Letters-0002.docx", "Letters-0003.docx",
                                      "Letters-0004.docx", "Letters-0005.docx"}));
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck((dir_->path() / "out").string(), &ok);
  EXPECT_TRUE(ok) << report;
  if (!report.empty()) {  // the checker is beside the project
    EXPECT_NE(report.find(" 0 with warnings"), std::string::npos) << report;
  }
  EXPECT_EQ(testing_support::ReadFile(dir_->file("Letters.docx")), before_);
}

TEST_F(RichMergeSplit, each_piece_holds_exactly_its_record) {
  EXPECT_EQ(docx_test::StoryText(Piece(1)),
            "Dear Ann\rItem\r\aPrice\r\a\r\aFirst point\rSecond point\r\r");
  EXPECT_EQ(docx_test::StoryText(Piece(2)), "Dear Bob\rOur site\r\r");
  EXPECT_EQ(docx_test::StoryText(Piece(3)), "Dear Cleo\x02\r\r");  // its footnote's mark
  // Pictures stand in the text as character 1, as in Word.
  EXPECT_EQ(docx_test::StoryText(Piece(4)), "Dear Dan\r\x01\x01\r\r");
  EXPECT_EQ(docx_test::StoryText(Piece(5)), "Dear Eve\r\r");  // no blank trailing page
}

TEST_F(RichMergeSplit, keeps_each_records_page_setup_and_headers) {
  EXPECT_NE(Xml(2).find(R"(w:orient="landscape")"), std::string::npos);
  EXPECT_NE(Xml(3).find(R"(<w:cols w:num="2")"), std::string::npos);
  EXPECT_NE(Xml(4).find("<w:titlePg/>"), std::string::npos);
  // The inherited header is made explicit, so every piece shows the letterhead.
  for (int i = 1; i <= 5; ++i) {
    EXPECT_NE(Xml(i).find(R"(<w:headerReference w:type="default" r:id="rIdH1"/>)"),
              std::string::npos)
        << i;
    EXPECT_TRUE(Has(i, "word/header1.xml") && Has(i, "word/media/logo.png")) << i;
    EXPECT_TRUE(Has(i, "word/footer1.xml") && Has(i, "word/styles.xml")) << i;
  }
  EXPECT_TRUE(Has(4, "word/header2.xml"));
  EXPECT_FALSE(Has(1, "word/header2.xml"));
  EXPECT_TRUE(Has(1, "word/numbering.xml"));
}

TEST_F(RichMergeSplit, brings_only_the_pictures_links_and_notes_a_piece_uses) {
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(Has(i, "word/media/photo.png"), i == 4) << i;
  const std::string rels2 = Entry(Piece(2), "word/_rels/document.xml.rels");
  EXPECT_NE(rels2.find(R"(Target="https://example.com/a?b&amp;c" TargetMode="External")"),
            std::string::npos)
      << rels2;
  EXPECT_EQ(Entry(Piece(1), "word/_rels/document.xml.rels").find("rIdLink"), std::string::npos);
  const std::string notes3 = Entry(Piece(3), "word/footnotes.xml");
  EXPECT_NE(notes3.find("Note for Cleo"), std::string::npos);
  EXPECT_EQ(notes3.find("Unused note"), std::string::npos);
  EXPECT_NE(notes3.find(R"(w:type="separator")"), std::string::npos);
  EXPECT_EQ(Entry(Piece(1), "word/footnotes.xml").find("Note for Cleo"), std::string::npos);
}

TEST_F(RichMergeSplit, makes_ids_unique_where_the_source_repeated_them) {
  const std::string xml = Xml(4);
  std::regex docPr(R"re(<wp:docPr id="(\d+)")re");
  std::set<std::string> ids;
  int count = 0;
  for (std::sregex_iterator it(xml.begin(), xml.end(), docPr), end; it != end; ++it, ++count)
    ids.insert((*it)[1]);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ids.size(), 2u);
}

TEST_F(RichMergeSplit, pieces_open_in_libreoffice_with_their_text) {
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  testing_support::TempDir txt;
  for (int i : {1, 4}) {
    const std::string converted = testing_support::ConvertWithSoffice(Piece(i), "txt", txt.str());
    ASSERT_FALSE(converted.empty()) << Piece(i);
    const std::string text = testing_support::ReadFile(converted);
    EXPECT_NE(text.find(i == 1 ? "Dear Ann" : "Dear Dan"), std::string::npos) << text;
    EXPECT_EQ(text.find(i == 1 ? "Dear Bob" : "Dear Eve"), std::string::npos) << text;
  }
}

// What a reader sees: the shared fidelity checker renders the merge and its
// pieces with LibreOffice and compares them page by page, and look by look.
TEST_F(RichMergeSplit, pieces_look_as_their_records_do_in_the_merge) {
  const fs::path tool = fs::path(testing_support::SharedDir()) / "tools" / "docx-fidelity";
  if (testing_support::SharedDir().empty() || !fs::exists(tool))
    GTEST_SKIP() << "the fidelity checker is not beside the project";
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const auto r =
      testing_support::RunCommand("python3 " + testing_support::Quote(tool.string()) + " " +
                                  testing_support::Quote(dir_->file("Letters.docx")) + " " +
                                  testing_support::Quote((dir_->path() / "out").string()));
  // Every record's pages match, sizes and looks included. The merge's sixth
  // page is the blank one after the last record's closing page break, which
  // the split takes away on purpose: the only source page no piece shows.
  EXPECT_NE(r.output.find("fidelity: 5/6 source pages matched, 5 piece pages in all"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("0 extra trailing pages, 0 size mismatches, 0 look different"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("delete: source pages 6-6 "), std::string::npos) << r.output;
}

// Splitting the same merge again, seconds later, writes the same bytes: no
// moment of writing, thread timing or memory order leaks into a piece.
TEST_F(RichMergeSplit, a_later_split_of_the_same_merge_writes_the_same_bytes) {
  std::this_thread::sleep_until(splitAt_ + std::chrono::milliseconds(2100));  // zip times: 2 s
  fs::create_directory(dir_->path() / "again");
  const auto again =
      docx_test::Split(dir_->file("Letters.docx"), (dir_->path() / "again").string());
  ASSERT_EQ(again.files, result_.files);
  for (const std::string& name : again.files)
    EXPECT_EQ(testing_support::ReadFile((dir_->path() / "again" / name).string()),
              testing_support::ReadFile((dir_->path() / "out" / name).string()))
        << name;
}

TEST(Split, a_section_of_one_character_leaves_a_gap_in_the_numbering) {
  testing_support::TempDir dir;
  fixture::Write(dir.file("m.docx"), fixture::Merge({{"Dear Ann"}, {}, {"Dear Cleo"}}));
  const auto result = docx_test::Split(dir.file("m.docx"), dir.str());
  EXPECT_EQ(result.files, (std::vector<std::string>{"m-0001.docx", "m-0003.docx", "m.docx"}));
  EXPECT_EQ(docx_test::StoryText(dir.file("m-0003.docx")), "Dear Cleo\r");
}

TEST(Split, records_ending_in_text_that_carries_the_break_and_continuous_breaks) {
  testing_support::TempDir dir;
  fixture::Package package;
  package.body = P("Head") + BreakP("Dear Ann", SectPr("continuous")) + P("Body") +
                 BreakP("Dear Bob", SectPr("continuous")) + P("Last") + SectPr("continuous");
  fixture::Write(dir.file("c.docx"), package);
  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("c.docx"), (dir.path() / "out").string());
  ASSERT_EQ(result.files.size(), 3u);
  EXPECT_EQ(docx_test::StoryText((dir.path() / "out" / "c-0001.docx").string()),
            "Head\rDear Ann\r");
  EXPECT_EQ(docx_test::StoryText((dir.path() / "out" / "c-0002.docx").string()),
            "Body\rDear Bob\r");
  EXPECT_EQ(docx_test::StoryText((dir.path() / "out" / "c-0003.docx").string()), "Last\r");
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck((dir.path() / "out").string(), &ok);
  EXPECT_TRUE(ok) << report;
}

TEST(Save, writes_the_package_type_the_extension_names) {
  testing_support::TempDir dir;
  fixture::Package package = fixture::Merge({{"Dear Ann"}, {"Dear Bob"}});
  package.mainContentType = "application/vnd.ms-word.document.macroEnabled.main+xml";
  package.documentRels.push_back(
      {"rIdVba", "http://schemas.microsoft.com/office/2006/relationships/vbaProject",
       "vbaProject.bin"});
  package.parts.push_back({"word/vbaProject.bin", "application/vnd.ms-office.vbaProject", "VBA"});
  fixture::Write(dir.file("in.docm"), package);
  auto app = engine::CreateBuiltinApplication();
  auto source = app->DocumentsOpen(dir.file("in.docm"));
  struct Case {
    const char* name;
    const char* type;
    bool macros;
  };
  for (const Case& c :
       {Case{"p.docx", "openxmlformats-officedocument.wordprocessingml.document.main+xml", false},
        Case{"p.docm", "ms-word.document.macroEnabled.main+xml", true},
        Case{"p.dotx", "openxmlformats-officedocument.wordprocessingml.template.main+xml", false},
        Case{"p.dotm", "ms-word.template.macroEnabledTemplate.main+xml", true}}) {
    auto piece = app->DocumentsAdd();
    source->Sections(1)->GetRange()->Copy();
    piece->ContentPasteAndFormat(word::wdFormatOriginalFormatting);
    piece->SaveAs(dir.file(c.name));
    const std::string types = Entry(dir.file(c.name), "[Content_Types].xml");
    EXPECT_NE(
        types.find(std::string("PartName=\"/word/document.xml\" ContentType=\"application/vnd.") +
                   c.type),
        std::string::npos)
        << c.name << types;
    bool hasVba = false;
    for (const auto& e : Entries(dir.file(c.name))) hasVba |= e == "word/vbaProject.bin";
    EXPECT_EQ(hasVba, c.macros) << c.name;
    bool ok = false;
    const std::string report = testing_support::RunDocxCheck(dir.file(c.name), &ok);
    EXPECT_TRUE(ok) << report;
    piece->Close();
  }
}

TEST(Save, a_failed_save_leaves_no_file_under_the_final_name) {
  testing_support::TempDir dir;
  auto app = engine::CreateBuiltinApplication();
  auto doc = app->DocumentsAdd();
  fs::create_directory(dir.path() / "taken.docx");
  try {
    doc->SaveAs(dir.file("taken.docx"));
    FAIL() << "saved over a folder";
  } catch (const word::AutomationError& e) {
    EXPECT_NE(std::string(e.what()).find("a folder of that name exists"), std::string::npos)
        << e.what();
  }
  try {
    doc->SaveAs(dir.file("missing/x.docx"));
    FAIL() << "saved into a folder that does not exist";
  } catch (const word::AutomationError& e) {
    EXPECT_NE(std::string(e.what()).find("does not exist"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir.path() / "missing" / "x.docx"));
  // Neither a piece nor a temporary file stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_empty(dir.path() / "taken.docx"));
}

}  // namespace

TEST(Split, an_empty_break_paragraph_with_page_break_before_leaves_no_blank_last_page) {
  testing_support::TempDir dir;
  fixture::Package package;
  const std::string breakOnNewPage =
      "<w:p><w:pPr><w:pageBreakBefore/>" + SectPr("nextPage") + "</w:pPr></w:p>";
  package.body = P("Dear Ann") + breakOnNewPage + P("Dear Bob", "<w:pageBreakBefore/>") +
                 breakOnNewPage + P("Dear Cleo") + SectPr("nextPage");
  fixture::Write(dir.file("b.docx"), package);
  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("b.docx"), (dir.path() / "out").string());
  ASSERT_EQ(result.files.size(), 3u);
  const std::string first = (dir.path() / "out" / "b-0001.docx").string();
  const std::string second = (dir.path() / "out" / "b-0002.docx").string();
  EXPECT_EQ(docx_test::StoryText(first), "Dear Ann\r\r");
  EXPECT_EQ(docx_test::Entry(first, "word/document.xml").find("pageBreakBefore"),
            std::string::npos);
  // A paragraph with text keeps its own page-break-before.
  EXPECT_EQ(docx_test::StoryText(second), "Dear Bob\r\r");
  EXPECT_NE(docx_test::Entry(second, "word/document.xml").find("pageBreakBefore"),
            std::string::npos);
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string pdf = testing_support::ConvertWithSoffice(first, "pdf", dir.str());
  const auto info = testing_support::RunCommand("pdfinfo " + testing_support::Quote(pdf));
  EXPECT_NE(info.output.find("Pages:           1\n"), std::string::npos) << info.output;
}

TEST(Split, a_record_that_holds_only_a_picture_is_not_lost) {
  testing_support::TempDir dir;
  fixture::Package package;
  package.body = P("Dear Ann") + BreakP("", SectPr("nextPage")) + "<w:p><w:pPr>" +
                 SectPr("nextPage") + "</w:pPr>" + docx_test::PictureRun("rIdPhoto", 7) + "</w:p>" +
                 P("Dear Cleo") + SectPr("nextPage");
  package.documentRels = {{"rIdPhoto", fixture::kRelImage, "media/photo.png"}};
  package.parts = {{"word/media/photo.png", "", docx_test::TinyPng()}};
  fixture::Write(dir.file("m.docx"), package);
  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("m.docx"), (dir.path() / "out").string());
  ASSERT_EQ(result.files.size(), 3u);
  EXPECT_EQ(docx_test::StoryText((dir.path() / "out" / "m-0002.docx").string()), "\x01\r");
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck((dir.path() / "out").string(), &ok);
  EXPECT_TRUE(ok) << report;
}

// Headers, bookmarks and a subdocument's anchor are no text of a section: a
// section holding nothing else is one character long and makes no piece, as in
// Word, while one of two empty paragraphs is two characters long and does.
TEST(Split, sections_of_bookmarks_a_subdocument_anchor_or_only_a_header_make_no_piece) {
  testing_support::TempDir dir;
  fixture::Package package;
  const std::string header = R"(<w:headerReference w:type="default" r:id="rIdH1"/>)";
  package.body =
      R"(<w:p><w:pPr>)" + SectPr("nextPage", header) +
      R"(</w:pPr><w:bookmarkStart w:id="0" w:name="_GoBack"/><w:bookmarkEnd w:id="0"/></w:p>)" +
      R"(<w:p><w:pPr>)" + SectPr("nextPage") + R"(</w:pPr><w:subDoc r:id="rIdSub"/></w:p>)" +
      P("") + BreakP("", SectPr("nextPage")) + P("") + SectPr("nextPage", header);
  package.documentRels = {
      {"rIdH1", fixture::kRelHeader, "header1.xml"},
      {"rIdSub", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/subDocument",
       "Chapter.docx", true}};
  package.parts = {{"word/header1.xml", fixture::kCtHeader, fixture::HeaderXml(P("Letterhead"))}};
  fixture::Write(dir.file("e.docx"), package);

  auto app = engine::CreateBuiltinApplication();
  auto source = app->DocumentsOpen(dir.file("e.docx"));
  ASSERT_EQ(source->SectionsCount(), 4);
  EXPECT_EQ(source->Sections(1)->GetRange()->Text(), "\f");
  EXPECT_EQ(source->Sections(2)->GetRange()->Text(), "\f");
  EXPECT_EQ(source->Sections(3)->GetRange()->Text(), "\r\f");
  EXPECT_EQ(source->Sections(4)->GetRange()->Text(), "\r");
  EXPECT_EQ(source->Sections(4)->Headers(1)->Text(), "Letterhead\r");
  source->Close(word::wdDoNotSaveChanges);

  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("e.docx"), (dir.path() / "out").string());
  EXPECT_EQ(result.files, (std::vector<std::string>{"e-0003.docx"}));
  EXPECT_EQ(docx_test::StoryText((dir.path() / "out" / "e-0003.docx").string()), "\r\r");
}

namespace {

// A run with a VML picture: the shape, with its type's definition before it when given.
std::string VmlRun(const std::string& shapeType, const std::string& type, const std::string& text) {
  return R"(<w:r><w:pict xmlns:v="urn:schemas-microsoft-com:vml">)" + shapeType +
         R"(<v:shape id="s)" + text + R"(" type="#)" + type +
         R"(" style="position:absolute;width:200pt;height:40pt"><v:textpath string=")" + text +
         R"("/></v:shape></w:pict></w:r>)";
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(Split, vml_shapes_take_along_the_type_an_earlier_section_defined) {
  const std::string definition =
      R"(<v:shapetype id="_x0000_t136" coordsize="21600,21600" path="m@7,l@8e">)"
      R"(<v:textpath on="t" fitshape="t"/></v:shapetype>)";
  // A long first record puts the types megabytes into the body, where it is
  // read in stretches beside one another.
  for (const int filler : {0, 40000}) {
    testing_support::TempDir dir;
    fixture::Package package;
    std::string lines;
    for (int k = 0; k < filler; ++k) lines += P("A line of the first letter, long enough to fill.");
    package.body = lines + "<w:p><w:pPr>" + SectPr("nextPage") + "</w:pPr>" +
                   VmlRun(definition, "_x0000_t136", "One") + "</w:p>" +
                   // The second record uses the first one's type, and a type nobody defines.
                   "<w:p><w:pPr>" + SectPr("nextPage") + "</w:pPr>" +
                   VmlRun("", "_x0000_t136", "Two") + VmlRun("", "_x0000_t999", "Lost") + "</w:p>" +
                   // The third defines the type again itself.
                   "<w:p>" + VmlRun(definition, "_x0000_t136", "Three") + "</w:p>" +
                   SectPr("nextPage");
    fixture::Write(dir.file("v.docx"), package);
    fs::create_directory(dir.path() / "out");
    const auto result = docx_test::Split(dir.file("v.docx"), (dir.path() / "out").string());
    ASSERT_EQ(result.files.size(), 3u) << filler;
    for (int i = 1; i <= 3; ++i) {
      const std::string xml =
          Entry((dir.path() / "out" / ("v-000" + std::to_string(i) + ".docx")).string(),
                "word/document.xml");
      EXPECT_EQ(Count(xml, "<v:shapetype id=\"_x0000_t136\""), 1) << filler << " " << i;
      EXPECT_EQ(Count(xml, "_x0000_t999"), i == 2 ? 1 : 0) << filler << " " << i;
      // The definition comes before the shape that uses it.
      EXPECT_LT(xml.find("<v:shapetype"), xml.find("<v:shape ")) << filler << " " << i;
    }
    bool ok = false;
    const std::string report = testing_support::RunDocxCheck((dir.path() / "out").string(), &ok);
    EXPECT_TRUE(ok) << report;
  }
}

TEST(Split, a_field_whose_code_runs_over_many_paragraphs_keeps_its_code_out_of_the_text) {
  // A long body is read in stretches, each walked for its text beside the
  // next one's reading, as if no field were open where it begins. A field's
  // code that runs on from one stretch into the next is still code there.
  for (const int filler : {0, 40000}) {
    testing_support::TempDir dir;
    fixture::Package package;
    std::string lines;
    for (int k = 0; k < filler; ++k) lines += P("A line of the first letter, long enough to fill.");
    std::string code;
    for (int k = 0; k < 10000; ++k) code += "<w:p><w:r><w:t>code</w:t></w:r></w:p>";
    package.body = lines + R"(<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r></w:p>)" + code +
                   R"(<w:p><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>Dear Ann)"
                   R"(</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>)" +
                   BreakP("", SectPr("nextPage")) + P("Dear Bob") + SectPr("nextPage");
    fixture::Write(dir.file("f.docx"), package);
    const std::string text = docx_test::StoryText(dir.file("f.docx"));
    EXPECT_EQ(text.find("code"), std::string::npos) << filler;
    EXPECT_NE(text.find("Dear Ann"), std::string::npos) << filler;
    EXPECT_NE(text.find("Dear Bob"), std::string::npos) << filler;
  }
}

// A content control that the record's break cuts in two: each piece takes its
// own side of the control's content (the whole control would bring the next
// record along, and the break inside it an empty page before its text).
TEST(Split, a_break_inside_a_content_control_gives_each_piece_its_own_side) {
  testing_support::TempDir dir;
  fixture::Package package;
  auto control = [](const std::string& tag, const std::string& content) {
    return R"(<w:sdt><w:sdtPr><w:tag w:val=")" + tag + R"("/></w:sdtPr><w:sdtContent>)" + content +
           "</w:sdtContent></w:sdt>";
  };
  package.body = P("Agreement") + control("A", P("Exhibit A") + P("Signed by Ann")) +
                 control("B", "<w:bookmarkStart w:id=\"0\" w:name=\"left\"/>" +
                                  BreakP("", SectPr("nextPage")) + "<w:bookmarkEnd w:id=\"0\"/>" +
                                  P("Exhibit B") + P("Signed by Bob")) +
                 SectPr("nextPage");
  fixture::Write(dir.file("c.docx"), package);
  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("c.docx"), (dir.path() / "out").string());
  ASSERT_EQ(result.files.size(), 2u);
  const std::string first = (dir.path() / "out" / "c-0001.docx").string();
  const std::string second = (dir.path() / "out" / "c-0002.docx").string();
  EXPECT_EQ(docx_test::StoryText(first), "Agreement\rExhibit A\rSigned by Ann\r\r");
  EXPECT_EQ(docx_test::StoryText(second), "Exhibit B\rSigned by Bob\r\r");
  const std::string xml = docx_test::Entry(second, "word/document.xml");
  // The control stays around its part, and the break before it is not there.
  EXPECT_NE(xml.find(R"(<w:tag w:val="B"/>)"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<w:pPr><w:sectPr"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("bookmark"), std::string::npos) << xml;
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck((dir.path() / "out").string(), &ok);
  EXPECT_TRUE(ok) << report;
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string pdf = testing_support::ConvertWithSoffice(second, "pdf", dir.str());
  const auto info = testing_support::RunCommand("pdfinfo " + testing_support::Quote(pdf));
  EXPECT_NE(info.output.find("Pages:           1\n"), std::string::npos) << info.output;
}

// A diagram's data names the drawing it is shown from by an id among the
// document's relationships; the piece with the diagram keeps that one too.
TEST(Split, a_diagram_keeps_the_drawing_its_data_names) {
  testing_support::TempDir dir;
  fixture::Package package;
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  package.documentRels = {
      {"rIdDm", rel + "diagramData", "diagrams/data1.xml"},
      {"rIdLo", rel + "diagramLayout", "diagrams/layout1.xml"},
      {"rIdDsp", "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing",
       "diagrams/drawing1.xml"}};
  const std::string xmlDecl = R"(<?xml version="1.0" encoding="UTF-8"?>)";
  package.parts = {
      {"word/diagrams/data1.xml",
       "application/vnd.openxmlformats-officedocument.drawingml.diagramData+xml",
       xmlDecl +
           R"(<dgm:dataModel xmlns:dgm="http://schemas.openxmlformats.org/drawingml/2006/diagram" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><dgm:ptLst/><dgm:extLst><a:ext uri="http://schemas.microsoft.com/office/drawing/2008/diagram"><dsp:dataModelExt xmlns:dsp="http://schemas.microsoft.com/office/drawing/2008/diagram" relId="rIdDsp" minVer="http://schemas.openxmlformats.org/drawingml/2006/diagram"/></a:ext></dgm:extLst></dgm:dataModel>)"},
      {"word/diagrams/layout1.xml",
       "application/vnd.openxmlformats-officedocument.drawingml.diagramLayout+xml",
       xmlDecl +
           R"(<dgm:layoutDef xmlns:dgm="http://schemas.openxmlformats.org/drawingml/2006/diagram"/>)"},
      {"word/diagrams/drawing1.xml", "application/vnd.ms-office.drawingml.diagramDrawing+xml",
       xmlDecl +
           R"(<dsp:drawing xmlns:dsp="http://schemas.microsoft.com/office/drawing/2008/diagram"><dsp:spTree/></dsp:drawing>)"}};
  const std::string diagram =
      R"(<w:p><w:r><w:drawing><wp:inline xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing"><wp:extent cx="100" cy="100"/><wp:docPr id="1" name="Diagram 1"/>)"
      R"(<a:graphic xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/diagram">)"
      R"(<dgm:relIds xmlns:dgm="http://schemas.openxmlformats.org/drawingml/2006/diagram" r:dm="rIdDm" r:lo="rIdLo" r:qs="" r:cs=""/></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p>)";
  package.body = P("Dear Ann") + BreakP("", SectPr("nextPage")) + diagram +
                 BreakP("", SectPr("nextPage")) + P("Dear Cleo") + SectPr("nextPage");
  fixture::Write(dir.file("d.docx"), package);
  fs::create_directory(dir.path() / "out");
  const auto result = docx_test::Split(dir.file("d.docx"), (dir.path() / "out").string());
  ASSERT_EQ(result.files.size(), 3u);
  const std::string withDiagram = (dir.path() / "out" / "d-0002.docx").string();
  const std::string rels = Entry(withDiagram, "word/_rels/document.xml.rels");
  EXPECT_NE(rels.find(R"(Id="rIdDsp")"), std::string::npos) << rels;
  EXPECT_NE(rels.find(R"(Id="rIdDm")"), std::string::npos) << rels;
  EXPECT_FALSE(Entry(withDiagram, "word/diagrams/drawing1.xml").empty());
  const std::string without = (dir.path() / "out" / "d-0001.docx").string();
  EXPECT_TRUE(Entry(without, "word/diagrams/drawing1.xml").empty());
  EXPECT_EQ(Entry(without, "word/_rels/document.xml.rels").find("diagram"), std::string::npos);
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck((dir.path() / "out").string(), &ok);
  EXPECT_TRUE(ok) << report;
}
