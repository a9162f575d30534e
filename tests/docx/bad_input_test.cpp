// Bad input fails at Documents.Open with a description a user can act on.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>

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
};

std::string Valid(const testing_support::TempDir& dir) {
  const std::string path = dir.file("valid.docx");
  fixture::Write(path, fixture::Merge({{"Dear Ann"}, {"Dear Bob"}}));
  return testing_support::ReadFile(path);
}

// Appends `bytes` bytes of `value`, least significant first, as zip wants them.
void Le(std::string& out, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
}

// What a zip directory claims of its one part, when it lies.
struct Claims {
  bool stored = false;               // the part's bytes as they are, not deflated
  std::int64_t compressedSize = -1;  // -1: the true sizes
  std::int64_t size = -1;
};

// A zip of one part deflated as tightly as the format allows (zlib's best,
// about 1,030 to 1), the way a hostile file would be made; `wrongCrc` stores
// a checksum that does not match the part, `claims` sizes it does not have.
void WriteDeflated(const std::string& path, const std::string& name, const std::string& plain,
                   bool wrongCrc = false, Claims claims = {}) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  std::string packed(deflateBound(&z, plain.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  packed.resize(z.total_out);
  deflateEnd(&z);
  if (claims.stored) packed = plain;
  const auto compressedSize = static_cast<std::uint32_t>(
      claims.compressedSize >= 0 ? claims.compressedSize : std::int64_t(packed.size()));
  const auto size =
      static_cast<std::uint32_t>(claims.size >= 0 ? claims.size : std::int64_t(plain.size()));
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(plain.data()), static_cast<uInt>(plain.size())) ^
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
    // The description names the file, except the XML one, which names its part.
    if (std::string(c.name) != "malformed")
      EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
  }
  if (fs::exists(path)) EXPECT_EQ(testing_support::ReadFile(path), before);
}

std::string WithMain(const std::string& document) {
  return document;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputs,
    ::testing::Values(
        BadInput{"missing", [](const std::string&) {}, "No such file or directory"},
        BadInput{"empty", [](const std::string& p) { testing_support::WriteFile(p, ""); },
                 "is empty"},
        BadInput{"text", [](const std::string& p) { testing_support::WriteFile(p, "hello world"); },
                 "not a zip package"},
        BadInput{"encrypted",
                 [](const std::string& p) {
                   std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
                   ole += std::string(512, '\0');
                   for (char c : std::string("EncryptionInfo")) ole += std::string{c, '\0'};
                   testing_support::WriteFile(p, ole);
                 },
                 "encrypted"},
        BadInput{"legacy",
                 [](const std::string& p) {
                   testing_support::WriteFile(p,
                                              std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                                  std::string(2048, '\0'));
                 },
                 "legacy Word 97-2003 format, which needs LibreOffice or Microsoft Word"},
        BadInput{"truncated",
                 [](const std::string& p) {
                   testing_support::TempDir d;
                   const std::string bytes = Valid(d);
                   testing_support::WriteFile(p, bytes.substr(0, bytes.size() / 2));
                 },
                 "damaged or truncated"},
        BadInput{"no-main-part",
                 [](const std::string& p) {
                   docx::WriteZip(p, {{"[Content_Types].xml", "<Types/>"}, {"other.xml", "<x/>"}});
                 },
                 "has no main document part"},
        BadInput{
            "malformed",
            [](const std::string& p) {
              docx::WriteZip(p, {{"word/document.xml", WithMain("<w:document><w:body><w:p>")}});
            },
            "word/document.xml is not well-formed XML at offset"},
        BadInput{"bomb",
                 [](const std::string& p) {
                   // 200 MiB of one letter deflates to about 200 kilobytes.
                   WriteDeflated(p, "word/document.xml", std::string(200u << 20, 'a'));
                 },
                 "decompression bomb"},
        BadInput{"checksum",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml",
                                 WithMain("<w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                                          "wordprocessingml/2006/main\"><w:body><w:p/>"
                                          "</w:body></w:document>"),
                                 true);
                 },
                 "word/document.xml is damaged (CRC error)"},
        // Tiny files whose directory claims gigabytes: refused from the sizes
        // the file can hold, before anything is allocated from the claim.
        BadInput{"claims-4-gib-compressed",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml", std::string(14000, 'x'), false,
                                 {false, 0xFFFFFFFEll, -1});
                 },
                 "is damaged"},
        BadInput{"stored-claims-1-gib",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml", "<x/>", false, {true, 0, 1ll << 30});
                 },
                 "is stored as it is, but its directory gives it two different sizes"},
        BadInput{"stored-claims-1-gib-twice",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml", "<x/>", false,
                                 {true, (1ll << 30) - 1, (1ll << 30) - 1});
                 },
                 "is damaged"},
        // A local header that disagrees with the directory about its part.
        BadInput{"local-header-disagrees",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml", "<x/>");
                   std::string bytes = testing_support::ReadFile(p);
                   bytes[18] = static_cast<char>(bytes[18] + 1);  // the local compressed size
                   testing_support::WriteFile(p, bytes);
                 },
                 "its zip directory does not match the parts it describes"},
        BadInput{"inflates-past-what-deflate-can",
                 [](const std::string& p) {
                   WriteDeflated(p, "word/document.xml", "<x/>", false, {false, -1, 50ll << 20});
                 },
                 "more than any compressed data can"}),
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
