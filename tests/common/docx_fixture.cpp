#include "docx_fixture.h"

#include <libdeflate.h>

#include <fstream>

#include "docx/xml.h"
#include "docx/zip_writer.h"

namespace fixture {

namespace {
using docx::EscapeXml;

const char* kStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
    R"(<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii="Liberation Serif" w:hAnsi="Liberation Serif"/>)"
    R"(<w:sz w:val="24"/></w:rPr></w:rPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Heading1"><w:name w:val="heading 1"/><w:basedOn w:val="Normal"/>)"
    R"(<w:rPr><w:b/><w:sz w:val="32"/></w:rPr></w:style>)"
    R"(</w:styles>)";
}  // namespace

std::string P(const std::string& text, const std::string& pPr) {
  std::string xml = "<w:p>";
  if (!pPr.empty()) xml += "<w:pPr>" + pPr + "</w:pPr>";
  if (!text.empty()) xml += R"(<w:r><w:t xml:space="preserve">)" + EscapeXml(text) + "</w:t></w:r>";
  return xml + "</w:p>";
}

std::string SectPr(const std::string& type, const std::string& inner, int width, int height,
                   bool landscape) {
  std::string xml = "<w:sectPr>" + inner;
  if (!type.empty()) xml += R"(<w:type w:val=")" + type + R"("/>)";
  xml += R"(<w:pgSz w:w=")" + std::to_string(width) + R"(" w:h=")" + std::to_string(height) + '"';
  if (landscape) xml += R"( w:orient="landscape")";
  xml +=
      R"(/><w:pgMar w:top="1440" w:right="1440" w:bottom="1440" w:left="1440" w:header="720" w:footer="720" w:gutter="0"/>)";
  return xml + "</w:sectPr>";
}

std::string BreakP(const std::string& text, const std::string& sectPr) {
  std::string xml = "<w:p><w:pPr>" + sectPr + "</w:pPr>";
  if (!text.empty()) xml += R"(<w:r><w:t xml:space="preserve">)" + EscapeXml(text) + "</w:t></w:r>";
  return xml + "</w:p>";
}

std::string HeaderXml(const std::string& paragraphs, bool footer) {
  const std::string tag = footer ? "w:ftr" : "w:hdr";
  return std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") + "<" + tag +
         R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)" +
         paragraphs + "</" + tag + ">";
}

Package Merge(const std::vector<std::vector<std::string>>& records) {
  Package package;
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (const auto& line : records[r]) package.body += P(line);
    if (r + 1 < records.size())
      package.body += BreakP("", SectPr("nextPage"));
    else
      package.body += SectPr("nextPage");
  }
  return package;
}

void Write(const std::string& path, const Package& package) {
  std::string types =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Default Extension="png" ContentType="image/png"/>)"
      R"(<Override PartName="/word/document.xml" ContentType=")" +
      package.mainContentType + R"("/>)";
  if (package.withStyles)
    types +=
        R"(<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>)";
  for (const auto& part : package.parts)
    if (!part.contentType.empty())
      types += R"(<Override PartName="/)" + part.name + R"(" ContentType=")" + part.contentType +
               R"("/>)";
  types += "</Types>";

  const std::string rootRels =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
      R"(</Relationships>)";

  std::string docRels =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
  if (package.withStyles)
    docRels +=
        R"(<Relationship Id="rIdStyles" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)";
  for (const auto& rel : package.documentRels) {
    docRels += R"(<Relationship Id=")" + rel.id + R"(" Type=")" + rel.type + R"(" Target=")" +
               EscapeXml(rel.target) + '"' + (rel.external ? R"( TargetMode="External")" : "") +
               "/>";
  }
  docRels += "</Relationships>";

  const std::string document =
      std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") +
      R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" )"
      R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" )"
      R"(xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" )"
      R"(xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" )"
      R"(xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture">)"
      "<w:body>" +
      package.body + "</w:body></w:document>";

  docx::PartList parts = {{"[Content_Types].xml", types},
                          {"_rels/.rels", rootRels},
                          {"word/document.xml", document},
                          {"word/_rels/document.xml.rels", docRels}};
  if (package.withStyles) parts.push_back({"word/styles.xml", kStyles});
  for (const auto& part : package.parts) parts.push_back({part.name, part.bytes});
  docx::WriteZip(path, parts);
}

namespace {

// Appends `bytes` bytes of `value`, least significant first, as zip wants them.
void Le(std::string& out, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
}

}  // namespace

void WriteDeflated(const std::string& path, const std::string& name, const std::string& plain,
                   std::string packed, bool wrongCrc, Claims claims) {
  if (claims.stored) packed = plain;
  const auto compressedSize = static_cast<std::uint32_t>(
      claims.compressedSize >= 0 ? claims.compressedSize : std::int64_t(packed.size()));
  const auto size =
      static_cast<std::uint32_t>(claims.size >= 0 ? claims.size : std::int64_t(plain.size()));
  const auto crc = static_cast<std::uint32_t>(libdeflate_crc32(0, plain.data(), plain.size()) ^
                                              (wrongCrc ? 1u : 0u));
  auto header = [&](bool central) {
    std::string h;
    Le(h, central ? 0x02014b50 : 0x04034b50, 4);
    if (central) Le(h, 20, 2);
    for (std::uint32_t v : {20u, 0u, claims.stored ? 0u : 8u, 0u, 0x21u})
      Le(h, v, 2);  // version, flags, method, time, date
    Le(h, crc, 4);
    Le(h, compressedSize, 4);
    Le(h, size, 4);
    Le(h, static_cast<std::uint32_t>(name.size()), 2);
    Le(h, 0, 2);
    if (central) {
      for (int k = 0; k < 3; ++k) Le(h, 0, 2);  // comment, disk, internal attributes
      Le(h, 0, 4);                              // external attributes
      Le(h, 0, 4);                              // offset of the local header
    }
    return h + name;
  };
  const std::string local = header(false) + packed;
  const std::string central = header(true);
  std::string end;
  Le(end, 0x06054b50, 4);
  for (std::uint32_t v : {0u, 0u, 1u, 1u}) Le(end, v, 2);
  Le(end, static_cast<std::uint32_t>(central.size()), 4);
  Le(end, static_cast<std::uint32_t>(local.size()), 4);
  Le(end, 0, 2);
  std::ofstream(path, std::ios::binary) << local << central << end;
}

}  // namespace fixture
