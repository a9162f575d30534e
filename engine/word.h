#pragma once
// The word-processor automation interface.
//
// The splitter, the content naming and the availability checks are written
// against these calls only, in the order a real Word needs them, so every
// backend runs the same code: our own word processor (the default), and later
// a LibreOffice bridge or Word itself over COM. Every call may throw
// AutomationError with a description a user can read.
//
// Text follows Word's conventions: UTF-8 here, a paragraph mark is "\r" (13),
// a paragraph that carries a section break ends in "\f" (12) instead, a page
// break is "\f", a line break "\v" (11), a cell end and a row end "\r\a".
// Counts and character moves are in characters (code points), never bytes.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "docx/errors.h"

namespace word {

// The failure's kind travels beside its description (our word processor's
// kinds; another backend gives kOther): callers act on the kind, never on the
// text.
class AutomationError : public std::runtime_error {
 public:
  explicit AutomationError(const std::string& description,
                           docx::Status status = docx::Status::kOther)
      : std::runtime_error(description), status_(status) {}
  docx::Status status() const noexcept { return status_; }

 private:
  docx::Status status_;
};

// A save that the folder refused (full, read-only, gone): every later save
// into that folder would fail the same way.
class FolderError : public AutomationError {
 public:
  using AutomationError::AutomationError;
};

// Constants of the calls, with Word's values.
inline constexpr int wdCharacter = 1;
inline constexpr int wdStory = 6;
inline constexpr int wdExtend = 1;
inline constexpr int wdGoToPage = 1;
inline constexpr int wdGoToNext = 2;
inline constexpr int wdCollapseEnd = 0;
inline constexpr int wdCollapseStart = 1;
inline constexpr int wdFindContinue = 1;
inline constexpr int wdReplaceAll = 2;
inline constexpr int wdFormatOriginalFormatting = 16;
inline constexpr int wdDoNotSaveChanges = 0;
inline constexpr int wdHeaderFooterPrimary = 1;

class Range;
class Selection;
class Section;
class Document;
class Application;
using RangePtr = std::shared_ptr<Range>;
using SelectionPtr = std::shared_ptr<Selection>;
using SectionPtr = std::shared_ptr<Section>;
using DocumentPtr = std::shared_ptr<Document>;
using ApplicationPtr = std::shared_ptr<Application>;

class Range {
 public:
  virtual ~Range() = default;
  virtual std::string Text() = 0;
  // Puts the range on the clipboard (our own, in-process; never the system's).
  virtual void Copy() = 0;
  // The range becomes its document's selection.
  virtual void Select() = 0;
  virtual void Delete() = 0;
};

class Replacement {
 public:
  virtual ~Replacement() = default;
  virtual void ClearFormatting() = 0;
  virtual void SetText(const std::string& text) = 0;
};

class Find {
 public:
  virtual ~Find() = default;
  virtual void ClearFormatting() = 0;
  virtual Replacement& GetReplacement() = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetForward(bool forward) = 0;
  virtual void SetWrap(int wrap) = 0;
  // With replace = wdReplaceAll replaces every match; true when one was found.
  virtual bool Execute(int replace) = 0;
};

class Selection {
 public:
  virtual ~Selection() = default;
  virtual Find& GetFind() = 0;
  // Moves the end by `count` units (characters); negative moves back.
  virtual void MoveEnd(int unit, int count) = 0;
  virtual int CharactersCount() = 0;
  virtual void Collapse(int direction) = 0;
  virtual void Delete() = 0;
  // What = page, Which = next, name = the page number as text: to its start.
  virtual void GoTo(int what, int which, const std::string& name) = 0;
  // Unit = story, Extend = extend: the selection runs on to the story's end.
  virtual void EndKey(int unit, int extend) = 0;
  virtual RangePtr GetRange() = 0;
};

class Section {
 public:
  virtual ~Section() = default;
  virtual RangePtr GetRange() = 0;
  // Index 1 is the primary header or footer (inherited from the previous
  // section when this one has none of its own).
  virtual RangePtr Headers(int index) = 0;
  virtual RangePtr Footers(int index) = 0;
};

class Document {
 public:
  virtual ~Document() = default;
  virtual int SectionsCount() = 0;
  virtual SectionPtr Sections(int index) = 0;  // from 1
  virtual SectionPtr SectionsLast() = 0;
  virtual int ParagraphsCount() = 0;
  virtual RangePtr Paragraphs(int index) = 0;  // the paragraph's range, from 1
  virtual RangePtr Content() = 0;
  // The clipboard replaces the content; PasteAndFormat(16) keeps the source
  // formatting.
  virtual void ContentPaste() = 0;
  virtual void ContentPasteAndFormat(int type) = 0;
  // ActiveWindow.Selection.
  virtual SelectionPtr ActiveWindowSelection() = 0;
  // ActiveWindow.Panes(pane).Pages.Count.
  virtual int PagesCount(int pane) = 0;
  virtual void SaveAs(const std::string& fileName) = 0;
  // Ours, not Word's: does beforehand what a save does to the document before
  // it writes (a save after an edit does it again). It never fails: a
  // failure shows when the document is saved.
  virtual void PrepareSave() {}
  // Ours too: after PrepareSave, packs what the save would pack first (in
  // our word processor, deflates the main part). Safe on another thread
  // while nothing else uses this document; it never fails either.
  virtual void PackPrepared() {}
  // Close, or Close savechanges = 0 (discard).
  virtual void Close(std::optional<int> saveChanges = std::nullopt) = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  virtual std::string Name() = 0;  // "Microsoft Word"
  virtual std::string Version() = 0;
  virtual void SetDisplayAlerts(bool on) = 0;
  virtual DocumentPtr DocumentsOpen(const std::string& path) = 0;
  virtual DocumentPtr DocumentsAdd() = 0;
  // Application.Selection: the active document's selection.
  virtual SelectionPtr GetSelection() = 0;
  virtual void Quit() = 0;
  // Whether a second thread may read an open document, add documents and
  // copy, paste and edit in them while the first saves and closes others.
  // Word's automation may not: only our own word processor says yes.
  virtual bool AllowsTwoThreads() { return false; }
};

// Creates and finds instances; the one place that knows which backend runs.
class Factory {
 public:
  virtual ~Factory() = default;
  // A new, invisible instance; throws AutomationError when none can be had.
  virtual ApplicationPtr CreateApplication() = 0;
  // The running instance; throws AutomationError when there is none.
  virtual ApplicationPtr GetRunningApplication() = 0;
  // The documents the caller works on (the file list's entries), read at every
  // call: a backend that cannot see a running instance by itself looks for a
  // word processor holding one of them open. Others ignore them.
  virtual void SetWatchedDocuments(std::function<std::vector<std::string>()> source) {}
};

// The program's factory (our built-in word processor unless configured otherwise).
Factory& DefaultFactory();

// Number of characters (UTF-8 code points) of a text.
int Length(const std::string& text);

}  // namespace word
