#pragma once
// A WordprocessingML package opened read-only: its parts, relationships and
// content types. The input file is never written.

#include <future>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "docx/xml.h"
#include "docx/zip_archive.h"

namespace docx {

struct Relationship {
  std::string id, type, target;
  bool external = false;
  std::string part;  // the resolved part name (internal targets)
  // The type's last segment ("header", "image"), the same in Transitional and Strict.
  std::string Kind() const;
};

// What saving pieces of one package works out once for all of them (save.cpp).
struct SaveMemo;

class Package {
 public:
  // Opens a .docx/.docm/.dotx/.dotm; throws docx::Error with a clear text for
  // a missing or empty file, an encrypted or legacy document, a file that is
  // no zip or is truncated, and a package without a main document part.
  static std::shared_ptr<const Package> Open(const std::string& path);
  // The same for a package held in memory; `label` names it in messages.
  static std::shared_ptr<const Package> FromBytes(std::string bytes, const std::string& label);

  const std::string& Label() const { return label_; }
  const std::string& MainPart() const { return mainPart_; }
  const ZipReader& Zip() const { return *zip_; }

  bool Has(const std::string& part) const { return zip_->Find(part) != nullptr; }
  std::string Read(const std::string& part) const;
  std::unique_ptr<XmlPart> Parse(const std::string& part) const;

  // The relationships of a part (of the package itself for ""), parsed once.
  const std::vector<Relationship>& Rels(const std::string& part) const;
  const Relationship* RelById(const std::string& part, const std::string& id) const;

  // Content types: defaults by lower-case extension, overrides by part name.
  const std::vector<std::pair<std::string, std::string>>& Defaults() const { return defaults_; }
  std::string OverrideOf(const std::string& part) const;
  std::string ContentTypeOf(const std::string& part) const;

  // The story text of a header or footer part, worked out once.
  const std::string& StoryText(const std::string& part) const;
  // A part parsed once and kept (notes and comments, filtered per piece).
  const XmlPart& Cached(const std::string& part) const;
  // The relationships of a part that every copy of its content takes along
  // (styles, numbering, settings, theme...), as opposed to those its content
  // names by id (headers, images, hyperlinks...).
  const std::vector<const Relationship*>& SharedRels(const std::string& part) const;
  // Kept for as long as the package (defined where pieces are saved).
  SaveMemo& Memo() const;

 private:
  Package() = default;
  void LoadContentTypes();
  void FindMainPart();
  void CheckCopiedParts();
  // Starts inflating the main part beside the check of the parts copied
  // along (on a machine with more than one core); Read takes it once.
  void InflateMainPartBeside();

  std::string label_;
  std::unique_ptr<ZipReader> zip_;
  std::string mainPart_;
  // Ended before the reader it reads from.
  mutable std::future<std::string> mainBytes_;
  std::vector<std::pair<std::string, std::string>> defaults_;
  std::unordered_map<std::string, std::string> overrides_;
  struct RelTable {
    std::vector<Relationship> list;
    std::unordered_map<std::string, std::size_t> byId;
  };
  mutable std::unordered_map<std::string, RelTable> rels_;
  mutable std::unordered_map<std::string, std::string> storyTexts_;
  mutable std::unordered_map<std::string, std::unique_ptr<XmlPart>> cached_;
  mutable std::unordered_map<std::string, std::vector<const Relationship*>> shared_;
  mutable std::shared_ptr<SaveMemo> memo_;
};

// True for relationship kinds that content names by id.
bool FoundById(const std::string& kind);

// "word/_rels/document.xml.rels" for "word/document.xml"; "_rels/.rels" for "".
std::string RelsPartName(const std::string& part);
// A relationship target resolved against its source part; "" for one that is
// no safe part name (SafePartName).
std::string ResolveTarget(const std::string& sourcePart, const std::string& target);

}  // namespace docx
