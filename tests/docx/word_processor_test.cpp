// Our word processor as the automation interface sees it: story text, sections,
// headers, paragraphs, pages, and the edits the splitter makes.

#include <gtest/gtest.h>

#include "docx_fixture.h"
#include "docx_test_support.h"
#include "engine/builtin.h"
#include "testing.h"

namespace {

using fixture::BreakP;
using fixture::P;
using fixture::SectPr;

struct Opened {
  testing_support::TempDir dir;
  word::ApplicationPtr app = engine::CreateBuiltinApplication();
  word::DocumentPtr doc;
  explicit Opened(const fixture::Package& package) {
    fixture::Write(dir.file("in.docx"), package);
    doc = app->DocumentsOpen(dir.file("in.docx"));
  }
};

fixture::Package Body(const std::string& body) {
  fixture::Package package;
  package.body = body;
  return package;
}

TEST(StoryText, follows_words_conventions_for_marks_breaks_tables_and_fields) {
  const std::string body =
      P("one") +
      R"(<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:br w:type="page"/></w:r></w:p>)" +
      R"(<w:tbl><w:tr><w:tc><w:p><w:r><w:t>x</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>y</w:t></w:r></w:p><w:p/></w:tc></w:tr></w:tbl>)" +
      R"(<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>)"
      R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>7</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r>)"
      R"(<w:del><w:r><w:delText>gone</w:delText></w:r></w:del><w:ins><w:r><w:t>new</w:t></w:r></w:ins></w:p>)" +
      R"(<w:p><w:r><w:t>note</w:t></w:r><w:r><w:footnoteReference w:id="1"/></w:r>)"
      R"(<w:r><w:endnoteReference w:id="2"/></w:r></w:p>)" +
      R"(<w:p xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math"><m:oMathPara>)"
      R"(<m:oMath><m:r><m:t>x=</m:t></m:r><m:f><m:num><m:r><m:t>1</m:t></m:r></m:num>)"
      R"(<m:den><m:r><m:t>2</m:t></m:r></m:den></m:f></m:oMath></m:oMathPara></w:p>)" +
      BreakP("end", SectPr()) + P("Grüße") + SectPr();
  Opened o(Body(body));
  // A note's reference mark is character 2; an equation shows its characters.
  EXPECT_EQ(o.doc->Content()->Text(),
            "one\ra\tb\vc\f\rx\r\ay\r\r\a\r\a7new\rnote\x02\x02\rx=12\rend\fGrüße\r");
  // Counts are characters: "Grüße\r" is six, not seven bytes' worth.
  EXPECT_EQ(word::Length(o.doc->Sections(2)->GetRange()->Text()), 6);
  EXPECT_EQ(o.doc->ParagraphsCount(), 11);  // cells' paragraphs and the row end count
  EXPECT_EQ(o.doc->Paragraphs(5)->Text(), "\r\a");
}

