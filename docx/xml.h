#pragma once
// pugixml documents of package parts, and the prefixes a part uses for the
// WordprocessingML, relationship and drawing namespaces (Transitional or Strict).

#include <pugixml.hpp>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace docx {

// A parsed part that owns the bytes pugixml parsed in place.
struct XmlPart {
  std::string bytes;
  pugi::xml_document doc;
  // Whether every node of the tree was parsed from `bytes`, so that what the
  // bytes do not hold the tree does not hold either.
  bool allFromBytes = true;
};

// Elements nested deeper than this refuse the part: no document Word writes
// comes near it, and walks over a story recurse once per level.
inline constexpr int kMaxXmlDepth = 1000;

// Parses without DOCTYPE processing (so no external entities are ever looked
// at); a part that is not well-formed gives "<part> is not well-formed XML at
// offset N: ...", and one nested deeper than kMaxXmlDepth is refused.
std::unique_ptr<XmlPart> ParseXml(std::string bytes, const std::string& partName);

// Whether a tree nests nodes more than `limit` levels below `root`.
bool NestsDeeperThan(pugi::xml_node root, int limit);

// Parses a stretch of markup cut from a UTF-8 part (consecutive elements, as
// they stand there) with ParseXml's options, under one wrapper element that
// `doc` then holds; `scratch` keeps the bytes the tree points into. False when
// it is not well-formed or nests more than `depthLeft` levels below the wrapper.
// `depthLeft` kNestingChecked is for markup whose nesting was checked before.
inline constexpr int kNestingChecked = std::numeric_limits<int>::max();
bool ParseElements(std::string_view markup, int depthLeft, std::string& scratch,
                   pugi::xml_document& doc);

// Where the markup that starts at `at` (a '<') ends: after an element with its
// content, a comment, a processing instruction or CDATA. npos when it is none
// of these or is cut off (the parse proper then says what is wrong).
std::size_t MarkupEnd(std::string_view text, std::size_t at);
// Where the tag that starts at `at` (a '<') ends, after its '>' (quoted values
// may hold one); npos when it is cut off.
std::size_t TagEnd(std::string_view text, std::size_t at);
// The name of the tag that starts at `at` (a '<', or "</").
std::string_view TagName(std::string_view text, std::size_t at);

// Calls `visit` on every element of a subtree, its root included, in document
// order, without recursing (a part may nest deeply).
template <typename Visit>
void ForEachElement(pugi::xml_node top, Visit&& visit) {
  for (pugi::xml_node node = top; node;) {
    if (node.type() == pugi::node_element) visit(node);
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != top && !node.next_sibling()) node = node.parent();
    if (!node || node == top) break;
    node = node.next_sibling();
  }
}

// Serialises a document as UTF-8 with the declaration Word writes.
std::string SerialiseXml(const pugi::xml_document& doc);

// The local part of a qualified name ("w:p" -> "p").
const char* LocalName(const char* qualified);

// Qualified names of the vocabulary, spelled with the prefixes one part declares.
struct Names {
  std::string w, r, wp;  // prefixes with their colon ("w:"), or "" for a default namespace
  bool strict = false;

  static Names Of(pugi::xml_node root);
  std::string W(const char* local) const { return w + local; }

  // Frequently compared tags and attributes.
  std::string p, run, t, tab, br, cr, pPr, rPr, sectPr, tbl, tr, tc, sdt, sdtContent, del, ins,
      moveFrom, moveTo, delText, instrText, fldChar, fldSimple, hyperlink, smartTag, customXml,
      bookmarkStart, bookmarkEnd, headerReference, footerReference, type, val, id, typeAttr,
      fldCharType, pageBreakBefore, lastRenderedPageBreak, body, noBreakHyphen, softHyphen, sym,
      charAttr, background, docPr, footnoteReference, endnoteReference, commentReference,
      commentRangeStart, commentRangeEnd, rId, pgSz, orientAttr, titlePg, ptab, drawing, pict,
      object, bdo, dir;

 private:
  void Fill();
};

// Whether a node's name is the given tag. Walks over a whole story compare
// names millions of times: strcmp stops at the first differing character and
// never measures the node's name first.
inline bool Is(const char* name, const std::string& tag) {
  return std::strcmp(name, tag.c_str()) == 0;
}

// Text made safe for XML content and attribute values.
std::string EscapeXml(std::string_view text);

extern const char* const kNsW;
extern const char* const kNsWStrict;
extern const char* const kNsR;
extern const char* const kNsRStrict;
extern const char* const kNsWp;
extern const char* const kNsWpStrict;

}  // namespace docx
