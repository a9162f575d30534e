#pragma once
// Our word processor's document: the main story of a WordprocessingML package
// as Word's automation sees it (characters, paragraphs, sections, pages), the
// edits the splitter makes, copy and paste that keep the source formatting, and
// saving as a valid package.

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "docx/package.h"
#include "docx/story_text.h"
#include "docx/xml.h"

namespace docx {

struct ClipboardContent;

// What Copy puts aside for Paste. It belongs to whoever copies and pastes (the
// application object), never to the process: two applications never see each
// other's copies.
class Clipboard {
 public:
  Clipboard();
  ~Clipboard();
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;

 private:
  friend class Document;
  std::unique_ptr<ClipboardContent> content_;
};

class Document : public std::enable_shared_from_this<Document> {
 public:
  // Opens a package read-only (the file is never written); throws docx::Error.
  static std::shared_ptr<Document> Open(const std::string& path);
  // A new document: one empty paragraph and default section properties.
  static std::shared_ptr<Document> New();

  // Character positions run from 0 to StoryLength(); ranges are [start, end).
  int StoryLength();
  std::string Text(int start, int end);

  int SectionCount();
  // Section `index` from 1, its closing break included.
  std::pair<int, int> SectionRange(int index);
  // The primary header or footer text of a section (inherited when it has none).
  std::string HeaderFooterText(int index, bool footer);

  int ParagraphCount();
  std::pair<int, int> ParagraphRange(int index);  // from 1

  // Pages: boundaries at explicit page breaks, page-break-before, section
  // breaks that start a new page and the rendered page breaks Word recorded.
  int PageCount();
  // The start of a page from 1; beyond the last page, the last page's start.
  int PageStart(int page);

  // Puts the range on the clipboard.
  void Copy(int start, int end, Clipboard& clipboard);
  // The clipboard replaces the content; the source formatting is kept.
  void Paste(const Clipboard& clipboard);
  // Deletes a range. At the document's end, deleting the final paragraph mark
  // after a section break removes the empty trailing section and keeps the
  // break's section properties as the document's last.
  void Delete(int start, int end);
  // Replaces every match of a plain text ("^b": section breaks); an empty
  // find text finds nothing. True when something was found.
  bool ReplaceAll(const std::string& find, const std::string& replacement);

  // Writes a package of the type the extension names; a temporary file beside
  // the target is renamed into place, so a failed save leaves nothing there.
  void SaveAs(const std::string& path);

  const std::shared_ptr<const Package>& package() const { return package_; }

 private:
  friend struct ClipboardContent;
  struct Section {
    int firstPara = 0, lastPara = -1;
    int start = 0, end = 0;
    pugi::xml_node sectPr;
    int firstElem = 0, elemEnd = 0;
    std::array<pugi::xml_node, 6> refs;  // header default/first/even, footer default/first/even
    bool final = false;
  };

  Document() = default;
  void Adopt(std::unique_ptr<XmlPart> main);
  void EnsureIndex();
  void Invalidate() {
    indexed_ = false;
    pagesReady_ = false;
    shapeTypesReady_ = false;
  }
  void DropEmptyFinalSection(int removedElement, bool pageBreakBeforeGone);
  void EnsurePages();
  int ParagraphAt(int pos);
  pugi::xml_node NewDefaultSectPr(pugi::xml_node parent);
  pugi::xml_node EffectiveSectPr(const Section& s, pugi::xml_node into);

  void RemoveParagraph(const StoryParagraph& p, bool isFinal);
  void MergeWithNext(pugi::xml_node p);
  void DeleteText(const StoryParagraph& p, int from, int to);
  void InsertText(const StoryParagraph& p, int at, const std::string& text);
  bool RemoveTrailingEmptySection();
  pugi::xml_node BodySectPr();

  // Gives every VML shape of a pasted body the shape type it names: Word
  // defines a type once, at its first use, so a later section's shapes name
  // a definition that lies outside their range.
  void BringShapeTypes(pugi::xml_node body, Document& source);
  // The shape types defined anywhere in this document, by id.
  void EnsureShapeTypes();

  void MakeIdsUnique();
  void WritePackage(const std::string& tempPath, const std::string& extension);

  std::shared_ptr<const Package> package_;
  std::unique_ptr<XmlPart> main_;
  Names names_;
  pugi::xml_node body_;

  bool indexed_ = false;
  std::vector<StoryParagraph> paras_;
  std::vector<pugi::xml_node> elems_;
  std::vector<Section> sections_;
  int length_ = 0;
  bool pagesReady_ = false;
  std::vector<int> pageStarts_;
  bool shapeTypesReady_ = false;
  std::unordered_map<std::string, pugi::xml_node> shapeTypes_;  // by id, the first of each
};

}  // namespace docx
