#include "samples/samplegen.h"

#include <gtest/gtest.h>
#include <libdeflate.h>
#include <pugixml.hpp>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "testing.h"

namespace fs = std::filesystem;
namespace sg = samples;
using testing_support::TempDir;

namespace {

const sg::Kind kAllKinds[] = {sg::Kind::kLetters, sg::Kind::kInvoices, sg::Kind::kCertificates,
                              sg::Kind::kBenchmarkLetter};

std::map<std::string, std::string> PartsOf(sg::Kind kind, int records, std::uint64_t seed = 7) {
  sg::Options options;
  options.seed = seed;
  std::map<std::string, std::string> parts;
  for (auto& [name, bytes] : sg::BuildMerge(kind, records, options)) {
    EXPECT_TRUE(parts.emplace(name, bytes).second) << "part written twice: " << name;
  }
  return parts;
}

pugi::xml_document Parse(const std::string& xml, const std::string& name) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_buffer(xml.data(), xml.size());
  EXPECT_TRUE(result) << name << ": " << result.description() << " at offset " << result.offset;
  return doc;
}

// The text of all w:t elements, paragraphs ended by a line break.
std::string BodyText(const pugi::xml_document& document) {
  std::string text;
  for (const auto& p : document.select_nodes("//w:p")) {
    for (const auto& t : p.node().select_nodes(".//w:t")) text += t.node().text().get();
    text += '\n';
  }
  return text;
}

struct Shape {
  int breakParagraphs = 0;  // paragraphs whose properties carry a section break
  bool bodyEndsWithSectPr = false;
  std::vector<pugi::xml_node> sections;  // every w:sectPr, in order
};

Shape ShapeOf(const pugi::xml_document& document) {
  Shape shape;
  const pugi::xml_node body = document.child("w:document").child("w:body");
  for (const auto& s : document.select_nodes("//w:sectPr")) {
    shape.sections.push_back(s.node());
    if (std::strcmp(s.node().parent().name(), "w:pPr") == 0) ++shape.breakParagraphs;
  }
  shape.bodyEndsWithSectPr = std::strcmp(body.last_child().name(), "w:sectPr") == 0;
  return shape;
}

// Our XML parser keeps a bare "&" as text, so well-formedness needs this too.
int BareAmpersands(const std::string& xml) {
  int bare = 0;
  for (std::size_t at = xml.find('&'); at != std::string::npos; at = xml.find('&', at + 1)) {
    const std::string_view rest = std::string_view(xml).substr(at);
    bool entity = false;
    for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#"})
      entity = entity || rest.substr(0, e.size()) == e;
    if (!entity) ++bare;
  }
  return bare;
}

std::string NameOf(sg::Kind kind) {
  return sg::KindName(kind);
}

}  // namespace

TEST(SampleMerge, every_kind_is_a_package_the_checker_accepts) {
  TempDir dir;
  for (sg::Kind kind : kAllKinds) {
    const std::string path = dir.file(NameOf(kind) + ".docx");
    sg::WriteMerge(path, kind, 5);
    bool ok = false;
    const std::string report = testing_support::RunDocxCheck(path, &ok);
    if (report.empty() && testing_support::SharedDir().empty())
      GTEST_SKIP() << "the package checker is not here";
    EXPECT_TRUE(ok) << report;
    EXPECT_EQ(report.find("warning(s)"), std::string::npos) << report;
  }
}

TEST(SampleMerge, each_record_is_one_next_page_section_in_words_merge_shape) {
  for (sg::Kind kind : kAllKinds) {
    for (int records : {1, 2, 9}) {
      SCOPED_TRACE(NameOf(kind) + " with " + std::to_string(records) + " records");
      const auto parts = PartsOf(kind, records);
      const auto document = Parse(parts.at("word/document.xml"), "document.xml");
      const Shape shape = ShapeOf(document);
      EXPECT_EQ(static_cast<int>(shape.sections.size()), records);
      EXPECT_EQ(shape.breakParagraphs, records - 1);
      EXPECT_TRUE(shape.bodyEndsWithSectPr);
      for (const pugi::xml_node& s : shape.sections) {
        EXPECT_STREQ(s.child("w:type").attribute("w:val").value(), "nextPage");
        EXPECT_STREQ(s.child("w:pgNumType").attribute("w:start").value(), "1");
        // All sections share one header and one footer.
        EXPECT_STREQ(s.child("w:headerReference").attribute("r:id").value(), "rId5");
        EXPECT_STREQ(s.child("w:footerReference").attribute("r:id").value(), "rId6");
      }
      EXPECT_EQ(parts.count("word/header1.xml"), 1u);
      EXPECT_EQ(parts.count("word/footer1.xml"), 1u);
      EXPECT_EQ(parts.count("word/header2.xml"), 0u);
    }
  }
}

