// Saving a document as a package: the main part as it stands now, and of the
// source package what the content refers to, raw-copied where unchanged.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "docx/document.h"
#include "docx/errors.h"
#include "docx/file_write.h"
#include "docx/zip_archive.h"
#include "support/paths.h"
#include "support/text.h"

namespace docx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRelsNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

std::string MainContentType(const std::string& extension) {
  if (extension == "docm") return "application/vnd.ms-word.document.macroEnabled.main+xml";
  if (extension == "dotx")
    return "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";
  if (extension == "dotm") return "application/vnd.ms-word.template.macroEnabledTemplate.main+xml";
  return "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
}

// A content type for a part whose source named none (so that no part is without one).
std::string GuessContentType(const std::string& extension) {
  static const std::pair<const char*, const char*> known[] = {
      {"png", "image/png"},
      {"jpeg", "image/jpeg"},
      {"jpg", "image/jpeg"},
      {"gif", "image/gif"},
      {"bmp", "image/bmp"},
      {"tif", "image/tiff"},
      {"tiff", "image/tiff"},
      {"emf", "image/x-emf"},
      {"wmf", "image/x-wmf"},
      {"svg", "image/svg+xml"},
      {"xml", "application/xml"},
      {"rels", "application/vnd.openxmlformats-package.relationships+xml"},
      {"bin", "application/vnd.openxmlformats-officedocument.oleObject"}};
  for (const auto& [e, t] : known)
    if (extension == e) return t;
  return "application/octet-stream";
}

std::string ExtensionOf(const std::string& part) {
  const auto slash = part.find_last_of('/');
  const auto dot = part.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return support::AsciiLower(part.substr(dot + 1));
}

bool MacroOnly(const std::string& kind) {
  return kind == "vbaProject" || kind == "keyMapCustomizations" || kind == "wordVbaData" ||
         kind == "vbaData" || kind == "attachedToolbars";
}

std::string RelXml(const Relationship& rel) {
  return "<Relationship Id=\"" + EscapeXml(rel.id) + "\" Type=\"" + EscapeXml(rel.type) +
         "\" Target=\"" + EscapeXml(rel.target) + "\"" +
         (rel.external ? " TargetMode=\"External\"" : "") + "/>";
}

// Whether an attribute name begins with `prefix` ("r:").
inline bool HasPrefix(const char* name, const std::string& prefix) {
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (name[i] != prefix[i]) return false;
  return true;
}

// The relationship ids a part's XML names (attributes in the relationship
// namespace, whose prefix is `prefix`).
void CollectIds(pugi::xml_node root, const std::string& prefix,
                std::unordered_set<std::string>& ids) {
  if (prefix.empty()) return;
  ForEachElement(root, [&](pugi::xml_node n) {
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
      if (HasPrefix(a.name(), prefix)) ids.insert(a.value());
  });
}

// A diagram's data names the drawing it is shown from (dsp:dataModelExt
// relId) by an id among the relationships of the part that holds the diagram,
// not of its own part: without it, a reader lays the diagram out afresh.
void AddDiagramDrawings(const Package& pkg, const std::string& part,
                        std::unordered_set<std::string>& ids) {
  std::vector<std::string> found;
  for (const auto& id : ids) {
    const Relationship* rel = pkg.RelById(part, id);
    if (!rel || rel->external || rel->Kind() != "diagramData" || !pkg.Has(rel->part)) continue;
    const std::string data = pkg.Read(rel->part);
    for (std::size_t at = data.find("dataModelExt"); at != std::string::npos;
         at = data.find("dataModelExt", at + 1)) {
      const std::size_t close = data.find('>', at);
      const std::size_t attr = data.find(" relId=\"", at);
      if (attr == std::string::npos || attr > close) continue;
      const std::size_t value = attr + 8;
      const std::size_t quote = data.find('"', value);
      if (quote != std::string::npos) found.push_back(data.substr(value, quote - value));
    }
  }
  ids.insert(found.begin(), found.end());
}

}  // namespace

