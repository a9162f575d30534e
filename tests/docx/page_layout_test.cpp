// Page starts from a layout's text: matched back to our story, and used as the
// document's pages.

#include <gtest/gtest.h>

#include "docx/document.h"
#include "docx/page_layout.h"
#include "docx_fixture.h"
#include "testing.h"

namespace {

struct MatchCase {
  const char* what;
  std::string story;
  std::vector<std::string> pages;
  std::vector<int> starts;
};

TEST(PageLayout, each_page_starts_where_its_own_text_begins_in_the_story) {
  const std::string letter =
      "Dear Ann,\rThe first page ends here and the second one opens\rwith these words.\r";
  const std::vector<MatchCase> cases = {
      {"flowing text, broken inside a paragraph",
       letter,
       {"Dear Ann,\nThe first page ends here and the second one\n", "opens\nwith these words.\n"},
       {0, 54}},
      {"headers and footers of the layout are not the story's",
       letter,
       {"ACME Letters Ltd\nDear Ann,\nThe first page ends here and the second one\nPage 1 of 2\n",
        "ACME Letters Ltd\nopens\nwith these words.\nPage 2 of 2\n"},
       {0, 54}},
      {"case, spacing, quotes, ligatures and a list label differ",
       "Intro\r\xE2\x80\x9C"
       "Quoted start\xE2\x80\x9D of the page\rItem offer fine\r",
       {"INTRO\n",
        "\"Quoted  start\" of the page\n1. Item o\xEF\xAC\x80"
        "er \xEF\xAC\x81ne\n"},
       {0, 6}},
      {"a page whose text is nowhere starts where the last seen text ended",
       "One two three.\rFour five six.\r",
       {"One two three.\n", "\n", "Four five six.\n"},
       {0, 15, 15}},
      {"a header line found further on is not taken before the page's own text",
       "Body of page one.\rSecond page text, signed ACME Letters Ltd.\r",
       {"Body of page one.\n", "ACME Letters Ltd\nSecond page text, signed\nACME Letters Ltd.\n"},
       {0, 18}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(docx::MatchPageStarts(c.story, c.pages), c.starts) << c.what;
}

TEST(PageLayout, a_layout_gives_the_pages_and_edits_keep_them_in_place) {
  testing_support::TempDir dir;
  // Two records of a merge: their new-page breaks are explicit marks.
  const std::string path = dir.file("merge.docx");
  fixture::Write(path, fixture::Merge({{"Alpha one", "Alpha two", "Alpha three"},
                                       {"\xE2\x80\x9C"
                                        "Beta one"}}));
  auto doc = docx::Document::Open(path);
  ASSERT_EQ(doc->PageCount(), 2);
  const int beta = doc->SectionRange(2).first;
  const int alphaTwo = doc->ParagraphRange(2).first;
  EXPECT_FALSE(doc->HasRenderedPageBreaks());
  EXPECT_FALSE(doc->MayFlowOverPages());
  // The layout breaks the first record before "Alpha two"; its start of the
  // second record, found at the "B" after the opening quote, is pinned to the
  // section's start; one a letter further on is not.
  doc->SetLayoutPageStarts({0, alphaTwo, beta + 1});
  EXPECT_EQ(doc->PageCount(), 3);
  EXPECT_EQ(doc->PageStart(2), alphaTwo);
  EXPECT_EQ(doc->PageStart(3), beta);
  doc->SetLayoutPageStarts({0, alphaTwo, beta + 2});
  EXPECT_EQ(doc->PageStart(3), beta + 2);
  doc->SetLayoutPageStarts({0, alphaTwo, beta + 1});
  // Deleting "Alpha one" moves the later starts with the text.
  doc->Delete(0, alphaTwo);
  EXPECT_EQ(doc->Text(doc->PageStart(2), doc->PageStart(2) + 4), "Alph");
  EXPECT_EQ(doc->PageStart(3), doc->SectionRange(2).first);
}

}  // namespace
