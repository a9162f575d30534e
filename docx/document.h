#pragma once
// Our word processor's document: the main story of a WordprocessingML package
// as Word's automation sees it (characters, paragraphs, sections, pages), the
// edits the splitter makes, copy and paste that keep the source formatting, and
// saving as a valid package.

#include <array>
#include <cstddef>
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
  // Opens a package held in memory; `label` names it in messages.
  static std::shared_ptr<Document> FromBytes(std::string bytes, const std::string& label);
  // A new document: one empty paragraph and default section properties.
  static std::shared_ptr<Document> New();
  ~Document();

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
  // breaks that start a new page and the rendered page breaks Word recorded;
  // or, once a layout's page starts were given, the layout's pages.
  int PageCount();
  // The start of a page from 1; beyond the last page, the last page's start.
  int PageStart(int page);
  // Whether Word recorded the pages it rendered when it saved the document.
  bool HasRenderedPageBreaks();
  // Whether text may flow over a page's end somewhere: a stretch between two
  // explicit page starts long enough to fill a page, or one that holds a
  // picture, shape or object. When not, the explicit marks are the pages.
  bool MayFlowOverPages();
  // The pages a real layout gave (each page's first character, the first 0).
  // Which evidence wins: the layout's pages are the pages, their number and
  // their order; an explicit mark only moves a layout start that lies next to
  // it with no letter or digit between (to the mark itself, as Word places it).
  // Word's rendered marks are not consulted then: a document that has them
  // is not given a layout (HasRenderedPageBreaks). An edit keeps the starts
  // before it, moves the ones after a deletion and drops them on a paste.
  void SetLayoutPageStarts(std::vector<int> starts);
  const std::vector<int>& LayoutPageStarts() const { return layoutStarts_; }
  // Where the pasted content came from: the document copied and the range.
  struct Origin {
    std::weak_ptr<Document> source;
    int start = 0, end = 0;
  };
  const Origin& PastedFrom() const { return origin_; }

  // Puts the range on the clipboard.
  void Copy(int start, int end, Clipboard& clipboard);
  // The clipboard replaces the content; the source formatting is kept.
  void Paste(Clipboard& clipboard);
  // Deletes a range. At the document's end, deleting the final paragraph mark
  // after a section break removes the empty trailing section and keeps the
  // break's section properties as the document's last.
  void Delete(int start, int end);
  // Replaces every match of a plain text ("^b": section breaks); an empty
  // find text finds nothing. True when something was found.
  bool ReplaceAll(const std::string& find, const std::string& replacement);

  // Writes a package of the type the extension names; a temporary file beside
  // the target is renamed into place, so a failed save leaves nothing there.
  // Throws FolderError when the folder refused (full, read-only, gone).
  void SaveAs(const std::string& path);
  // The package SaveAs would write, as bytes (of the type `extension` names).
  std::string Bytes(const std::string& extension = "docx");
  // Does beforehand what saving does to the tree (closing cut fields and
  // bookmarks, numbering ids afresh), so that a later save only writes. Any
  // edit after it is still saved: an edit drops what was done beforehand,
  // and saving does it again.
  void PrepareSave();
  // After PrepareSave, deflates the main part as the save would, on whatever
  // thread calls it (nothing else may use the document meanwhile).
  void PackPrepared();

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

  Document();
  void Adopt(std::unique_ptr<XmlPart> main);
  // Reads the main part's bytes: indexed element by element while nobody
  // edits the document (OpenLazily), else parsed whole.
  void Load(std::string bytes);
  // The body is read in stretches of elements, each parsed, indexed and
  // dropped; the document keeps the bytes, where each body element lies in
  // them, and a copy of each section's properties. False (and nothing kept)
  // for a part that is not plain UTF-8 markup of the usual shape: that one is
  // parsed whole, which also says what is wrong with it.
  bool OpenLazily(std::string& bytes);
  // Before the first edit (or save) of a document opened lazily: the whole
  // tree, parsed from the bytes, as if it had been opened that way.
  void Materialise();
  struct IndexState;
  void EnsureIndex();
  void IndexElement(IndexState& state, pugi::xml_node element);
  // The same for a body element whose paragraphs were walked beforehand:
  // [from, to) of `walked`, moved into the index.
  void IndexWalked(IndexState& state, std::vector<StoryParagraph>& walked, std::size_t from,
                   std::size_t to);
  // The section breaks among the paragraphs from `before` on, all of
  // body element `e`.
  void IndexBreaks(IndexState& state, std::size_t before, int e);
  void FinishIndex(IndexState& state);
  // A copy of section properties of a lazily read body (one per content).
  pugi::xml_node KeepSectPr(IndexState& state, pugi::xml_node sectPr);
  // The node of paragraph `k`, which lies in `element` (its body element).
  pugi::xml_node ParagraphNode(int k, pugi::xml_node element);
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
  // A section break can cut a field or a bookmark in two: each piece keeps
  // its own half whole. A field end or separator without its begin goes, a
  // begin without its end is closed after its result (at the end of the last
  // paragraph), and so is a bookmark that was never closed.
  void CloseCutFieldsAndBookmarks();

  // Gives every VML shape of a pasted body the shape type it names: Word
  // defines a type once, at its first use, so a later section's shapes name
  // a definition that lies outside their range.
  // True when it brought one.
  bool BringShapeTypes(pugi::xml_node body, Document& source);
  // The shape types defined anywhere in this document, by id.
  void EnsureShapeTypes();

  // What one walk over the main part finds for saving it.
  struct SaveScan;
  // Numbers the bookmarks afresh and gives a repeated drawing id a fresh one;
  // the same walk finds what the package must carry along.
  void MakeIdsUnique(SaveScan& scan);
  // The package's bytes; `label` names it in messages.
  std::string PackageBytes(const std::string& label, const std::string& extension);
  // What PrepareSave found, until an edit or a save.
  std::unique_ptr<SaveScan> prepared_;
  void DropPrepared();

  std::shared_ptr<const Package> package_;
  // Opened lazily, main_ is the part without the body's content (its root,
  // background, an empty body); the body's bytes are raw_.
  std::unique_ptr<XmlPart> main_;
  bool lazy_ = false;
  std::string raw_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // per body element: [from, to) in raw_
  pugi::xml_document kept_;  // section properties and shape types copied out of the body
  // The part main_ was before the tree replaced it: a clipboard may name its root.
  std::unique_ptr<XmlPart> retired_;
  Names names_;
  pugi::xml_node body_;

  bool indexed_ = false;
  std::vector<StoryParagraph> paras_;
  std::vector<pugi::xml_node> elems_;
  std::vector<Section> sections_;
  int length_ = 0;
  bool pagesReady_ = false;
  std::vector<int> pageStarts_;
  std::vector<int> layoutStarts_;
  Origin origin_;
  bool shapeTypesReady_ = false;
  std::unordered_map<std::string, pugi::xml_node> shapeTypes_;  // by id, the first of each
  // Known to hold no field character and no bookmark start (a paste whose
  // every node came from markup without either): no cut field or bookmark
  // to close. No edit adds either.
  bool noCutMarks_ = false;
};

}  // namespace docx