namespace {

// Whether `name` is `tag`, which begins with a prefix of `prefix` characters:
// most names differ from it right after the prefix, looked at before any call.
inline bool Named(const char* name, const std::string& tag, std::size_t prefix) {
  for (std::size_t i = 0; i <= prefix; ++i)
    if (name[i] != tag[i]) return false;
  return std::strcmp(name + prefix + 1, tag.c_str() + prefix + 1) == 0;
}

}  // namespace

// Every piece of a merge takes along the same parts, relationships and
// content types: their markup is made once per package, not once per piece.
struct SaveMemo {
  std::unordered_map<const Relationship*, std::string> relXml;
  std::unordered_map<const Relationship*, std::string> kinds;
  std::unordered_map<std::string, Names> names;  // of the parts rewritten per piece
  // "[Content_Types].xml" up to its overrides, and the extensions it covers.
  std::string typesHead;
  std::unordered_set<std::string> defaults;
  std::unordered_map<std::string, std::string> overrides;  // by part: its element, or ""

  const std::string& RelXmlOf(const Relationship& rel) {
    auto [it, fresh] = relXml.try_emplace(&rel);
    if (fresh) it->second = RelXml(rel);
    return it->second;
  }
  const std::string& KindOf(const Relationship& rel) {
    auto [it, fresh] = kinds.try_emplace(&rel);
    if (fresh) it->second = rel.Kind();
    return it->second;
  }
  const Names& NamesOf(const std::string& part, pugi::xml_node root) {
    auto [it, fresh] = names.try_emplace(part);
    if (fresh) it->second = Names::Of(root);
    return it->second;
  }
};

SaveMemo& Package::Memo() const {
  if (!memo_) memo_ = std::make_shared<SaveMemo>();
  return *memo_;
}

// What one walk over the main part finds for saving it: the bookmark marks in
// document order, the drawings, the relationship ids the part names and the
// notes and comments its content refers to (footnotes, endnotes, comments).
struct SavedMainScan {
  std::vector<std::pair<pugi::xml_node, bool>> marks;
  std::vector<pugi::xml_node> drawings;
  std::vector<pugi::xml_node> ends;  // outermost bookmark ends, looked into once kept
  std::unordered_set<std::string> ids;
  std::unordered_set<std::string> noteRefs[3];
};

struct Document::SaveScan : SavedMainScan {
  std::string mainXml;                          // the main part serialised, when done beforehand
  std::optional<ZipWriter::Packed> mainPacked;  // or deflated too (PackPrepared)
};

