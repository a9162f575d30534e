#pragma once
// The text of a story (the main story, a header, a footer) with Word's
// conventions: paragraph mark "\r", a paragraph carrying a section break "\f",
// page break "\f", line break "\v", tab "\t", cell and row end "\r\a"; field
// results, not field codes; deleted revisions left out.

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "docx/xml.h"

namespace docx {

// One paragraph of a story, or the end mark of a table row.
struct StoryParagraph {
  pugi::xml_node node;  // w:p, or w:tr for a row end
  std::string text;     // including its mark
  int start = 0;        // in characters from the story's start
  int chars = 0;
  int element = -1;  // index of the body-level element that holds it
  bool rowEnd = false;
  bool inTable = false;
  bool sectionBreak = false;  // a body-level paragraph that carries a sectPr
  bool pageBreakBefore = false;
  std::vector<int> pageBreaks;  // offsets inside the paragraph where a new page begins
  bool renderedBreak = false;   // one of them is a page break Word rendered when it saved
  std::vector<char> fields;     // the open complex fields at the paragraph's start
  int MarkLength() const { return rowEnd ? 2 : (!text.empty() && text.back() == '\a' ? 2 : 1); }
};

// A piece of a paragraph's text that can be edited: the text of a w:t, or a
// single element (tab, break) that stands for one character.
struct TextAtom {
  pugi::xml_node node;
  int start = 0;
  int chars = 0;
  bool text = false;
};

class StoryWalker {
 public:
  explicit StoryWalker(const Names& names) : n_(names) {}
  // Appends the paragraphs inside one block-level element (w:p, w:tbl, w:sdt...).
  void Block(pugi::xml_node element, int elementIndex, bool inTable,
             std::vector<StoryParagraph>& out);
  // The editable pieces of one paragraph's text, given the fields open at its start.
  std::vector<TextAtom> Atoms(pugi::xml_node paragraph, std::vector<char> fields);
  // The complex fields open after the paragraphs walked so far; a walk of
  // what follows them goes on from there.
  const std::vector<char>& OpenFields() const { return fields_; }
  void SetOpenFields(std::vector<char> fields) { fields_ = std::move(fields); }

 private:
  void Paragraph(pugi::xml_node p, int elementIndex, bool inTable,
                 std::vector<StoryParagraph>& out);
  void Inline(pugi::xml_node parent, StoryParagraph* para, std::vector<TextAtom>* atoms, int& pos);
  void Run(pugi::xml_node run, StoryParagraph* para, std::vector<TextAtom>* atoms, int& pos);
  void Math(pugi::xml_node math, StoryParagraph* para, std::vector<TextAtom>* atoms, int& pos);
  void Emit(const std::string& s, pugi::xml_node node, bool text, StoryParagraph* para,
            std::vector<TextAtom>* atoms, int& pos);
  bool Visible() const;

  const Names& n_;
  std::vector<char> fields_;  // per open field: 1 once its result began
};

// The whole text of a header or footer part (its root element).
std::string PartStoryText(pugi::xml_node root);

// Number of characters (code points) of UTF-8 text.
int CountChars(const std::string& text);
// Byte offset of the character at `chars` (clamped to the end).
std::size_t ByteOffset(const std::string& text, int chars);

}  // namespace docx
