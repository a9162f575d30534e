#include "docx/xml.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include "docx/errors.h"

namespace docx {

const char* const kNsW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char* const kNsWStrict = "http://purl.oclc.org/ooxml/wordprocessingml/main";
const char* const kNsR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kNsRStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships";
const char* const kNsWp = "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing";
const char* const kNsWpStrict = "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing";

namespace {
constexpr unsigned kParseFlags =
    (pugi::parse_default | pugi::parse_ws_pcdata_single) & ~pugi::parse_doctype;

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};
}  // namespace

std::unique_ptr<XmlPart> ParseXml(std::string bytes, const std::string& partName) {
  auto part = std::make_unique<XmlPart>();
  part->bytes = std::move(bytes);
  if (part->bytes.empty()) part->bytes = " ";
  const pugi::xml_parse_result result = part->doc.load_buffer_inplace(
      part->bytes.data(), part->bytes.size(), kParseFlags, pugi::encoding_auto);
  if (!result) {
    throw Error(partName + " is not well-formed XML at offset " + std::to_string(result.offset) +
                    ": " + result.description(),
                Status::kMalformedXml);
  }
  if (!part->doc.document_element())
    throw Error(partName + " is not well-formed XML at offset 0: no root element",
                Status::kMalformedXml);
  // Walks over a story and pugixml's own removal of a subtree recurse once
  // per level: a part nested past any real document's depth would run them
  // out of stack, so it is refused here, without recursing.
  int depth = 0;
  for (pugi::xml_node n = part->doc.first_child(); n;) {
    if (n.first_child()) {
      n = n.first_child();
      if (++depth > kMaxXmlDepth)
        throw Error(partName + " nests its elements more than " + std::to_string(kMaxXmlDepth) +
                        " levels deep; the document is damaged and cannot be read.",
                    Status::kMalformedXml);
      continue;
    }
    while (n && !n.next_sibling()) {
      n = n.parent();
      --depth;
    }
    if (n) n = n.next_sibling();
  }
  return part;
}

bool NestsDeeperThan(pugi::xml_node root, int limit) {
  int depth = 0;  // of `n` below root, less one
  for (pugi::xml_node n = root.first_child(); n;) {
    if (depth + 1 > limit) return true;
    if (n.first_child()) {
      n = n.first_child();
      ++depth;
      continue;
    }
    while (n && n != root && !n.next_sibling()) {
      n = n.parent();
      --depth;
    }
    if (!n || n == root) break;
    n = n.next_sibling();
  }
  return false;
}

bool ParseElements(std::string_view markup, int depthLeft, std::string& scratch,
                   pugi::xml_document& doc) {
  scratch.clear();
  scratch.reserve(markup.size() + 7);
  scratch += "<x>";
  scratch.append(markup);
  scratch += "</x>";
  doc.reset();
  const pugi::xml_parse_result result =
      doc.load_buffer_inplace(scratch.data(), scratch.size(), kParseFlags, pugi::encoding_utf8);
  // An end tag too many would close the wrapper early: all must lie inside it.
  if (!result || !doc.document_element() || doc.first_child() != doc.last_child()) return false;
  return depthLeft == kNestingChecked || !NestsDeeperThan(doc.document_element(), depthLeft);
}

std::size_t TagEnd(std::string_view text, std::size_t at) {
  // Opening a long body looks at every byte of every tag: one look-up a byte
  // says whether it is one of the three that matter.
  static constexpr auto kStops = [] {
    std::array<bool, 256> stops{};
    stops['>'] = stops['"'] = stops['\''] = true;
    return stops;
  }();
  for (std::size_t i = at + 1; i < text.size();) {
    const char c = text[i];
    if (!kStops[static_cast<unsigned char>(c)]) {
      ++i;
    } else if (c == '>') {
      return i + 1;
    } else {
      const std::size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos) break;
      i = close + 1;
    }
  }
  return std::string_view::npos;
}

std::string_view TagName(std::string_view text, std::size_t at) {
  std::size_t from = at + 1;
  if (from < text.size() && text[from] == '/') ++from;
  std::size_t to = from;
  while (to < text.size() && !std::strchr(" \t\r\n/>", text[to])) ++to;
  return text.substr(std::min(from, text.size()), to - std::min(from, text.size()));
}