namespace {

// The main part comes first among a package's entries. A large one is
// deflated beside the rest; handing a piece's few kilobytes to the other
// thread costs more in waking it and waiting for it than deflating them here.
constexpr std::size_t kDeflateBesideFrom = 256 * 1024;

using MainScan = SavedMainScan;

// The note, endnote or comment kind an element refers to, or -1.
int NoteKind(const char* name, const Names& n, std::size_t prefix) {
  if (Named(name, n.footnoteReference, prefix)) return 0;
  if (Named(name, n.endnoteReference, prefix)) return 1;
  if (Named(name, n.commentReference, prefix) || Named(name, n.commentRangeStart, prefix)) return 2;
  return -1;
}

// Relationship ids and note references of one element.
void CollectOne(pugi::xml_node node, const Names& n, std::size_t prefix, MainScan& scan) {
  const int kind = NoteKind(node.name(), n, prefix);
  if (kind >= 0) scan.noteRefs[kind].insert(node.attribute(n.id.c_str()).value());
  if (n.r.empty()) return;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
    if (HasPrefix(a.name(), n.r)) scan.ids.insert(a.value());
}

// The walk, in document order. What lies in a bookmark end is collected only
// once the end is known to stay (an end without its start goes).
void ScanMain(pugi::xml_node root, const Names& n, MainScan& scan) {
  // Tags of the main namespace share its prefix; a drawing's is its own.
  const std::size_t w = n.w.size();
  const std::size_t wp = n.wp.size();
  pugi::xml_node inEnd;  // the outermost bookmark end being walked through
  for (pugi::xml_node node = root.first_child(); node;) {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_element || type == pugi::node_pi) {
      const char* name = node.name();
      if (Named(name, n.bookmarkStart, w)) {
        scan.marks.emplace_back(node, true);
      } else if (Named(name, n.bookmarkEnd, w)) {
        scan.marks.emplace_back(node, false);
        if (!inEnd) {
          inEnd = node;
          scan.ends.push_back(node);
        }
      } else if (Named(name, n.docPr, wp)) {
        scan.drawings.push_back(node);
      }
      if (!inEnd && type == pugi::node_element) CollectOne(node, n, w, scan);
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    // Each node left behind (for its parent or its next sibling) may be the
    // bookmark end being walked through.
    while (node && node != root && !node.next_sibling()) {
      if (node == inEnd) inEnd = pugi::xml_node();
      node = node.parent();
    }
    if (!node || node == root) break;
    if (node == inEnd) inEnd = pugi::xml_node();
    node = node.next_sibling();
  }
}

// Everything in a subtree, the subtree's root included.
void CollectAll(pugi::xml_node top, const Names& n, MainScan& scan) {
  const std::size_t w = n.w.size();
  ForEachElement(top, [&](pugi::xml_node node) { CollectOne(node, n, w, scan); });
}

}  // namespace

void Document::MakeIdsUnique(SaveScan& scan) {
  // One walk finds the bookmark marks (in document order), the drawings and
  // what the package must carry along.
  ScanMain(main_->doc, names_, scan);
  // Bookmarks: numbered afresh in document order; an end meets the latest open
  // start of its old id, and an end whose start is not in this document goes.
  std::unordered_map<std::string, std::vector<int>> open;
  std::vector<pugi::xml_node> dangling;
  int next = 0;
  const std::string idName = names_.id;
  for (auto& [node, isStart] : scan.marks) {
    pugi::xml_attribute id = node.attribute(idName.c_str());
    const std::string old = id.value();
    if (isStart) {
      open[old].push_back(next);
      id.set_value(next++);
    } else {
      auto it = open.find(old);
      if (it == open.end() || it->second.empty()) {
        dangling.push_back(node);
        continue;
      }
      id.set_value(it->second.back());
      it->second.pop_back();
    }
  }
  std::unordered_set<const void*> gone;
  for (pugi::xml_node d : dangling) {
    gone.insert(d.internal_object());
    // An end inside one taken out already went with it.
    bool inGone = false;
    for (pugi::xml_node up = d.parent(); up && !inGone; up = up.parent())
      inGone = gone.count(up.internal_object()) > 0;
    if (!inGone) d.parent().remove_child(d);
  }
  // What the bookmark ends that stay hold (as a rule nothing) is collected now.
  for (pugi::xml_node end : scan.ends)
    if (!gone.count(end.internal_object())) CollectAll(end, names_, scan);
  // Drawing ids: the first use keeps its id, a repeat gets a fresh one.
  long long maxId = 0;
  for (pugi::xml_node d : scan.drawings) maxId = std::max(maxId, d.attribute("id").as_llong());
  std::unordered_set<long long> seen;
  for (pugi::xml_node d : scan.drawings) {
    pugi::xml_attribute id = d.attribute("id");
    if (!id) continue;
    if (!seen.insert(id.as_llong()).second) {
      id.set_value(++maxId);
      seen.insert(maxId);
    }
  }
  if (!dangling.empty()) Invalidate();
}

Document::Document() = default;
Document::~Document() = default;

void Document::DropPrepared() {
  prepared_.reset();
}