TEST(SampleMerge, certificates_are_landscape_and_letters_portrait) {
  auto pageOf = [](sg::Kind kind) {
    const auto parts = PartsOf(kind, 2);
    const auto document = Parse(parts.at("word/document.xml"), "document.xml");
    const pugi::xml_node size = ShapeOf(document).sections.back().child("w:pgSz");
    return std::make_tuple(size.attribute("w:w").as_int(), size.attribute("w:h").as_int(),
                           std::string(size.attribute("w:orient").value()));
  };
  const auto [cw, ch, corient] = pageOf(sg::Kind::kCertificates);
  EXPECT_GT(cw, ch);
  EXPECT_EQ(corient, "landscape");
  const auto [lw, lh, lorient] = pageOf(sg::Kind::kLetters);
  EXPECT_LT(lw, lh);
  EXPECT_EQ(lorient, "");
}

TEST(SampleMerge, the_letterhead_shows_the_logo_and_the_footer_counts_pages) {
  const auto parts = PartsOf(sg::Kind::kBenchmarkLetter, 3);
  const auto header = Parse(parts.at("word/header1.xml"), "header1.xml");
  const auto blip = header.select_node("//a:blip").node();
  ASSERT_TRUE(blip);
  EXPECT_STREQ(blip.attribute("r:embed").value(), "rId1");
  EXPECT_NE(parts.at("word/_rels/header1.xml.rels").find("Target=\"media/logo.png\""),
            std::string::npos);
  EXPECT_EQ(parts.at("word/media/logo.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  const auto footer = Parse(parts.at("word/footer1.xml"), "footer1.xml");
  std::string instructions;
  for (const auto& i : footer.select_nodes("//w:instrText")) instructions += i.node().text().get();
  EXPECT_NE(instructions.find("PAGE"), std::string::npos);
  EXPECT_NE(instructions.find("SECTIONPAGES"), std::string::npos);
  EXPECT_NE(BodyText(footer).find("Page 1 of 1"), std::string::npos);

  const auto document = Parse(parts.at("word/document.xml"), "document.xml");
  EXPECT_EQ(document.select_nodes("//w:tbl").size(), 3u);  // one table per record
}

TEST(SampleMerge, every_record_restarts_its_own_numbered_list) {
  const int records = 6;
  const auto parts = PartsOf(sg::Kind::kLetters, records);
  ASSERT_EQ(parts.count("word/numbering.xml"), 1u);
  EXPECT_NE(parts.at("[Content_Types].xml").find("/word/numbering.xml"), std::string::npos);
  const auto numbering = Parse(parts.at("word/numbering.xml"), "numbering.xml");
  std::set<std::string> defined;
  for (const auto& n : numbering.select_nodes("//w:num")) {
    defined.insert(n.node().attribute("w:numId").value());
    EXPECT_STREQ(n.node().select_node(".//w:startOverride").node().attribute("w:val").value(), "1");
  }
  EXPECT_EQ(static_cast<int>(defined.size()), records);

  // Walking the body, list items use the number of the record they sit in.
  const auto document = Parse(parts.at("word/document.xml"), "document.xml");
  int record = 1;
  int items = 0;
  for (const auto& p : document.select_nodes("/w:document/w:body/w:p")) {
    const pugi::xml_node numId = p.node().child("w:pPr").child("w:numPr").child("w:numId");
    if (numId) {
      EXPECT_EQ(numId.attribute("w:val").as_int(), record);
      ++items;
    }
    if (p.node().child("w:pPr").child("w:sectPr")) ++record;
  }
  EXPECT_EQ(items, 3 * records);

  // Certificates have no lists, so they carry no numbering part.
  const auto certificates = PartsOf(sg::Kind::kCertificates, 2);
  EXPECT_EQ(certificates.count("word/numbering.xml"), 0u);
  EXPECT_EQ(certificates.at("[Content_Types].xml").find("numbering"), std::string::npos);
}

TEST(SampleMerge, pictures_in_the_body_have_ids_unique_in_the_package) {
  const auto parts = PartsOf(sg::Kind::kCertificates, 12);
  std::set<std::string> ids;
  int pictures = 0;
  for (const char* name : {"word/document.xml", "word/header1.xml"}) {
    const auto xml = Parse(parts.at(name), name);
    for (const auto& d : xml.select_nodes("//wp:docPr")) {
      ++pictures;
      EXPECT_TRUE(ids.insert(d.node().attribute("id").value()).second)
          << "docPr id " << d.node().attribute("id").value() << " twice";
    }
  }
  EXPECT_EQ(pictures, 13);  // a seal per record and the logo
  EXPECT_EQ(parts.count("word/media/seal.png"), 1u);
}

TEST(SampleMerge, names_with_markup_characters_stay_well_formed_and_readable) {
  // Enough records that the organisations with "&" and "<" turn up.
  const int records = 300;
  const auto records_ = sg::MakeRecords(records, 7);
  const auto parts = PartsOf(sg::Kind::kLetters, records);
  EXPECT_EQ(BareAmpersands(parts.at("word/document.xml")), 0);
  const auto document = Parse(parts.at("word/document.xml"), "document.xml");
  const std::string text = BodyText(document);
  int markup = 0;
  for (const auto& r : records_) {
    if (r.organisation.find_first_of("&<") != std::string::npos ||
        r.lastName.find('\'') != std::string::npos) {
      ++markup;
      EXPECT_NE(text.find(r.organisation + "\n" + r.street), std::string::npos) << r.organisation;
      EXPECT_NE(text.find(r.FullName()), std::string::npos) << r.FullName();
    }
  }
  EXPECT_GT(markup, 0) << "no record with markup characters among " << records;
}

TEST(SampleMerge, the_same_seed_gives_the_same_merge_and_another_seed_another) {
  for (sg::Kind kind : kAllKinds) {
    SCOPED_TRACE(NameOf(kind));
    EXPECT_EQ(PartsOf(kind, 20, 11), PartsOf(kind, 20, 11));
    EXPECT_NE(PartsOf(kind, 20, 11).at("word/document.xml"),
              PartsOf(kind, 20, 12).at("word/document.xml"));
  }
  // A shorter merge is the start of a longer one.
  const auto few = sg::MakeRecords(5, 99);
  const auto many = sg::MakeRecords(200, 99);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(few[i].FullName(), many[i].FullName());
    EXPECT_EQ(few[i].account, many[i].account);
  }
  // ...and the records are not all alike.
  std::set<std::string> names, cities;
  for (const auto& r : many) {
    names.insert(r.FullName());
    cities.insert(r.city);
  }
  EXPECT_GT(names.size(), 150u);
  EXPECT_GT(cities.size(), 10u);
}

TEST(SampleMerge, a_merge_without_records_is_refused_with_a_reason) {
  for (int records : {0, -3}) {
    try {
      sg::BuildMerge(sg::Kind::kLetters, records);
      ADD_FAILURE() << records << " records accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("at least one record"), std::string::npos) << e.what();
    }
  }
}

TEST(SampleMerge, writing_into_a_missing_folder_fails_with_the_path) {
  TempDir dir;
  const std::string path = dir.file("no such folder/merge.docx");
  try {
    sg::WriteMerge(path, sg::Kind::kLetters, 2);
    ADD_FAILURE() << "no failure";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("merge.docx"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(SampleMerge, the_benchmark_letter_of_a_thousand_records_generates) {
  const auto parts = PartsOf(sg::Kind::kBenchmarkLetter, 1000);
  const std::string& xml = parts.at("word/document.xml");
  const auto document = Parse(xml, "document.xml");
  EXPECT_EQ(ShapeOf(document).sections.size(), 1000u);
  EXPECT_EQ(parts.count("word/numbering.xml"), 0u);
}

TEST(SampleMerge, a_real_reader_shows_every_record_in_order) {
  if (!testing_support::HaveSoffice()) GTEST_SKIP() << "LibreOffice is not installed";
  TempDir dir;
  struct Case {
    sg::Kind kind;
    int records;
  };
  for (const Case& c : {Case{sg::Kind::kLetters, 4}, Case{sg::Kind::kInvoices, 3},
                        Case{sg::Kind::kCertificates, 3}}) {
    SCOPED_TRACE(NameOf(c.kind));
    sg::Options options;
    options.seed = 5;
    const std::string path = dir.file(NameOf(c.kind) + ".docx");
    sg::WriteMerge(path, c.kind, c.records, options);
    const std::string txt = testing_support::ConvertWithSoffice(path, "txt", dir.str());
    ASSERT_FALSE(txt.empty()) << "LibreOffice did not convert " << path;
    const std::string text = testing_support::ReadFile(txt);
    std::size_t at = 0;
    for (const auto& r : sg::MakeRecords(c.records, options.seed)) {
      const std::string marker = c.kind == sg::Kind::kCertificates ? r.lastName : r.FullName();
      const std::size_t found = text.find(marker, at);
      ASSERT_NE(found, std::string::npos) << marker << " missing or out of order in:\n" << text;
      at = found + marker.size();
    }
    if (c.kind == sg::Kind::kInvoices) {
      EXPECT_NE(text.find("Total due"), std::string::npos);
    }
  }
}

TEST(Png, encodes_pixels_that_decode_back_with_valid_checksums) {
  sg::Image image{3, 2, {}};
  for (int i = 0; i < 3 * 2 * 4; ++i) image.rgba.push_back(static_cast<std::uint8_t>(i * 11));
  const std::string png = sg::EncodePng(image);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));

  auto u32 = [&](std::size_t at) {
    return (std::uint32_t(std::uint8_t(png[at])) << 24) |
           (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint8_t(png[at + 3]);
  };
  std::vector<std::string> types;
  std::string idat;
  for (std::size_t at = 8; at < png.size();) {
    const std::uint32_t length = u32(at);
    const std::string type = png.substr(at + 4, 4);
    const std::string data = png.substr(at + 8, length);
    const std::uint32_t crc = u32(at + 8 + length);
    const std::string checked = type + data;
    EXPECT_EQ(crc, libdeflate_crc32(0, checked.data(), checked.size())) << type;
    if (type == "IHDR") {
      EXPECT_EQ(u32(at + 8), 3u);
      EXPECT_EQ(u32(at + 12), 2u);
      EXPECT_EQ(data.substr(8, 2), std::string("\x08\x06", 2));  // 8-bit RGBA
    }
    if (type == "IDAT") idat += data;
    types.push_back(type);
    at += 12 + length;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

  std::string raw(2 * (1 + 3 * 4), '\0');
  std::size_t size = 0;
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  ASSERT_NE(inflater, nullptr);
  const libdeflate_result inflated =
      libdeflate_zlib_decompress(inflater, idat.data(), idat.size(), raw.data(), raw.size(), &size);
  libdeflate_free_decompressor(inflater);
  ASSERT_EQ(inflated, LIBDEFLATE_SUCCESS);
  ASSERT_EQ(size, raw.size());
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(raw[y * 13], '\0') << "row " << y << " filter";
    for (int i = 0; i < 12; ++i)
      EXPECT_EQ(std::uint8_t(raw[y * 13 + 1 + i]), image.rgba[y * 12 + i]);
  }
}

TEST(Png, a_size_that_disagrees_with_the_pixels_is_refused) {
  EXPECT_THROW(sg::EncodePng({2, 2, std::vector<std::uint8_t>(15)}), std::invalid_argument);
  EXPECT_THROW(sg::EncodePng({0, 0, {}}), std::invalid_argument);
}

TEST(Png, the_drawn_pictures_are_opaque_where_drawn_and_clear_at_the_corners) {
  for (const sg::Image& image : {sg::LogoImage(), sg::SealImage()}) {
    ASSERT_EQ(image.rgba.size(), static_cast<std::size_t>(image.width) * image.height * 4);
    EXPECT_EQ(image.rgba[3], 0) << "top-left corner is not transparent";
    const std::size_t centre =
        (static_cast<std::size_t>(image.height / 2) * image.width + image.width / 2) * 4;
    EXPECT_EQ(image.rgba[centre + 3], 255) << "centre is not opaque";
  }
}

TEST(ShippedSamples, the_build_puts_the_samples_and_the_help_document_beside_the_program) {
  const fs::path bin = testing_support::BinDir();
  for (const auto& sample : sg::ShippedSamples()) {
    const fs::path path = bin / "Samples" / sample.fileName;
    ASSERT_TRUE(fs::exists(path)) << path;
    bool ok = false;
    const std::string report = testing_support::RunDocxCheck(path.string(), &ok);
    EXPECT_TRUE(ok) << report;
  }
  EXPECT_GE(sg::ShippedSamples().size(), 3u);

  const fs::path help = bin / "Sample Mail Merge Document.doc";
  ASSERT_TRUE(fs::exists(help)) << help;
  const std::string bytes = testing_support::ReadFile(help);
#ifdef _WIN32
  GTEST_SKIP() << "LibreOffice on the build machine made the legacy document, or did not";
#endif
  if (testing_support::HaveSoffice()) {
    // Made by LibreOffice: a Word 97 file is an OLE compound file.
    EXPECT_EQ(bytes.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    TempDir dir;
    const std::string txt = testing_support::ConvertWithSoffice(help.string(), "txt", dir.str());
    ASSERT_FALSE(txt.empty());
    const std::string text = testing_support::ReadFile(txt);
    for (const auto& r : sg::MakeRecords(sg::HelpSample().records, sg::HelpSample().seed))
      EXPECT_NE(text.find(r.Salutation()), std::string::npos) << r.Salutation();
  } else {
    EXPECT_EQ(bytes.substr(0, 2), "PK");
  }
}