std::size_t MarkupEnd(std::string_view text, std::size_t at) {
  constexpr std::size_t kNone = std::string_view::npos;
  const auto past = [&](std::size_t from, std::string_view close) {
    const std::size_t found = text.find(close, from);
    return found == kNone ? kNone : found + close.size();
  };
  const std::string_view rest = text.substr(std::min(at, text.size()));
  if (rest.substr(0, 4) == "<!--") return past(at + 4, "-->");
  if (rest.substr(0, 9) == "<![CDATA[") return past(at + 9, "]]>");
  if (rest.substr(0, 2) == "<?") return past(at + 2, "?>");
  if (rest.size() < 2 || rest[0] != '<' || rest[1] == '!' || rest[1] == '/') return kNone;
  std::size_t depth = 0;
  for (std::size_t i = at; i < text.size();) {
    if (text[i] != '<') {
      i = text.find('<', i);
      if (i == kNone) break;
      continue;
    }
    if (i + 1 >= text.size()) break;
    const char next = text[i + 1];
    if (next == '/') {
      const std::size_t end = text.find('>', i);
      if (end == kNone) break;
      i = end + 1;
      if (--depth == 0) return i;
    } else if (next == '!' || next == '?') {
      const std::size_t end = MarkupEnd(text, i);
      if (end == kNone) break;
      i = end;
    } else {
      const std::size_t end = TagEnd(text, i);
      if (end == kNone) break;
      if (text[end - 2] != '/')
        ++depth;
      else if (depth == 0)
        return end;
      i = end;
    }
  }
  return kNone;
}

std::string SerialiseXml(const pugi::xml_document& doc) {
  StringWriter writer;
  writer.out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
  doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return std::move(writer.out);
}

const char* LocalName(const char* qualified) {
  const char* colon = std::strchr(qualified, ':');
  return colon ? colon + 1 : qualified;
}

Names Names::Of(pugi::xml_node root) {
  Names names;
  names.w = "w:";
  names.r = "r:";
  names.wp = "wp:";
  for (pugi::xml_attribute a : root.attributes()) {
    const char* name = a.name();
    if (std::strncmp(name, "xmlns", 5) != 0) continue;
    std::string prefix = name[5] == ':' ? std::string(name + 6) + ":" : std::string();
    const char* value = a.value();
    if (!std::strcmp(value, kNsW) || !std::strcmp(value, kNsWStrict)) {
      names.w = prefix;
      names.strict = !std::strcmp(value, kNsWStrict);
    } else if (!std::strcmp(value, kNsR) || !std::strcmp(value, kNsRStrict)) {
      names.r = prefix;
    } else if (!std::strcmp(value, kNsWp) || !std::strcmp(value, kNsWpStrict)) {
      names.wp = prefix;
    }
  }
  names.Fill();
  return names;
}

std::string EscapeXml(std::string_view text) {
  if (text.find_first_of("&<>\"") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void Names::Fill() {
  p = W("p");
  run = W("r");
  t = W("t");
  tab = W("tab");
  br = W("br");
  cr = W("cr");
  pPr = W("pPr");
  rPr = W("rPr");
  sectPr = W("sectPr");
  tbl = W("tbl");
  tr = W("tr");
  tc = W("tc");
  sdt = W("sdt");
  sdtContent = W("sdtContent");
  del = W("del");
  ins = W("ins");
  moveFrom = W("moveFrom");
  moveTo = W("moveTo");
  delText = W("delText");
  instrText = W("instrText");
  fldChar = W("fldChar");
  fldSimple = W("fldSimple");
  hyperlink = W("hyperlink");
  smartTag = W("smartTag");
  customXml = W("customXml");
  bookmarkStart = W("bookmarkStart");
  bookmarkEnd = W("bookmarkEnd");
  headerReference = W("headerReference");
  footerReference = W("footerReference");
  type = W("type");
  val = W("val");
  id = W("id");
  typeAttr = W("type");
  fldCharType = W("fldCharType");
  pageBreakBefore = W("pageBreakBefore");
  lastRenderedPageBreak = W("lastRenderedPageBreak");
  body = W("body");
  noBreakHyphen = W("noBreakHyphen");
  softHyphen = W("softHyphen");
  sym = W("sym");
  ptab = W("ptab");
  drawing = W("drawing");
  pict = W("pict");
  object = W("object");
  bdo = W("bdo");
  dir = W("dir");
  charAttr = W("char");
  background = W("background");
  docPr = wp + "docPr";
  footnoteReference = W("footnoteReference");
  endnoteReference = W("endnoteReference");
  commentReference = W("commentReference");
  commentRangeStart = W("commentRangeStart");
  commentRangeEnd = W("commentRangeEnd");
  rId = r + "id";
  pgSz = W("pgSz");
  orientAttr = W("orient");
  titlePg = W("titlePg");
}

}  // namespace docx