void Document::PrepareSave() {
  prepared_.reset();
  Materialise();
  CloseCutFieldsAndBookmarks();
  auto scan = std::make_unique<SaveScan>();
  MakeIdsUnique(*scan);
  scan->mainXml = SerialiseXml(main_->doc);
  prepared_ = std::move(scan);
}

void Document::PackPrepared() {
  if (!prepared_ || prepared_->mainPacked || prepared_->mainXml.empty() ||
      prepared_->mainXml.size() >= kDeflateBesideFrom || !package_)
    return;
  prepared_->mainPacked =
      ZipWriter::Pack(package_->MainPart(), std::move(prepared_->mainXml), true);
}

std::string Document::PackageBytes(const std::string& label, const std::string& extension) {
  // Numbered beforehand (PrepareSave), or now.
  std::unique_ptr<SaveScan> prepared = std::move(prepared_);
  if (!prepared) {
    prepared = std::make_unique<SaveScan>();
    MakeIdsUnique(*prepared);
  }
  SaveScan& scan = *prepared;
  const bool macro = extension == "docm" || extension == "dotm";
  // Pieces are small and many: the fastest deflate level costs little in size.
  struct FastZip : ZipWriter {
    using ZipWriter::ZipWriter;
    void Add(const std::string& name, std::string bytes) {
      ZipWriter::Add(name, std::move(bytes), true);
    }
    void AddLater(const std::string& name, std::function<std::string()> make) {
      ZipWriter::AddLater(name, std::move(make), true);
    }
  } zip(label);
  if (!package_) {
    zip.Add("[Content_Types].xml",
            std::string(kDecl) + "<Types xmlns=\"" + kTypesNs +
                "\"><Default Extension=\"rels\" ContentType=\"application/"
                "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
                "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
                "ContentType=\"" +
                MainContentType(extension) + "\"/></Types>");
    zip.Add("_rels/.rels",
            std::string(kDecl) + "<Relationships xmlns=\"" + kRelsNs +
                "\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                "officeDocument/2006/relationships/officeDocument\" "
                "Target=\"word/document.xml\"/></Relationships>");
    zip.Add("word/document.xml", SerialiseXml(main_->doc));
    return zip.Finish();
  }

  const Package& pkg = *package_;
  SaveMemo& memo = pkg.Memo();
  const std::string mainPart = pkg.MainPart();
  std::vector<std::string> written;  // parts in the order written (content types follow it)
  std::unordered_set<std::string> done;
  std::vector<std::string> pending;

  // Writes the relationships of a rewritten part: what it takes along always,
  // and what its XML names by id.
  auto writeRels = [&](const std::string& part, std::unordered_set<std::string> ids) {
    AddDiagramDrawings(pkg, part, ids);
    std::string xml = std::string(kDecl) + "<Relationships xmlns=\"" + kRelsNs + "\">";
    bool any = false;
    auto add = [&](const Relationship& rel) {
      if (!macro && MacroOnly(memo.KindOf(rel))) return;
      if (!rel.external && !pkg.Has(rel.part)) return;
      xml += memo.RelXmlOf(rel);
      any = true;
      if (!rel.external) pending.push_back(rel.part);
    };
    for (const Relationship* rel : pkg.SharedRels(part)) add(*rel);
    std::vector<std::string> sorted(ids.begin(), ids.end());
    std::sort(sorted.begin(), sorted.end());
    for (const auto& id : sorted)
      if (const Relationship* rel = pkg.RelById(part, id); rel && FoundById(memo.KindOf(*rel)))
        add(*rel);
    xml += "</Relationships>";
    if (any || pkg.Has(RelsPartName(part))) {
      zip.Add(RelsPartName(part), std::move(xml));
      done.insert(RelsPartName(part));
    }
  };

  // The main part comes first among the entries.
  std::string mainXml =
      scan.mainPacked || !scan.mainXml.empty() ? std::move(scan.mainXml) : SerialiseXml(main_->doc);
  if (scan.mainPacked)
    zip.AddPacked(mainPart, std::move(*scan.mainPacked));
  else if (mainXml.size() >= kDeflateBesideFrom)
    zip.AddLater(mainPart, [xml = std::make_shared<std::string>(std::move(mainXml))] {
      return std::move(*xml);
    });
  else
    zip.Add(mainPart, std::move(mainXml));
  done.insert(mainPart);
  written.push_back(mainPart);

  std::unordered_set<std::string>* noteRefs = scan.noteRefs;
  auto writeNotes = [&](const std::string& part, int kind) {
    const XmlPart& source = pkg.Cached(part);
    pugi::xml_node srcRoot = source.doc.document_element();
    const Names& nn = memo.NamesOf(part, srcRoot);
    pugi::xml_document out;
    pugi::xml_node root = out.append_child(srcRoot.name());
    for (pugi::xml_attribute a : srcRoot.attributes()) root.append_copy(a);
    for (pugi::xml_node c : srcRoot.children()) {
      if (c.type() != pugi::node_element) continue;
      const bool special = kind < 2 && c.attribute(nn.typeAttr.c_str());
      if (special || noteRefs[kind].count(c.attribute(nn.id.c_str()).value())) root.append_copy(c);
    }
    zip.Add(part, SerialiseXml(out));
    done.insert(part);
    written.push_back(part);
    std::unordered_set<std::string> ids;
    CollectIds(root, nn.r, ids);
    writeRels(part, std::move(ids));
  };

  // A piece is a finished letter: the settings go without the merge's data
  // source (Word would offer to run its query each time the piece opens), and
  // so do the relationships that only the merge used. Settings without it are
  // copied as they are. False when there was nothing to leave out.
  auto writeSettings = [&](const std::string& part) {
    const XmlPart& source = pkg.Cached(part);
    pugi::xml_node srcRoot = source.doc.document_element();
    const Names& nn = memo.NamesOf(part, srcRoot);
    const std::string mailMerge = nn.W("mailMerge");
    if (!srcRoot.child(mailMerge.c_str())) return false;
    pugi::xml_document out;
    pugi::xml_node root = out.append_copy(srcRoot);
    while (pugi::xml_node m = root.child(mailMerge.c_str())) root.remove_child(m);
    zip.Add(part, SerialiseXml(out));
    done.insert(part);
    written.push_back(part);
    const std::string relsName = RelsPartName(part);
    if (!pkg.Has(relsName)) return true;
    std::string xml = std::string(kDecl) + "<Relationships xmlns=\"" + kRelsNs + "\">";
    for (const auto& rel : pkg.Rels(part)) {
      const std::string& kind = memo.KindOf(rel);
      if (kind == "mailMergeSource" || kind == "mailMergeHeaderSource" || kind == "recipientData")
        continue;
      if (!rel.external && !pkg.Has(rel.part)) continue;
      xml += memo.RelXmlOf(rel);
      if (!rel.external) pending.push_back(rel.part);
    }
    zip.Add(relsName, xml + "</Relationships>");
    done.insert(relsName);
    return true;
  };

  // The main part's relationships.
  writeRels(mainPart, std::move(scan.ids));

  // The package's own relationships, then everything reachable, unchanged.
  if (const ZipReader::Entry* rootRels = pkg.Zip().Find("_rels/.rels")) {
    zip.CopyRaw("_rels/.rels", pkg.Zip(), *rootRels);
    done.insert("_rels/.rels");
  }
  for (const auto& rel : pkg.Rels(""))
    if (!rel.external) pending.push_back(rel.part);
  while (!pending.empty()) {
    const std::string part = pending.back();
    pending.pop_back();
    if (done.count(part)) continue;
    const ZipReader::Entry* entry = pkg.Zip().Find(part);
    if (!entry) continue;
    bool rewritten = false;
    for (const Relationship* rel : pkg.SharedRels(mainPart)) {
      if (rel->external || rel->part != part) continue;
      const std::string& kind = memo.KindOf(*rel);
      if (kind == "footnotes")
        writeNotes(part, 0), rewritten = true;
      else if (kind == "endnotes")
        writeNotes(part, 1), rewritten = true;
      else if (kind == "comments")
        writeNotes(part, 2), rewritten = true;
      else if (kind == "settings")
        rewritten = writeSettings(part);
      break;
    }
    if (rewritten) continue;
    zip.CopyRaw(entry->name, pkg.Zip(), *entry);
    done.insert(part);
    written.push_back(part);
    const std::string relsName = RelsPartName(part);
    if (const ZipReader::Entry* rels = pkg.Zip().Find(relsName)) {
      zip.CopyRaw(rels->name, pkg.Zip(), *rels);
      done.insert(relsName);
      for (const auto& rel : pkg.Rels(part))
        if (!rel.external) pending.push_back(rel.part);
    }
  }

  // Content types: the source's defaults, and an override for every part
  // written that needs one.
  std::unordered_set<std::string>& defaults = memo.defaults;
  if (memo.typesHead.empty()) {
    std::string& head = memo.typesHead;
    head = std::string(kDecl) + "<Types xmlns=\"" + kTypesNs + "\">";
    for (const auto& [ext, type] : pkg.Defaults()) {
      if (!defaults.insert(ext).second) continue;
      head +=
          "<Default Extension=\"" + EscapeXml(ext) + "\" ContentType=\"" + EscapeXml(type) + "\"/>";
    }
    for (const char* ext : {"rels", "xml"}) {
      if (defaults.insert(ext).second)
        head += "<Default Extension=\"" + std::string(ext) + "\" ContentType=\"" +
                GuessContentType(ext) + "\"/>";
    }
  }
  auto overrideOf = [&](const std::string& part, std::string type) {
    if (type.empty()) {
      const std::string ext = ExtensionOf(part);
      if (defaults.count(ext)) return std::string();
      type = GuessContentType(ext);
    }
    return "<Override PartName=\"/" + EscapeXml(part) + "\" ContentType=\"" + EscapeXml(type) +
           "\"/>";
  };
  std::string types = memo.typesHead;
  for (const auto& part : written) {
    if (part == mainPart) {
      types += overrideOf(part, MainContentType(extension));
      continue;
    }
    auto [it, fresh] = memo.overrides.try_emplace(part);
    if (fresh) it->second = overrideOf(part, pkg.OverrideOf(part));
    types += it->second;
  }
  types += "</Types>";
  zip.Add("[Content_Types].xml", std::move(types));
  return zip.Finish();
}

