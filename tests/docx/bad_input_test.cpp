// Bad input fails at Documents.Open with a description a user can act on.

#include <gtest/gtest.h>
#include <libdeflate.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "docx/document.h"
#include "docx/errors.h"
#include "docx/zip_writer.h"
#include "docx_fixture.h"
#include "engine/builtin.h"
#include "testing.h"

namespace {

namespace fs = std::filesystem;

struct BadInput {
  const char* name;
  std::function<void(const std::string& path)> make;
  const char* expected;  // part of the description
  docx::Status status;   // the kind the word processor gives it
};

std::string Valid(const testing_support::TempDir& dir) {
  const std::string path = dir.file("valid.docx");
  fixture::Write(path, fixture::Merge({{"Dear Ann"}, {"Dear Bob"}}));
  return testing_support::ReadFile(path);
}

// Raw deflate of `plain` at libdeflate's strongest level.
std::string Deflate(const std::string& plain) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(12);
  if (compressor == nullptr) throw std::runtime_error("no compressor");
  std::string packed(libdeflate_deflate_compress_bound(compressor, plain.size()), '\0');
  const std::size_t size = libdeflate_deflate_compress(compressor, plain.data(), plain.size(),
                                                       packed.data(), packed.size());
  libdeflate_free_compressor(compressor);
  if (size == 0) throw std::runtime_error("deflate failed");
  packed.resize(size);
  return packed;
}

// `count` (at least one) copies of 'a' deflated as tightly as the format
// allows, the way a hostile file is made: one block with its own codes, where
// a 258-byte copy of the byte before costs two bits (about 1,030 to 1).
std::string DeflatedRun(std::size_t count) {
  std::string out;
  std::uint32_t pending = 0;
  int filled = 0;
  auto bits = [&](std::uint32_t value, int length) {  // header fields: low bit first
    for (int i = 0; i < length; ++i) {
      pending |= ((value >> i) & 1u) << filled;
      if (++filled == 8) {
        out += static_cast<char>(pending);
        pending = 0;
        filled = 0;
      }
    }
  };
  auto code = [&](std::uint32_t value, int length) {  // Huffman codes: high bit first
    for (int i = length - 1; i >= 0; --i) bits((value >> i) & 1u, 1);
  };
  bits(1, 1);   // the last block
  bits(2, 2);   // with codes of its own
  bits(29, 5);  // 286 literal/length code lengths
  bits(0, 5);   // 1 distance code length
  bits(14, 4);  // 18 code-length code lengths, in the format's order
  // 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2 14 1: 18 -> "0", 1 -> "10", 2 -> "11".
  for (std::uint32_t length : {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2})
    bits(length, 3);
  auto zeros = [&](std::uint32_t n) {  // 11 to 138 unused symbols
    code(0, 1);
    bits(n - 11, 7);
  };
  zeros(97);   // 0 to 96
  code(3, 2);  // 'a': 2 bits
  zeros(138);  // 98 to 235
  zeros(20);   // 236 to 255
  code(3, 2);  // end of block: 2 bits
  zeros(28);   // 257 to 284
  code(2, 2);  // length 258: 1 bit
  code(2, 2);  // distance 1: 1 bit
  // Literal/length codes: 258 -> "0", 'a' -> "10", end -> "11"; distance 1 -> "0".
  code(2, 2);
  std::size_t left = count - 1;
  for (; left >= 258; left -= 258) code(0, 2);
  for (; left > 0; --left) code(2, 2);
  code(3, 2);
  if (filled > 0) out += static_cast<char>(pending);
  return out;
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, fail_to_open_with_a_clear_description) {
  const BadInput& c = GetParam();
  testing_support::TempDir dir;
  const std::string path = dir.file(std::string(c.name) + ".docx");
  c.make(path);
  const std::string before = fs::exists(path) ? testing_support::ReadFile(path) : std::string();
  auto app = engine::CreateBuiltinApplication();
  try {
    app->DocumentsOpen(path);
    FAIL() << c.name << " opened";
  } catch (const word::AutomationError& e) {
    EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
    EXPECT_EQ(e.status(), c.status) << "the automation error keeps the kind";
    // The description names the file, except the XML one, which names its part.
    if (std::string(c.name) != "malformed") {
      EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
    }
  }
  try {
    docx::Document::Open(path);
    FAIL() << c.name << " opened";
  } catch (const docx::Error& e) {
    EXPECT_EQ(e.status(), c.status) << e.what();
  }
  if (fs::exists(path)) {
    EXPECT_EQ(testing_support::ReadFile(path), before);
  }
}

