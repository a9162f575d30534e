// The package writer: what it writes must read back byte for byte through
// libzip (which checks every checksum), whatever way each entry was stored.

#include <gtest/gtest.h>

#include <zip.h>
#include <string>

#include "docx/errors.h"
#include "docx/zip_archive.h"
#include "testing.h"

namespace {

std::string Xml(std::size_t size) {
  std::string text = "<?xml version=\"1.0\"?><w:body>";
  for (int i = 0; text.size() < size; ++i)
    text += "<w:p><w:r><w:t>Record " + std::to_string(i) + "</w:t></w:r></w:p>";
  return text + "</w:body>";
}

std::string Write(const testing_support::TempDir& dir, const std::string& name,
                  docx::ZipWriter& writer) {
  const std::string path = dir.file(name);
  docx::WriteFileBytes(path, writer.Finish());
  return path;
}

TEST(ZipWriter, PartsReadBackExactlyInOrderWithTheirMethods) {
  testing_support::TempDir dir;
  const std::string big = Xml(20000), tiny = "<Types/>";
  const std::string utf8Name = "word/media/b\xC3\xBCro.xml";
  docx::ZipWriter writer("out.docx");
  writer.Add("word/document.xml", big, true);
  writer.Add("[Content_Types].xml", tiny, true);
  writer.Add("empty.xml", "", true);
  writer.Add(utf8Name, big);
  writer.Add("word/document.xml", big + "<!-- again -->", true);  // replaces in place
  const std::string path = Write(dir, "out.docx", writer);

  docx::ZipReader zip(path, "out.docx");
  ASSERT_EQ(zip.Entries().size(), 4u);
  EXPECT_EQ(zip.Entries()[0].name, "word/document.xml");
  EXPECT_EQ(zip.Entries()[3].name, utf8Name);
  EXPECT_EQ(zip.Read(*zip.Find("word/document.xml")), big + "<!-- again -->");
  EXPECT_EQ(zip.Read(*zip.Find("[Content_Types].xml")), tiny);
  EXPECT_EQ(zip.Read(*zip.Find("empty.xml")), "");
  EXPECT_EQ(zip.Read(*zip.Find(utf8Name)), big);
  EXPECT_EQ(zip.Find("word/document.xml")->method, ZIP_CM_DEFLATE);
  EXPECT_LT(zip.Find("word/document.xml")->compressedSize, big.size() / 4);
  EXPECT_EQ(zip.Find("[Content_Types].xml")->method, ZIP_CM_STORE);
}

TEST(ZipWriter, RawCopiesKeepTheSourceBytesAndReadBack) {
  testing_support::TempDir dir;
  const std::string big = Xml(5000);
  docx::ZipWriter first("first.zip");
  first.Add("styles.xml", big);
  first.Add("tiny.xml", "<a/>", true);  // stored
  const std::string firstPath = Write(dir, "first.zip", first);

  docx::ZipReader source(firstPath, "first.zip");
  docx::ZipWriter second("second.zip");
  for (const auto& entry : source.Entries()) second.CopyRaw(entry.name, source, entry);
  second.Add("added.xml", "<b/>");
  const std::string secondPath = Write(dir, "second.zip", second);

  docx::ZipReader copy(secondPath, "second.zip");
  ASSERT_EQ(copy.Entries().size(), 3u);
  for (const auto& entry : source.Entries()) {
    const auto* copied = copy.Find(entry.name);
    ASSERT_NE(copied, nullptr) << entry.name;
    EXPECT_EQ(copy.Raw(*copied), source.Raw(entry)) << entry.name;
    EXPECT_EQ(copied->crc, entry.crc) << entry.name;
    EXPECT_EQ(copy.Read(*copied), source.Read(entry)) << entry.name;
  }
  EXPECT_EQ(copy.Read(*copy.Find("added.xml")), "<b/>");
}

// A part made in the background keeps the place it was added in, its bytes
// are the same as when added at once, and its failure fails the archive.
TEST(ZipWriter, parts_made_in_the_background_keep_their_place_and_their_failures) {
  testing_support::TempDir dir;
  const std::string big = Xml(20000);
  docx::ZipWriter now("now.docx"), later("later.docx");
  now.Add("word/document.xml", big, true);
  now.Add("word/_rels/document.xml.rels", "<Relationships/>", true);
  later.AddLater(
      "word/document.xml", [&] { return big; }, true);
  later.Add("word/_rels/document.xml.rels", "<Relationships/>", true);
  const std::string laterBytes = later.Finish();
  const std::string nowBytes = now.Finish();
  // The entries' time stamps come from the clock: all but them must agree.
  ASSERT_EQ(laterBytes.size(), nowBytes.size());
  docx::WriteFileBytes(dir.file("later.docx"), laterBytes);
  docx::ZipReader zip(dir.file("later.docx"), "later.docx");
  ASSERT_EQ(zip.Entries().size(), 2u);
  EXPECT_EQ(zip.Entries()[0].name, "word/document.xml");
  EXPECT_EQ(zip.Read(zip.Entries()[0]), big);

  docx::ZipWriter failing("failing.docx");
  failing.AddLater("word/document.xml", []() -> std::string { throw docx::Error("no memory"); });
  failing.Add("word/styles.xml", big);
  EXPECT_THROW(failing.Finish(), docx::Error);
  // Dropped before its Finish, a writer waits for what it still makes.
  {
    docx::ZipWriter dropped("dropped.docx");
    dropped.AddLater("word/document.xml", [&] { return big + big; });
  }
}

TEST(ZipWriter, RefusesAPartWithoutAName) {
  docx::ZipWriter writer("out.docx");
  EXPECT_THROW(writer.Add("", "<a/>"), docx::Error);
}

}  // namespace