void Document::SaveAs(const std::string& path) {
  const fs::path target = support::ToFsPath(path);
  // A folder in the way, or no folder to write in, is what a failure is
  // then put down to. Looked at only when something failed: a merge's
  // pieces are thousands of saves into the same folder.
  const auto refused = [&] {
    std::error_code ec;
    if (fs::is_directory(target, ec))
      throw Error("Cannot save " + path + ": a folder of that name exists.");
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec))
      throw FolderError("Cannot save " + path + ": the folder " + support::FromFsPath(folder) +
                        " does not exist.");
  };
  std::string extension = support::AsciiLower(support::FromFsPath(target.extension()));
  if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);

  std::string bytes;
  try {
    if (!prepared_) {
      Materialise();
      CloseCutFieldsAndBookmarks();
    }
    try {
      bytes = PackageBytes(support::FromFsPath(target.filename()), extension);
    } catch (const std::exception& e) {
      refused();
      throw Error("Cannot save " + path + ": " + e.what());
    }
    PutFileInPlace(path, bytes);
  } catch (...) {
    refused();
    throw;
  }
}

std::string Document::Bytes(const std::string& extension) {
  if (!prepared_) {
    Materialise();
    CloseCutFieldsAndBookmarks();
  }
  return PackageBytes("the document", extension);
}

}  // namespace docx
