// The automation interface answered by our own word processor (docx/).

#include "engine/builtin.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "docx/document.h"
#include "docx/errors.h"

namespace engine {

namespace {

// Every call reports failures as automation errors with the word processor's text.
template <typename F>
auto Guard(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const word::AutomationError&) {
    throw;
  } catch (const docx::FolderError& e) {
    throw word::FolderError(e.what(), e.status());
  } catch (const docx::Error& e) {
    throw word::AutomationError(e.what(), e.status());
  } catch (const std::exception& e) {
    throw word::AutomationError(e.what());
  }
}

// Documents closed by a thread other than the one that made them, until
// the thread that made them frees them (when it makes its next document, or
// when the application quits): a piece built beside the thread that saves it
// gives its memory back where it took it, rather than contending for the
// allocator's lock with the next piece being built.
struct Graveyard {
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, std::shared_ptr<docx::Document>>> documents;

  void Bury(std::thread::id maker, std::shared_ptr<docx::Document> doc) {
    std::lock_guard<std::mutex> lock(mutex);
    documents.emplace_back(maker, std::move(doc));
  }
  // Frees the documents `maker` made (all, when it has none), outside the lock.
  void Free(std::optional<std::thread::id> maker) {
    std::vector<std::shared_ptr<docx::Document>> freed;
    {
      std::lock_guard<std::mutex> lock(mutex);
      std::erase_if(documents, [&](auto& entry) {
        if (maker && entry.first != *maker) return false;
        freed.push_back(std::move(entry.second));
        return true;
      });
    }
  }
};

struct DocState {
  std::shared_ptr<docx::Document> doc;
  std::thread::id maker = std::this_thread::get_id();
  std::shared_ptr<Graveyard> graveyard;
  // The application's clipboard, shared by all its documents.
  std::shared_ptr<docx::Clipboard> clipboard;
  int selStart = 0, selEnd = 0;
  // Set by the thread that saves and closes, read by the one adding documents.
  std::atomic<bool> closed{false};
  docx::Document& Doc() {
    if (closed || !doc) throw word::AutomationError("The object has been deleted.");
    return *doc;
  }
  void Clamp() {
    const int length = Doc().StoryLength();
    selStart = std::clamp(selStart, 0, length);
    selEnd = std::clamp(selEnd, selStart, length);
  }
};
using StatePtr = std::shared_ptr<DocState>;

class MainRange : public word::Range {
 public:
  MainRange(StatePtr state, int start, int end)
      : state_(std::move(state)), start_(start), end_(end) {}
  std::string Text() override {
    return Guard([&] { return state_->Doc().Text(start_, end_); });
  }
  void Copy() override {
    Guard([&] { state_->Doc().Copy(start_, end_, *state_->clipboard); });
  }
  void Select() override {
    Guard([&] {
      state_->selStart = start_;
      state_->selEnd = end_;
      state_->Clamp();
    });
  }
  void Delete() override {
    Guard([&] { state_->Doc().Delete(start_, end_); });
  }

 private:
  StatePtr state_;
  int start_, end_;
};

// A header or footer story: its text only (the splitter and the naming read it).
class StoryRange : public word::Range {
 public:
  explicit StoryRange(std::string text) : text_(std::move(text)) {}
  std::string Text() override { return text_; }
  void Copy() override { throw word::AutomationError("This header or footer cannot be copied."); }
  void Select() override {
    throw word::AutomationError("This header or footer cannot be selected.");
  }
  void Delete() override {
    throw word::AutomationError("This header or footer cannot be changed.");
  }