// A symbol is one character, whatever its code; codes that name no character
// never put a NUL or broken UTF-8 into the text (a name made from it).
TEST(StoryText, every_symbol_is_one_character_of_valid_text) {
  std::string runs;
  for (const char* code : {"F0E8", "0041", "1F600", "0000", "D800", "110000", "zz"})
    runs += std::string(R"(<w:r><w:sym w:font="Wingdings" w:char=")") + code + R"("/></w:r>)";
  Opened o(Body("<w:p>" + runs + "</w:p>" + SectPr()));
  const std::string text = o.doc->Content()->Text();
  EXPECT_EQ(word::Length(text), 8);  // seven symbols and the paragraph mark
  EXPECT_EQ(text.substr(0, 4),
            "\xEF\x83\xA8"
            "A");  // U+F0E8, then A
  EXPECT_EQ(text.find('\0'), std::string::npos);
  EXPECT_NE(text.find("\xF0\x9F\x98\x80"), std::string::npos);  // U+1F600 in four bytes
  EXPECT_NE(text.find("\xEF\xBF\xBD"), std::string::npos);      // the replacement character
}

TEST(Sections, come_in_order_with_their_breaks_and_inherit_headers) {
  fixture::Package package;
  package.documentRels = {{"rIdH1", fixture::kRelHeader, "header1.xml"},
                          {"rIdF1", fixture::kRelFooter, "footer1.xml"},
                          {"rIdH3", fixture::kRelHeader, "header3.xml"}};
  package.parts = {
      {"word/header1.xml", fixture::kCtHeader, fixture::HeaderXml(P("ACME") + P("Ltd"))},
      {"word/footer1.xml", fixture::kCtFooter, fixture::HeaderXml(P("Page"), true)},
      {"word/header3.xml", fixture::kCtHeader, fixture::HeaderXml(P("Third"))}};
  package.body =
      P("first") +
      BreakP("", SectPr("nextPage", R"(<w:headerReference w:type="default" r:id="rIdH1"/>)"
                                    R"(<w:footerReference w:type="default" r:id="rIdF1"/>)")) +
      P("second") + BreakP("", SectPr("continuous")) + P("third") +
      SectPr("nextPage", R"(<w:headerReference w:type="default" r:id="rIdH3"/>)");
  Opened o(package);
  ASSERT_EQ(o.doc->SectionsCount(), 3);
  EXPECT_EQ(o.doc->Sections(1)->GetRange()->Text(), "first\r\f");
  EXPECT_EQ(o.doc->Sections(2)->GetRange()->Text(), "second\r\f");
  EXPECT_EQ(o.doc->SectionsLast()->GetRange()->Text(), "third\r");
  EXPECT_EQ(o.doc->Sections(1)->Headers(1)->Text(), "ACME\rLtd\r");
  EXPECT_EQ(o.doc->Sections(2)->Headers(1)->Text(), "ACME\rLtd\r");  // same as previous
  EXPECT_EQ(o.doc->Sections(3)->Headers(1)->Text(), "Third\r");
  EXPECT_EQ(o.doc->Sections(3)->Footers(1)->Text(), "Page\r");
  EXPECT_THROW(o.doc->Sections(4), word::AutomationError);
}

TEST(Pages, start_at_page_breaks_new_page_sections_and_rendered_breaks) {
  const std::string body =
      P("alpha") + R"(<w:p><w:r><w:t>beta</w:t><w:br w:type="page"/><w:t>gamma</w:t></w:r></w:p>)" +
      // A section's own type says how it begins: section 2 on a new page, 3 not.
      BreakP("", SectPr("continuous")) + P("delta") + BreakP("", SectPr("nextPage")) +
      P("epsilon", "<w:pageBreakBefore/>") +
      R"(<w:p><w:r><w:lastRenderedPageBreak/><w:t>zeta</w:t></w:r></w:p>)" + SectPr("continuous");
  Opened o(Body(body));
  EXPECT_EQ(o.doc->PagesCount(1), 5);
  auto textFrom = [&](const std::string& page) {
    auto sel = o.app->GetSelection();
    sel->GoTo(word::wdGoToPage, word::wdGoToNext, page);
    sel->EndKey(word::wdStory, word::wdExtend);
    return sel->GetRange()->Text();
  };
  EXPECT_EQ(textFrom("1").substr(0, 5), "alpha");
  EXPECT_EQ(textFrom("2").substr(0, 5), "gamma");
  EXPECT_EQ(textFrom("3").substr(0, 5), "delta");  // section 2 starts a new page
  EXPECT_EQ(textFrom("4"), "epsilon\rzeta\r");     // page break before; continuous adds none
  EXPECT_EQ(textFrom("5"), "zeta\r");
  EXPECT_EQ(textFrom("9"), "zeta\r");  // beyond the last page: the last page
}

TEST(Pages, an_explicit_break_and_the_rendered_break_after_it_count_once) {
  const std::string body = R"(<w:p><w:r><w:t>one</w:t><w:br w:type="page"/></w:r></w:p>)"
                           R"(<w:p><w:r><w:lastRenderedPageBreak/><w:t>two</w:t></w:r></w:p>)" +
                           SectPr();
  Opened o(Body(body));
  EXPECT_EQ(o.doc->PagesCount(1), 2);
}

// The splitter's end clean-up on a pasted record, call by call.
TEST(PasteAndCleanUp, leaves_the_record_with_its_own_section_properties_and_no_empty_section) {
  const std::string landscape = SectPr("nextPage", "", 15840, 12240, true);
  Opened o(Body(P("Dear Ann") + BreakP("", landscape) + P("Dear Bob") + SectPr()));
  auto piece = o.app->DocumentsAdd();
  o.doc->Sections(1)->GetRange()->Copy();
  piece->ContentPasteAndFormat(word::wdFormatOriginalFormatting);
  EXPECT_EQ(piece->Content()->Text(), "Dear Ann\r\f\r");
  EXPECT_EQ(piece->SectionsCount(), 2);

  auto sel = piece->ActiveWindowSelection();
  sel->GetFind().SetText("");
  EXPECT_FALSE(sel->GetFind().Execute(word::wdReplaceAll));  // an empty find text finds nothing
  piece->SectionsLast()->GetRange()->Select();
  EXPECT_EQ(sel->GetRange()->Text(), "\r");
  EXPECT_LE(sel->CharactersCount(), 2);
  sel->Collapse(word::wdCollapseEnd);
  sel->Delete();
  EXPECT_EQ(piece->SectionsCount(), 1);
  EXPECT_EQ(piece->Content()->Text(), "Dear Ann\r\r");

  testing_support::TempDir out;
  piece->SaveAs(out.file("piece.docx"));
  const std::string xml = docx_test::Entry(out.file("piece.docx"), "word/document.xml");
  EXPECT_NE(xml.find(R"(w:orient="landscape")"), std::string::npos) << xml;
  // The record's properties are the body's own, at its end.
  EXPECT_NE(xml.find("</w:p><w:sectPr>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<w:pPr><w:sectPr"), std::string::npos) << xml;
}

// What a document says of itself through the automation calls.
std::string Describe(word::Document& doc) {
  std::string d = doc.Content()->Text() + "|pages " + std::to_string(doc.PagesCount(1));
  for (int s = 1; s <= doc.SectionsCount(); ++s)
    d += "|section " + doc.Sections(s)->GetRange()->Text() + "|header " +
         doc.Sections(s)->Headers(1)->Text();
  for (int p = 1; p <= doc.ParagraphsCount(); ++p) d += "|para " + doc.Paragraphs(p)->Text();
  return d;
}

// The clean-up keeps its answers up to date without reading the piece again:
// they must be what the saved piece answers when it is opened afresh.
TEST(PasteAndCleanUp, a_cleaned_piece_answers_as_it_does_when_read_again) {
  const std::string header = SectPr("nextPage", R"(<w:titlePg/>)");
  const std::vector<std::string> bodies = {
      P("Dear Ann") + BreakP("", SectPr()) + P("Dear Bob") + SectPr(),
      // An empty break paragraph that starts a new page.
      P("one") + R"(<w:p><w:pPr><w:pageBreakBefore/>)" + SectPr() + R"(</w:pPr></w:p>)" + P("two") +
          SectPr(),
      // The break inside a content control, bookmarks after it.
      R"(<w:sdt><w:sdtContent>)" + P("in control") + BreakP("last", header) +
          R"(</w:sdtContent></w:sdt><w:bookmarkStart w:id="1" w:name="b"/>)" + P("next") +
          R"(<w:bookmarkEnd w:id="1"/>)" + SectPr(),
      // A table, a page break, and a final section of its own.
      std::string(
          R"(<w:tbl><w:tr><w:tc><w:p><w:r><w:t>cell</w:t></w:r></w:p></w:tc></w:tr></w:tbl>)") +
          R"(<w:p><w:r><w:br w:type="page"/><w:t>after</w:t></w:r></w:p>)" +
          BreakP("", SectPr("continuous")) + P("tail") + SectPr(),
  };
  for (const std::string& body : bodies) {
    Opened o(Body(body));
    for (int s = 1; s <= o.doc->SectionsCount(); ++s) {
      auto piece = o.app->DocumentsAdd();
      o.doc->Sections(s)->GetRange()->Copy();
      piece->ContentPasteAndFormat(word::wdFormatOriginalFormatting);
      piece->SectionsLast()->GetRange()->Select();
      auto sel = piece->ActiveWindowSelection();
      sel->Collapse(word::wdCollapseEnd);
      sel->Delete();
      const std::string cleaned = Describe(*piece);
      const std::string path = o.dir.file("piece-" + std::to_string(s) + ".docx");
      piece->SaveAs(path);
      EXPECT_EQ(Describe(*o.app->DocumentsOpen(path)), cleaned) << body << "\nsection " << s;
    }
  }
}

TEST(PasteAndCleanUp, deleting_a_bare_page_break_paragraph_keeps_the_text_before_it) {
  Opened o(Body(P("text") + R"(<w:p><w:r><w:br w:type="page"/></w:r></w:p>)" + P("") +
                BreakP("", SectPr()) + P("next") + SectPr()));
  auto piece = o.app->DocumentsAdd();
  o.doc->Sections(1)->GetRange()->Copy();
  piece->ContentPaste();
  piece->SectionsLast()->GetRange()->Select();
  auto sel = piece->ActiveWindowSelection();
  sel->Collapse(word::wdCollapseEnd);
  sel->Delete();
  EXPECT_EQ(piece->Content()->Text(), "text\r\f\r\r\r");
  piece->Paragraphs(2)->Delete();
  EXPECT_EQ(piece->Content()->Text(), "text\r\r\r");
}

TEST(PasteAndCleanUp, deleting_a_break_paragraph_gives_its_properties_to_the_paragraph_before) {
  Opened o(
      Body(P("a") + BreakP("b", SectPr("nextPage", "", 15840, 12240, true)) + P("c") + SectPr()));
  o.doc->Paragraphs(2)->Delete();
  EXPECT_EQ(o.doc->Content()->Text(), "a\fc\r");
  EXPECT_EQ(o.doc->SectionsCount(), 2);
}

// A section that begins and ends inside one content control: the copy takes
// the control with the section's part of its content only.
TEST(PasteAndCleanUp, a_section_inside_a_content_control_copies_only_its_part) {
  Opened o(Body(P("a") + R"(<w:sdt><w:sdtPr><w:tag w:val="T"/></w:sdtPr><w:sdtContent>)" +
                BreakP("b", SectPr()) + P("c") + BreakP("d", SectPr()) + P("e") +
                "</w:sdtContent></w:sdt>" + P("f") + SectPr()));
  ASSERT_EQ(o.doc->SectionsCount(), 3);
  auto piece = o.app->DocumentsAdd();
  o.doc->Sections(2)->GetRange()->Copy();
  piece->ContentPaste();
  EXPECT_EQ(piece->Content()->Text(), "c\rd\f\r");
  o.doc->Sections(3)->GetRange()->Copy();
  piece->ContentPaste();
  EXPECT_EQ(piece->Content()->Text(), "e\rf\f\r");
  testing_support::TempDir out;
  piece->SaveAs(out.file("piece.docx"));
  const std::string xml = docx_test::Entry(out.file("piece.docx"), "word/document.xml");
  EXPECT_NE(
      xml.find(
          R"(<w:tag w:val="T"/></w:sdtPr><w:sdtContent><w:p><w:r><w:t xml:space="preserve">e)"),
      std::string::npos)
      << xml;
  // The source is as it was.
  EXPECT_EQ(o.doc->Content()->Text(), "a\rb\fc\rd\fe\rf\r");
}

// A first paste takes the copied elements over; a later paste of the same
// copy still gives what was copied, whatever became of the first piece.
TEST(PasteAndCleanUp, one_copy_pasted_again_gives_the_copied_content_again) {
  Opened o(Body(P("a") + BreakP("b", SectPr()) + P("c") +
                R"(<w:sdt><w:sdtPr><w:tag w:val="T"/></w:sdtPr><w:sdtContent>)" +
                BreakP("d", SectPr()) + P("e") + "</w:sdtContent></w:sdt>" + SectPr()));
  o.doc->Sections(2)->GetRange()->Copy();
  auto first = o.app->DocumentsAdd();
  first->ContentPaste();
  EXPECT_EQ(first->Content()->Text(), "c\rd\f\r");
  auto& find = first->ActiveWindowSelection()->GetFind();
  find.SetText("c");
  find.GetReplacement().SetText("x");
  find.Execute(word::wdReplaceAll);
  EXPECT_EQ(first->Content()->Text(), "x\rd\f\r");
  for (int again = 0; again < 2; ++again) {
    auto piece = again ? first : o.app->DocumentsAdd();
    piece->ContentPaste();
    EXPECT_EQ(piece->Content()->Text(), "c\rd\f\r") << again;
  }
  EXPECT_EQ(o.doc->Content()->Text(), "a\rb\fc\rd\fe\r");
}

TEST(Find, replaces_every_plain_text_match_and_section_breaks_with_caret_b) {
  Opened o(Body(P("one two one") + BreakP("one", SectPr()) + P("x") + SectPr()));
  auto sel = o.doc->ActiveWindowSelection();
  sel->GetFind().SetText("one");
  sel->GetFind().GetReplacement().SetText("1");
  EXPECT_TRUE(sel->GetFind().Execute(word::wdReplaceAll));
  EXPECT_EQ(o.doc->Content()->Text(), "1 two 1\r1\fx\r");
  sel->GetFind().SetText("^b");
  sel->GetFind().GetReplacement().SetText("");
  EXPECT_TRUE(sel->GetFind().Execute(word::wdReplaceAll));
  EXPECT_EQ(o.doc->SectionsCount(), 1);
  EXPECT_EQ(o.doc->Content()->Text(), "1 two 1\r1\rx\r");
}

TEST(Selection, moves_its_end_by_characters_and_collapses_before_the_final_mark) {
  Opened o(Body(P("héllo") + SectPr()));
  auto sel = o.doc->ActiveWindowSelection();
  o.doc->Content()->Select();
  EXPECT_EQ(sel->CharactersCount(), 6);
  sel->MoveEnd(word::wdCharacter, -1);
  EXPECT_EQ(sel->GetRange()->Text(), "héllo");
  sel->MoveEnd(word::wdCharacter, 1);
  sel->Collapse(word::wdCollapseEnd);
  sel->MoveEnd(word::wdCharacter, 0);
  EXPECT_EQ(sel->GetRange()->Text(), "");
  sel->Delete();  // the final mark stays
  EXPECT_EQ(o.doc->Content()->Text(), "héllo\r");
  o.doc->Content()->Select();
  sel->Collapse(word::wdCollapseStart);
  sel->Delete();  // the next character goes
  EXPECT_EQ(o.doc->Content()->Text(), "éllo\r");
}

TEST(Application, answers_as_word_does) {
  auto app = engine::CreateBuiltinApplication();
  EXPECT_EQ(app->Name(), "Microsoft Word");
  EXPECT_EQ(app->Version(), "16.0");
  app->SetDisplayAlerts(false);
  auto doc = app->DocumentsAdd();
  EXPECT_EQ(doc->Content()->Text(), "\r");
  EXPECT_EQ(doc->SectionsCount(), 1);
  testing_support::TempDir out;
  doc->SaveAs(out.file("empty.docx"));
  bool ok = false;
  const std::string report = testing_support::RunDocxCheck(out.file("empty.docx"), &ok);
  EXPECT_TRUE(ok) << report;
  doc->Close();
  EXPECT_THROW(doc->Content(), word::AutomationError);
  app->Quit();
}

}  // namespace