std::string WithMain(const std::string& document) {
  return document;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputs,
    ::testing::Values(
        BadInput{"missing", [](const std::string&) {}, "No such file or directory",
                 docx::Status::kCannotOpen},
        BadInput{"empty", [](const std::string& p) { testing_support::WriteFile(p, ""); },
                 "is empty", docx::Status::kEmpty},
        BadInput{"text", [](const std::string& p) { testing_support::WriteFile(p, "hello world"); },
                 "not a zip package", docx::Status::kNotZip},
        BadInput{"encrypted",
                 [](const std::string& p) {
                   std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
                   ole += std::string(512, '\0');
                   for (char c : std::string("EncryptionInfo")) ole += std::string{c, '\0'};
                   testing_support::WriteFile(p, ole);
                 },
                 "encrypted", docx::Status::kEncrypted},
        BadInput{"legacy",
                 [](const std::string& p) {
                   testing_support::WriteFile(p,
                                              std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                                  std::string(2048, '\0'));
                 },
                 "legacy Word 97-2003 format, which needs LibreOffice or Microsoft Word",
                 docx::Status::kLegacyFormat},
        BadInput{"truncated",
                 [](const std::string& p) {
                   testing_support::TempDir d;
                   const std::string bytes = Valid(d);
                   testing_support::WriteFile(p, bytes.substr(0, bytes.size() / 2));
                 },
                 "damaged or truncated", docx::Status::kDamaged},
        BadInput{"no-main-part",
                 [](const std::string& p) {
                   docx::WriteZip(p, {{"[Content_Types].xml", "<Types/>"}, {"other.xml", "<x/>"}});
                 },
                 "has no main document part", docx::Status::kMissingPart},
        BadInput{
            "malformed",
            [](const std::string& p) {
              docx::WriteZip(p, {{"word/document.xml", WithMain("<w:document><w:body><w:p>")}});
            },
            "word/document.xml is not well-formed XML at offset", docx::Status::kMalformedXml},
        BadInput{"bomb",
                 [](const std::string& p) {
                   // 200 MiB of one letter deflates to about 200 kilobytes.
                   const std::string plain(200u << 20, 'a');
                   fixture::WriteDeflated(p, "word/document.xml", plain, DeflatedRun(plain.size()));
                 },
                 "decompression bomb", docx::Status::kTooLarge},
        BadInput{"checksum",
                 [](const std::string& p) {
                   const std::string plain = WithMain(
                       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                       "wordprocessingml/2006/main\"><w:body><w:p/>"
                       "</w:body></w:document>");
                   fixture::WriteDeflated(p, "word/document.xml", plain, Deflate(plain), true);
                 },
                 "word/document.xml is damaged (CRC error)", docx::Status::kDamaged},
        // Long enough to be inflated on a thread of its own.
        BadInput{"checksum-long",
                 [](const std::string& p) {
                   std::string paragraphs;
                   for (int k = 0; k < 300000; ++k) paragraphs += "<w:p/>";
                   const std::string plain = WithMain(
                       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                       "wordprocessingml/2006/main\"><w:body>" +
                       paragraphs + "</w:body></w:document>");
                   fixture::WriteDeflated(p, "word/document.xml", plain, Deflate(plain), true);
                 },
                 "word/document.xml is damaged (CRC error)", docx::Status::kDamaged},
        // Tiny files whose directory claims gigabytes: refused from the sizes
        // the file can hold, before anything is allocated from the claim.
        BadInput{"claims-4-gib-compressed",
                 [](const std::string& p) {
                   const std::string plain(14000, 'x');
                   fixture::WriteDeflated(p, "word/document.xml", plain, Deflate(plain), false,
                                          {false, 0xFFFFFFFEll, -1});
                 },
                 "is damaged", docx::Status::kDamaged},
        BadInput{"stored-claims-1-gib",
                 [](const std::string& p) {
                   fixture::WriteDeflated(p, "word/document.xml", "<x/>", "", false,
                                          {true, 0, 1ll << 30});
                 },
                 "is stored as it is, but its directory gives it two different sizes",
                 docx::Status::kDamaged},
        BadInput{"stored-claims-1-gib-twice",
                 [](const std::string& p) {
                   fixture::WriteDeflated(p, "word/document.xml", "<x/>", "", false,
                                          {true, (1ll << 30) - 1, (1ll << 30) - 1});
                 },
                 "is damaged", docx::Status::kDamaged},
        // A local header that disagrees with the directory about its part.
        BadInput{"local-header-disagrees",
                 [](const std::string& p) {
                   fixture::WriteDeflated(p, "word/document.xml", "<x/>", Deflate("<x/>"));
                   std::string bytes = testing_support::ReadFile(p);
                   bytes[18] = static_cast<char>(bytes[18] + 1);  // the local compressed size
                   testing_support::WriteFile(p, bytes);
                 },
                 "its zip directory does not match the parts it describes", docx::Status::kDamaged},
        BadInput{"inflates-past-what-deflate-can",
                 [](const std::string& p) {
                   fixture::WriteDeflated(p, "word/document.xml", "<x/>", Deflate("<x/>"), false,
                                          {false, -1, 50ll << 20});
                 },
                 "more than any compressed data can", docx::Status::kDamaged}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (auto& ch : name)
        if (ch == '-') ch = '_';
      return name;
    });

TEST(BadInput, an_external_entity_is_never_resolved) {
  testing_support::TempDir dir;
  const std::string secret = dir.file("secret.txt");
  testing_support::WriteFile(secret, "TOP-SECRET");
  docx::WriteZip(
      dir.file("x.docx"),
      {{"word/document.xml",
        "<!DOCTYPE d [<!ENTITY x SYSTEM \"file://" + secret +
            "\">]>"
            R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p><w:r><w:t>a&x;b</w:t></w:r></w:p></w:body></w:document>)"}});
  auto app = engine::CreateBuiltinApplication();
  std::string text;
  try {
    text = app->DocumentsOpen(dir.file("x.docx"))->Content()->Text();
  } catch (const word::AutomationError&) {
    return;  // refusing the file is as safe
  }
  EXPECT_EQ(text.find("TOP-SECRET"), std::string::npos) << text;
}

TEST(BadInput, a_folder_is_not_a_document) {
  testing_support::TempDir dir;
  auto app = engine::CreateBuiltinApplication();
  EXPECT_THROW(app->DocumentsOpen(dir.str()), word::AutomationError);
}

}  // namespace