 private:
  std::string text_;
};

class BuiltinReplacement : public word::Replacement {
 public:
  void ClearFormatting() override {}
  void SetText(const std::string& text) override { text_ = text; }
  std::string text_;
};

class BuiltinFind : public word::Find {
 public:
  explicit BuiltinFind(StatePtr state) : state_(std::move(state)) {}
  void ClearFormatting() override {}
  word::Replacement& GetReplacement() override { return replacement_; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetForward(bool) override {}
  void SetWrap(int) override {}
  bool Execute(int replace) override {
    return Guard([&] {
      if (text_.empty()) return false;
      if (replace == word::wdReplaceAll) return state_->Doc().ReplaceAll(text_, replacement_.text_);
      const std::string all = state_->Doc().Text(0, state_->Doc().StoryLength());
      return all.find(text_ == "^b" ? std::string("\f") : text_) != std::string::npos;
    });
  }

 private:
  StatePtr state_;
  std::string text_;
  BuiltinReplacement replacement_;
};

class BuiltinSelection : public word::Selection {
 public:
  explicit BuiltinSelection(StatePtr state) : state_(state), find_(state) {}
  word::Find& GetFind() override { return find_; }
  void MoveEnd(int unit, int count) override {
    Guard([&] {
      if (unit != word::wdCharacter)
        throw word::AutomationError("Only character moves are supported.");
      state_->Clamp();
      state_->selEnd = std::max(state_->selStart, state_->selEnd + count);
      state_->Clamp();
    });
  }
  int CharactersCount() override {
    return Guard([&] {
      state_->Clamp();
      // As in Word, an insertion point counts the character after it.
      return std::max(1, state_->selEnd - state_->selStart);
    });
  }
  void Collapse(int direction) override {
    Guard([&] {
      state_->Clamp();
      if (direction == word::wdCollapseStart) {
        state_->selEnd = state_->selStart;
        return;
      }
      // Never beyond the final paragraph mark.
      const int last = std::max(0, state_->Doc().StoryLength() - 1);
      const int at = std::min(state_->selEnd, last);
      state_->selStart = state_->selEnd = std::max(at, std::min(state_->selStart, at));
    });
  }
  void Delete() override {
    Guard([&] {
      state_->Clamp();
      const int start = state_->selStart;
      const int end = state_->selEnd > start ? state_->selEnd : start + 1;
      state_->Doc().Delete(start, end);
      state_->selEnd = state_->selStart;
      state_->Clamp();
    });
  }
  void GoTo(int what, int which, const std::string& name) override {
    Guard([&] {
      if (what != word::wdGoToPage) throw word::AutomationError("Only pages can be gone to.");
      int page = 1;
      try {
        page = std::stoi(name);
      } catch (const std::exception&) {
        throw word::AutomationError("\"" + name + "\" is not a page number.");
      }
      state_->selStart = state_->selEnd = state_->Doc().PageStart(page);
    });
  }
  void EndKey(int unit, int extend) override {
    Guard([&] {
      const int end = state_->Doc().StoryLength();
      state_->selEnd = end;
      if (extend != word::wdExtend) state_->selStart = end;
      state_->Clamp();
    });
  }
  word::RangePtr GetRange() override {
    return Guard([&] {
      state_->Clamp();
      return std::make_shared<MainRange>(state_, state_->selStart, state_->selEnd);
    });
  }

 private:
  StatePtr state_;
  BuiltinFind find_;
};

class BuiltinSection : public word::Section {
 public:
  BuiltinSection(StatePtr state, int index) : state_(std::move(state)), index_(index) {}
  word::RangePtr GetRange() override {
    return Guard([&] {
      const auto [start, end] = state_->Doc().SectionRange(index_);
      return std::make_shared<MainRange>(state_, start, end);
    });
  }
  word::RangePtr Headers(int index) override { return Story(index, false); }
  word::RangePtr Footers(int index) override { return Story(index, true); }

