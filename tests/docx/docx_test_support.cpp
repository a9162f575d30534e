#include "docx_test_support.h"

#include "docx/document.h"
#include "docx/zip_archive.h"
#include "engine/engine.h"
#include "engine/factory.h"

namespace docx_test {

std::vector<std::string> Entries(const std::string& path) {
  docx::ZipReader zip(path, path);
  std::vector<std::string> names;
  for (const auto& e : zip.Entries()) names.push_back(e.name);
  return names;
}

std::string Entry(const std::string& path, const std::string& name) {
  docx::ZipReader zip(path, path);
  const auto* e = zip.Find(name);
  return e ? zip.Read(*e) : std::string();
}

std::string StoryText(const std::string& path) {
  auto doc = docx::Document::Open(path);
  return doc->Text(0, doc->StoryLength());
}

SplitResult Split(const std::string& input, const std::string& outDir) {
  testing_support::RecordingHost host;
  host.settings.SaveToChosenFolder = true;
  host.settings.SaveToSourceFolder = false;
  host.settings.OutputFolder = outDir;
  engine::BuiltinFactory factory;
  engine::DoItByFile(input, host, factory);
  SplitResult result;
  result.files = testing_support::FilesIn(outDir);
  result.reports = host.reports;
  return result;
}

std::string TinyPng() {
  static const unsigned char png[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
      0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
      0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
      0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
      0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

std::string PictureRun(const std::string& rid, int docPrId) {
  const std::string id = std::to_string(docPrId);
  return R"(<w:r><w:drawing><wp:inline><wp:extent cx="914400" cy="914400"/><wp:docPr id=")" + id +
         R"(" name="Logo )" + id +
         R"("/><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic><pic:nvPicPr><pic:cNvPr id="0" name="logo.png"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed=")" +
         rid +
         R"("/><a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="914400" cy="914400"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r>)";
}

}  // namespace docx_test
