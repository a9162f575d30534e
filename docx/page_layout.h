#pragma once
// Page starts from a real layout: the text of each page as a layout program
// printed it (a PDF's text, page by page) matched back to the character
// positions of our main story.

#include <string>
#include <vector>

namespace docx {

// The start of every page in `story` (UTF-8, our story's text), one per page
// of `pages` (each page's text, its lines separated by "\n"); the first is 0.
//
// The pages are matched in order, line by line, on their letters and digits
// only (spacing, punctuation, bullets, case and ligatures differ between a
// layout's text and ours). A page's lines that are not found where the story
// goes on (its header and footer, list labels, a page number) are passed
// over; a page whose lines are found nowhere starts where the previous
// page's text was seen to end. So the result always has one start per page,
// never decreasing.
std::vector<int> MatchPageStarts(const std::string& story, const std::vector<std::string>& pages);

// Whether a text holds a letter or digit as the matching counts them (not
// spacing, punctuation, symbols, pictures).
bool HasLetters(const std::string& text);

}  // namespace docx