 private:
  word::RangePtr Story(int index, bool footer) {
    return Guard([&]() -> word::RangePtr {
      if (index != word::wdHeaderFooterPrimary)
        throw word::AutomationError("Only the primary header and footer are available.");
      return std::make_shared<StoryRange>(state_->Doc().HeaderFooterText(index_, footer));
    });
  }
  StatePtr state_;
  int index_;
};

class BuiltinDocument : public word::Document {
 public:
  explicit BuiltinDocument(StatePtr state)
      : state_(state), selection_(std::make_shared<BuiltinSelection>(state)) {}
  int SectionsCount() override {
    return Guard([&] { return state_->Doc().SectionCount(); });
  }
  word::SectionPtr Sections(int index) override {
    return Guard([&] {
      state_->Doc().SectionRange(index);  // refuses an index out of range
      return std::make_shared<BuiltinSection>(state_, index);
    });
  }
  word::SectionPtr SectionsLast() override {
    return Guard(
        [&] { return std::make_shared<BuiltinSection>(state_, state_->Doc().SectionCount()); });
  }
  int ParagraphsCount() override {
    return Guard([&] { return state_->Doc().ParagraphCount(); });
  }
  word::RangePtr Paragraphs(int index) override {
    return Guard([&] {
      const auto [start, end] = state_->Doc().ParagraphRange(index);
      return std::make_shared<MainRange>(state_, start, end);
    });
  }
  word::RangePtr Content() override {
    return Guard(
        [&] { return std::make_shared<MainRange>(state_, 0, state_->Doc().StoryLength()); });
  }
  void ContentPaste() override { Paste(); }
  void ContentPasteAndFormat(int) override { Paste(); }
  word::SelectionPtr ActiveWindowSelection() override {
    return Guard([&]() -> word::SelectionPtr {
      state_->Doc();
      return selection_;
    });
  }
  int PagesCount(int) override {
    return Guard([&] { return state_->Doc().PageCount(); });
  }
  void SaveAs(const std::string& fileName) override {
    Guard([&] { state_->Doc().SaveAs(fileName); });
  }
  void PrepareSave() override {
    try {
      state_->Doc().PrepareSave();
    } catch (...) {
      // the save does it again, and says what is wrong
    }
  }
  void PackPrepared() override {
    try {
      state_->Doc().PackPrepared();
    } catch (...) {
      // likewise
    }
  }
  void Close(std::optional<int>) override {
    // Closing never writes: our documents are saved only by SaveAs.
    state_->closed = true;
    if (state_->graveyard && state_->doc && state_->maker != std::this_thread::get_id())
      state_->graveyard->Bury(state_->maker, std::move(state_->doc));
    state_->doc.reset();
  }
  const StatePtr& state() const { return state_; }
  const word::SelectionPtr& selection() const { return selection_; }

 private:
  void Paste() {
    Guard([&] {
      state_->Doc().Paste(*state_->clipboard);
      state_->selStart = state_->selEnd = 0;
    });
  }
  StatePtr state_;
  word::SelectionPtr selection_;
};

class BuiltinApplication : public word::Application {
 public:
  std::string Name() override { return "Microsoft Word"; }
  std::string Version() override { return "16.0"; }
  void SetDisplayAlerts(bool on) override { displayAlerts_ = on; }
  word::DocumentPtr DocumentsOpen(const std::string& path) override {
    return Guard([&] { return Track(docx::Document::Open(path)); });
  }
  word::DocumentPtr DocumentsAdd() override {
    return Guard([&] { return Track(docx::Document::New()); });
  }
  word::SelectionPtr GetSelection() override {
    for (auto it = documents_.rbegin(); it != documents_.rend(); ++it)
      if (!(*it)->state()->closed) return (*it)->selection();
    throw word::AutomationError("This command is not available because no document is open.");
  }
  void Quit() override {
    for (auto& d : documents_) d->Close(word::wdDoNotSaveChanges);
    documents_.clear();
    graveyard_->Free(std::nullopt);
  }
  // A document's tree is its own, an opened document is only read once it
  // is indexed, and the package parts they share are read only by saving.
  bool AllowsTwoThreads() override { return true; }

 private:
  word::DocumentPtr Track(std::shared_ptr<docx::Document> doc) {
    graveyard_->Free(std::this_thread::get_id());
    auto state = std::make_shared<DocState>();
    state->doc = std::move(doc);
    state->graveyard = graveyard_;
    state->clipboard = clipboard_;
    auto document = std::make_shared<BuiltinDocument>(state);
    std::erase_if(documents_, [](const auto& d) { return d->state()->closed.load(); });
    documents_.push_back(document);
    return document;
  }
  std::vector<std::shared_ptr<BuiltinDocument>> documents_;
  std::shared_ptr<Graveyard> graveyard_ = std::make_shared<Graveyard>();
  // Our own in-process clipboard (never the system's), one per application.
  std::shared_ptr<docx::Clipboard> clipboard_ = std::make_shared<docx::Clipboard>();
  bool displayAlerts_ = true;
};

}  // namespace

word::ApplicationPtr CreateBuiltinApplication() {
  return std::make_shared<BuiltinApplication>();
}

std::shared_ptr<docx::Document> BuiltinDocumentOf(word::Document& document) {
  auto* ours = dynamic_cast<BuiltinDocument*>(&document);
  if (!ours || ours->state()->closed) return nullptr;
  return ours->state()->doc;
}

}  // namespace engine
