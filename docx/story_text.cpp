#include "docx/story_text.h"

#include <cstdlib>
#include <cstring>

#include "support/text.h"

namespace docx {

int CountChars(const std::string& text) {
  return support::CountChars(text);
}

std::size_t ByteOffset(const std::string& text, int chars) {
  std::size_t i = 0;
  int seen = 0;
  while (i < text.size()) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == chars) return i;
      ++seen;
    }
    ++i;
  }
  return text.size();
}

namespace {

// A symbol's character in UTF-8. A symbol is one character whatever its
// code says: one that names no character (0, a surrogate, past U+10FFFF)
// stands as the replacement character, never as a NUL or broken UTF-8.
std::string Utf8(unsigned long code) {
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

bool IsOff(pugi::xml_node n, const Names& names) {
  const char* v = n.attribute(names.val.c_str()).value();
  return !std::strcmp(v, "0") || !std::strcmp(v, "false") || !std::strcmp(v, "off");
}

}  // namespace

bool StoryWalker::Visible() const {
  for (char f : fields_)
    if (!f) return false;
  return true;
}

void StoryWalker::Emit(const std::string& s, pugi::xml_node node, bool text, StoryParagraph* para,
                       std::vector<TextAtom>* atoms, int& pos) {
  if (!Visible()) return;
  const int chars = CountChars(s);
  if (para) para->text += s;
  if (atoms) atoms->push_back({node, pos, chars, text});
  pos += chars;
}

void StoryWalker::Run(pugi::xml_node run, StoryParagraph* para, std::vector<TextAtom>* atoms,
                      int& pos) {
  for (pugi::xml_node c : run.children()) {
    const char* name = c.name();
    if (Is(name, n_.t)) {
      Emit(c.text().get(), c, true, para, atoms, pos);
    } else if (Is(name, n_.rPr)) {
      continue;  // formatting only
    } else if (Is(name, n_.tab) || Is(name, n_.ptab)) {
      Emit("\t", c, false, para, atoms, pos);
    } else if (Is(name, n_.br)) {
      const char* type = c.attribute(n_.typeAttr.c_str()).value();
      if (!std::strcmp(type, "page")) {
        Emit("\f", c, false, para, atoms, pos);
        if (para && Visible()) para->pageBreaks.push_back(pos);
      } else if (!std::strcmp(type, "column")) {
        Emit("\x0e", c, false, para, atoms, pos);
      } else {
        Emit("\v", c, false, para, atoms, pos);
      }
    } else if (Is(name, n_.cr)) {
      Emit("\v", c, false, para, atoms, pos);
    } else if (Is(name, n_.noBreakHyphen)) {
      Emit("\x1e", c, false, para, atoms, pos);
    } else if (Is(name, n_.softHyphen)) {
      Emit("\x1f", c, false, para, atoms, pos);
    } else if (Is(name, n_.sym)) {
      Emit(Utf8(std::strtoul(c.attribute(n_.charAttr.c_str()).value(), nullptr, 16)), c, false,
           para, atoms, pos);
    } else if (Is(name, n_.fldChar)) {
      const char* type = c.attribute(n_.fldCharType.c_str()).value();
      if (!std::strcmp(type, "begin")) {
        fields_.push_back(0);
      } else if (!std::strcmp(type, "separate")) {
        if (!fields_.empty()) fields_.back() = 1;
      } else if (!std::strcmp(type, "end")) {
        if (!fields_.empty()) fields_.pop_back();
      }
    } else if (Is(name, n_.drawing) || Is(name, n_.pict) || Is(name, n_.object) ||
               std::strstr(name, ":AlternateContent")) {
      // A picture, shape or embedded object stands in the text as character 1,
      // as in Word: a record that holds only a picture is not empty.
      Emit("\x01", c, false, para, atoms, pos);
    } else if (Is(name, n_.footnoteReference) || Is(name, n_.endnoteReference)) {
      Emit("\x02", c, false, para, atoms, pos);  // a note's reference mark, as in Word
    } else if (Is(name, n_.lastRenderedPageBreak)) {
      if (para && Visible()) para->pageBreaks.push_back(pos);
    }
  }
}

// An equation stands in the text by its characters, as in Word: a record
// that holds only a formula is not empty.
void StoryWalker::Math(pugi::xml_node math, StoryParagraph* para, std::vector<TextAtom>* atoms,
                       int& pos) {
  for (pugi::xml_node c : math.children()) {
    if (c.type() != pugi::node_element) continue;
    if (!std::strcmp(LocalName(c.name()), "t"))
      Emit(c.text().get(), c, true, para, atoms, pos);
    else
      Math(c, para, atoms, pos);
  }
}

void StoryWalker::Inline(pugi::xml_node parent, StoryParagraph* para, std::vector<TextAtom>* atoms,
                         int& pos) {
  for (pugi::xml_node c : parent.children()) {
    if (c.type() != pugi::node_element) continue;
    const char* name = c.name();
    if (Is(name, n_.run)) {
      Run(c, para, atoms, pos);
    } else if (Is(name, n_.del) || Is(name, n_.moveFrom) || Is(name, n_.pPr)) {
      continue;
    } else if (Is(name, n_.sdt)) {
      Inline(c.child(n_.sdtContent.c_str()), para, atoms, pos);
    } else if (name[0] == 'm' && (!std::strcmp(LocalName(name), "oMath") ||
                                  !std::strcmp(LocalName(name), "oMathPara"))) {
      Math(c, para, atoms, pos);
    } else if (Is(name, n_.hyperlink) || Is(name, n_.ins) || Is(name, n_.moveTo) ||
               Is(name, n_.smartTag) || Is(name, n_.customXml) || Is(name, n_.fldSimple) ||
               Is(name, n_.bdo) || Is(name, n_.dir)) {
      Inline(c, para, atoms, pos);
    }
  }
}

void StoryWalker::Paragraph(pugi::xml_node p, int elementIndex, bool inTable,
                            std::vector<StoryParagraph>& out) {
  StoryParagraph para;
  para.node = p;
  para.element = elementIndex;
  para.inTable = inTable;
  para.fields = fields_;
  pugi::xml_node pPr = p.child(n_.pPr.c_str());
  if (pPr) {
    pugi::xml_node before = pPr.child(n_.pageBreakBefore.c_str());
    para.pageBreakBefore = before && !IsOff(before, n_);
    para.sectionBreak = !inTable && pPr.child(n_.sectPr.c_str());
  }
  int pos = 0;
  Inline(p, &para, nullptr, pos);
  para.text += para.sectionBreak ? '\f' : '\r';
  para.chars = pos + 1;
  out.push_back(std::move(para));
}

void StoryWalker::Block(pugi::xml_node element, int elementIndex, bool inTable,
                        std::vector<StoryParagraph>& out) {
  const char* name = element.name();
  if (Is(name, n_.p)) {
    Paragraph(element, elementIndex, inTable, out);
  } else if (Is(name, n_.tbl)) {
    auto rows = [&](auto&& self, pugi::xml_node parent) -> void {
      for (pugi::xml_node row : parent.children()) {
        if (Is(row.name(), n_.sdt)) {
          self(self, row.child(n_.sdtContent.c_str()));
          continue;
        }
        if (Is(row.name(), n_.customXml)) {
          self(self, row);
          continue;
        }
        if (!Is(row.name(), n_.tr)) continue;
        auto cells = [&](auto&& cellsSelf, pugi::xml_node cparent) -> void {
          for (pugi::xml_node cell : cparent.children()) {
            if (Is(cell.name(), n_.sdt)) {
              cellsSelf(cellsSelf, cell.child(n_.sdtContent.c_str()));
              continue;
            }
            if (Is(cell.name(), n_.customXml)) {
              cellsSelf(cellsSelf, cell);
              continue;
            }
            if (!Is(cell.name(), n_.tc)) continue;
            const std::size_t before = out.size();
            for (pugi::xml_node b : cell.children()) Block(b, elementIndex, true, out);
            if (out.size() > before) {
              out.back().text += '\a';
              out.back().chars += 1;
            }
          }
        };
        cells(cells, row);
        StoryParagraph end;
        end.node = row;
        end.element = elementIndex;
        end.rowEnd = true;
        end.inTable = true;
        end.text = "\r\a";
        end.chars = 2;
        end.fields = fields_;
        out.push_back(std::move(end));
      }
    };
    rows(rows, element);
  } else if (Is(name, n_.sdt)) {
    for (pugi::xml_node b : element.child(n_.sdtContent.c_str()).children())
      Block(b, elementIndex, inTable, out);
  } else if (Is(name, n_.customXml) || Is(name, n_.ins) || Is(name, n_.moveTo)) {
    for (pugi::xml_node b : element.children()) Block(b, elementIndex, inTable, out);
  }
}

std::vector<TextAtom> StoryWalker::Atoms(pugi::xml_node paragraph, std::vector<char> fields) {
  fields_ = std::move(fields);
  std::vector<TextAtom> atoms;
  int pos = 0;
  Inline(paragraph, nullptr, &atoms, pos);
  return atoms;
}

std::string PartStoryText(pugi::xml_node root) {
  const Names names = Names::Of(root);
  StoryWalker walker(names);
  std::vector<StoryParagraph> paras;
  for (pugi::xml_node b : root.children()) walker.Block(b, 0, false, paras);
  std::string text;
  for (const auto& p : paras) text += p.text;
  return text;
}

}  // namespace docx
