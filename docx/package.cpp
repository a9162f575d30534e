#include "docx/package.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "docx/errors.h"
#include "docx/story_text.h"
#include "support/paths.h"
#include "support/text.h"

namespace docx {

namespace fs = std::filesystem;

namespace {

std::string PercentDecoded(const std::string& text) {
  if (text.find('%') == std::string::npos) return text;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit((unsigned char)text[i + 1]) &&
        std::isxdigit((unsigned char)text[i + 2])) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool Contains(const std::string& haystack, const std::string& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

std::string Utf16(const char* ascii) {
  std::string out;
  for (const char* c = ascii; *c; ++c) {
    out += *c;
    out += '\0';
  }
  return out;
}

// What the first bytes say about a file that is not a package; `whole` gives
// all its bytes ("" when too large to look through).
void RefuseByContent(const std::string& head, const std::function<std::string()>& whole,
                     const std::string& label) {
  if (head.rfind("\xD0\xCF\x11\xE0", 0) == 0) {
    // An OLE compound file: a package encrypted with a password, or Word 97-2003.
    const std::string bytes = whole();
    if (Contains(bytes, Utf16("EncryptionInfo")) || Contains(bytes, Utf16("EncryptedPackage")))
      throw Error(label +
                      " is encrypted (protected by a password). Remove the password in "
                      "Microsoft Word or LibreOffice, save it again and split that copy.",
                  Status::kEncrypted);
    throw Error(label +
                    " is in the legacy Word 97-2003 format, which needs LibreOffice or "
                    "Microsoft Word to open (or it is a document encrypted with a password).",
                Status::kLegacyFormat);
  }
  if (head.size() >= 2 && ((unsigned char)head[0] == 0xDB || (unsigned char)head[0] == 0x9B) &&
      (unsigned char)head[1] == 0xA5)
    throw Error(
        label + " is in a legacy Word format, which needs LibreOffice or Microsoft Word to open.",
        Status::kLegacyFormat);
  if (head.rfind("{\\rtf", 0) == 0)
    throw Error(label +
                    " is a Rich Text Format (RTF) file, which needs LibreOffice or Microsoft "
                    "Word to open.",
                Status::kLegacyFormat);
  if (head.rfind("PK", 0) != 0)
    throw Error(label + " is not a Word document: it is not a zip package.", Status::kNotZip);
}

// The same for a file on disk, which may also be missing, a folder or empty.
void RefuseNonPackage(const std::string& path, const std::string& label) {
  const fs::path file = support::ToFsPath(path);
  std::error_code ec;
  const auto status = fs::status(file, ec);
  if (ec || !fs::exists(status)) {
    const std::error_code why =
        ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory);
    throw Error("Cannot open " + path + ": " + why.message(), Status::kCannotOpen);
  }
  if (fs::is_directory(status))
    throw Error("Cannot open " + path + ": it is a folder, not a document.", Status::kCannotOpen);
  // A pipe would hold the open until something writes to it; a device or a
  // socket is no document either.
  if (!fs::is_regular_file(status))
    throw Error("Cannot open " + path + ": it is not a regular file (a pipe or a device, say).",
                Status::kCannotOpen);
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw Error("Cannot open " + path + ": " + std::system_category().message(errno),
                Status::kCannotOpen);
  const auto size = fs::file_size(file, ec);
  if (!ec && size == 0)
    throw Error(label + " is empty (0 bytes); it is not a Word document.", Status::kEmpty);
  std::string head(8, '\0');
  in.read(head.data(), 8);
  head.resize(static_cast<std::size_t>(in.gcount()));
  RefuseByContent(
      head,
      [&] {
        std::string bytes;
        if (!ec && size < (64u << 20)) {
          in.clear();
          in.seekg(0);
          bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return bytes;
      },
      label);
}

}  // namespace

std::string Relationship::Kind() const {
  const auto slash = type.find_last_of('/');
  return slash == std::string::npos ? type : type.substr(slash + 1);
}

std::string RelsPartName(const std::string& part) {
  if (part.empty()) return "_rels/.rels";
  const auto slash = part.find_last_of('/');
  if (slash == std::string::npos) return "_rels/" + part + ".rels";
  return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

std::string ResolveTarget(const std::string& sourcePart, const std::string& target) {
  std::string t = PercentDecoded(target);
  std::string joined;
  if (!t.empty() && t[0] == '/') {
    joined = t.substr(1);
  } else {
    const auto slash = sourcePart.find_last_of('/');
    joined = (slash == std::string::npos ? std::string() : sourcePart.substr(0, slash + 1)) + t;
  }
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    auto end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string seg = joined.substr(start, end - start);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& s : segments) out += (out.empty() ? "" : "/") + s;
  // A name that would lie outside the package once unpacked names no part.
  return SafePartName(out) ? out : std::string();
}

std::shared_ptr<const Package> Package::Open(const std::string& path) {
  const std::string label = support::FromFsPath(support::ToFsPath(path).filename());
  RefuseNonPackage(path, label);
  std::shared_ptr<Package> package(new Package());
  package->label_ = label;
  package->zip_ = std::make_unique<ZipReader>(path, label);
  package->FindMainPart();
  return package;
}

std::shared_ptr<const Package> Package::FromBytes(std::string bytes, const std::string& label) {
  if (bytes.empty())
    throw Error(label + " is empty (0 bytes); it is not a Word document.", Status::kEmpty);
  RefuseByContent(
      bytes.substr(0, 8), [&] { return bytes; }, label);
  std::shared_ptr<Package> package(new Package());
  package->label_ = label;
  package->zip_ = ZipReader::FromBytes(std::move(bytes), label);
  package->FindMainPart();
  return package;
}

void Package::FindMainPart() {
  LoadContentTypes();
  for (const auto& rel : Rels("")) {
    if (rel.Kind() == "officeDocument" && !rel.external) {
      mainPart_ = rel.part;
      break;
    }
  }
  if (mainPart_.empty() && Has("word/document.xml")) mainPart_ = "word/document.xml";
  if (mainPart_.empty() || !Has(mainPart_))
    throw Error(
        label_ + " has no main document part (word/document.xml); it is not a Word document.",
        Status::kMissingPart);
  const std::string type = ContentTypeOf(mainPart_);
  if (!type.empty() && type.find("wordprocessingml") == std::string::npos &&
      type.find("ms-word") == std::string::npos)
    throw Error(
        label_ + " is not a Word document: its main part is " + mainPart_ + " (" + type + ").",
        Status::kNotWord);
  InflateMainPartBeside();
  CheckCopiedParts();
}

void Package::InflateMainPartBeside() {
  // A short one is inflated sooner than a thread is started.
  constexpr std::uint64_t kWorthIt = std::uint64_t{1} << 20;
  const ZipReader::Entry* entry = zip_->Find(mainPart_);
  if (!entry || entry->size < kWorthIt || !zip_->Deflated(*entry) ||
      std::thread::hardware_concurrency() < 2)
    return;
  try {
    std::string packed = zip_->ReadPacked(*entry);
    mainBytes_ =
        std::async(std::launch::async, [zip = zip_.get(), entry, packed = std::move(packed)] {
          return zip->InflatePacked(packed, *entry);
        });
  } catch (const std::exception&) {
    // A part that cannot be read, or no thread: Read reads it and says why.
  }
}

void Package::CheckCopiedParts() {
  // Pieces copy the parts they take along as the archive holds them. One
  // that fails its checksum would spoil every piece: each part the document
  // reaches is checked here, once (its bytes are kept for the copies), and a
  // damaged one refuses the document at once.
  std::vector<std::string> pending{std::string()};
  std::unordered_set<std::string> seen{std::string()};
  while (!pending.empty()) {
    const std::string part = pending.back();
    pending.pop_back();
    for (const auto& rel : Rels(part)) {
      if (rel.external || rel.part.empty() || !seen.insert(rel.part).second) continue;
      const ZipReader::Entry* entry = zip_->Find(rel.part);
      if (!entry) continue;
      if (rel.part != mainPart_ && !entry->encrypted &&
          (entry->method == ZipReader::kStored || entry->method == ZipReader::kDeflated))
        zip_->Raw(*entry);
      pending.push_back(rel.part);
    }
  }
}

void Package::LoadContentTypes() {
  const ZipReader::Entry* entry = zip_->Find("[Content_Types].xml");
  if (!entry) return;
  auto part = ParseXml(zip_->Read(*entry), "[Content_Types].xml");
  for (pugi::xml_node n : part->doc.document_element().children()) {
    const std::string local = LocalName(n.name());
    if (local == "Default") {
      defaults_.emplace_back(support::AsciiLower(n.attribute("Extension").value()),
                             n.attribute("ContentType").value());
    } else if (local == "Override") {
      std::string name = PercentDecoded(n.attribute("PartName").value());
      if (!name.empty() && name[0] == '/') name.erase(0, 1);
      overrides_[support::AsciiLower(name)] = n.attribute("ContentType").value();
    }
  }
}

std::string Package::Read(const std::string& part) const {
  if (part == mainPart_ && mainBytes_.valid()) return mainBytes_.get();
  const ZipReader::Entry* entry = zip_->Find(part);
  if (!entry) throw Error(label_ + " has no part " + part + ".", Status::kMissingPart);
  return zip_->Read(*entry);
}

std::unique_ptr<XmlPart> Package::Parse(const std::string& part) const {
  return ParseXml(Read(part), part);
}

const std::vector<Relationship>& Package::Rels(const std::string& part) const {
  auto it = rels_.find(part);
  if (it != rels_.end()) return it->second.list;
  RelTable table;
  const std::string name = RelsPartName(part);
  if (const ZipReader::Entry* entry = zip_->Find(name)) {
    auto xml = ParseXml(zip_->Read(*entry), name);
    for (pugi::xml_node n : xml->doc.document_element().children()) {
      if (std::strcmp(LocalName(n.name()), "Relationship") != 0) continue;
      Relationship rel;
      rel.id = n.attribute("Id").value();
      rel.type = n.attribute("Type").value();
      rel.target = n.attribute("Target").value();
      rel.external = !std::strcmp(n.attribute("TargetMode").value(), "External");
      if (!rel.external) rel.part = ResolveTarget(part, rel.target);
      if (table.byId.count(rel.id)) continue;
      table.byId.emplace(rel.id, table.list.size());
      table.list.push_back(std::move(rel));
    }
  }
  return rels_.emplace(part, std::move(table)).first->second.list;
}

const Relationship* Package::RelById(const std::string& part, const std::string& id) const {
  Rels(part);
  const RelTable& table = rels_.at(part);
  auto it = table.byId.find(id);
  return it == table.byId.end() ? nullptr : &table.list[it->second];
}

std::string Package::OverrideOf(const std::string& part) const {
  auto it = overrides_.find(support::AsciiLower(part));
  return it == overrides_.end() ? std::string() : it->second;
}

std::string Package::ContentTypeOf(const std::string& part) const {
  std::string type = OverrideOf(part);
  if (!type.empty()) return type;
  const auto dot = part.find_last_of('.');
  if (dot == std::string::npos) return std::string();
  const std::string ext = support::AsciiLower(part.substr(dot + 1));
  for (const auto& [e, t] : defaults_)
    if (e == ext) return t;
  return std::string();
}

const std::string& Package::StoryText(const std::string& part) const {
  auto it = storyTexts_.find(part);
  if (it != storyTexts_.end()) return it->second;
  std::string text;
  if (Has(part)) {
    auto xml = Parse(part);
    text = PartStoryText(xml->doc.document_element());
  }
  return storyTexts_.emplace(part, std::move(text)).first->second;
}

bool FoundById(const std::string& kind) {
  static const char* const kinds[] = {"header",
                                      "footer",
                                      "image",
                                      "hyperlink",
                                      "oleObject",
                                      "chart",
                                      "package",
                                      "diagramData",
                                      "diagramLayout",
                                      "diagramQuickStyle",
                                      "diagramColors",
                                      "diagramDrawing",
                                      "video",
                                      "audio",
                                      "media",
                                      "control",
                                      "subDocument",
                                      "aFChunk",
                                      "hdphoto",
                                      "chartUserShapes",
                                      "ink"};
  for (const char* k : kinds)
    if (kind == k) return true;
  return false;
}

const XmlPart& Package::Cached(const std::string& part) const {
  auto it = cached_.find(part);
  if (it != cached_.end()) return *it->second;
  return *cached_.emplace(part, Parse(part)).first->second;
}

const std::vector<const Relationship*>& Package::SharedRels(const std::string& part) const {
  auto it = shared_.find(part);
  if (it != shared_.end()) return it->second;
  std::vector<const Relationship*> list;
  for (const auto& rel : Rels(part))
    if (!FoundById(rel.Kind())) list.push_back(&rel);
  return shared_.emplace(part, std::move(list)).first->second;
}

}  // namespace docx
