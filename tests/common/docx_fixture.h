#pragma once
// Tiny WordprocessingML packages made from inline XML, for tests.

#include <cstdint>
#include <string>
#include <vector>

namespace fixture {

inline constexpr const char* kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
inline constexpr const char* kR =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* kRelHeader =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
inline constexpr const char* kRelFooter =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
inline constexpr const char* kRelImage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr const char* kRelFootnotes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
inline constexpr const char* kRelNumbering =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering";
inline constexpr const char* kRelHyperlink =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr const char* kCtHeader =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml";
inline constexpr const char* kCtFooter =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml";

struct Relationship {
  std::string id, type, target;
  bool external = false;
};
struct Part {
  std::string name;         // e.g. "word/header1.xml"
  std::string contentType;  // "" for parts covered by a Default (png, rels)
  std::string bytes;
};

struct Package {
  std::string body;  // the inside of <w:body>, the final sectPr included
  std::vector<Relationship> documentRels;
  std::vector<Part> parts;
  // The main part's content type (.docx unless changed: .docm, .dotx, .dotm).
  std::string mainContentType =
      "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
  bool withStyles = true;
};

// A paragraph with one run of text (blanks kept).
std::string P(const std::string& text, const std::string& pPr = "");
// A section's properties: page size/orientation and references, e.g.
// SectPr("nextPage", R"(<w:headerReference w:type="default" r:id="rIdH1"/>)").
std::string SectPr(const std::string& type = "nextPage", const std::string& inner = "",
                   int width = 12240, int height = 15840, bool landscape = false);
// A paragraph that carries a section break (the record's end).
std::string BreakP(const std::string& text, const std::string& sectPr);
// A header or footer part's XML holding the given paragraphs.
std::string HeaderXml(const std::string& paragraphs, bool footer = false);

// A mail-merge result: one section per record, each ending in a paragraph with
// a next-page break; the last record's properties sit at the end of the body.
Package Merge(const std::vector<std::vector<std::string>>& records);

// Writes the package as a zip file.
void Write(const std::string& path, const Package& package);

// What a zip directory claims of its one part, when it lies.
struct Claims {
  bool stored = false;               // the part's bytes as they are, not deflated
  std::int64_t compressedSize = -1;  // -1: the true sizes
  std::int64_t size = -1;
};

// A zip of one part whose deflated data is `packed`, written byte by byte the
// way a hostile file is: `wrongCrc` stores a checksum that does not match the
// part, `claims` sizes it does not have.
void WriteDeflated(const std::string& path, const std::string& name, const std::string& plain,
                   std::string packed, bool wrongCrc = false, Claims claims = {});

}  // namespace fixture
