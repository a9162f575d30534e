#include "scripted_word.h"

#include <algorithm>

namespace scripted {

bool Log::Has(const std::string& call) const {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

int Log::Count(const std::string& call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

std::vector<std::string> Log::With(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
  return out;
}

namespace {

struct Context {
  Script& script;
  Log& log;
  std::size_t selectionReads = 0;
  void Call(const std::string& name, const std::string& args = "") {
    log.Add(args.empty() ? name : name + " " + args);
    if (script.failing.count(name)) throw word::AutomationError(name + " was refused");
  }
};

class Range : public word::Range {
 public:
  Range(Context& c, std::string name, std::function<std::string()> text)
      : c_(c), name_(std::move(name)), text_(std::move(text)) {}
  std::string Text() override {
    c_.Call(name_ + ".Text");
    return text_();
  }
  void Copy() override { c_.Call(name_ + ".Copy"); }
  void Select() override { c_.Call(name_ + ".Select"); }
  void Delete() override { c_.Call(name_ + ".Delete"); }

 private:
  Context& c_;
  std::string name_;
  std::function<std::string()> text_;
};

class Replacement : public word::Replacement {
 public:
  explicit Replacement(Context& c) : c_(c) {}
  void ClearFormatting() override { c_.Call("Replacement.ClearFormatting"); }
  void SetText(const std::string& t) override { c_.Call("Replacement.Text", "[" + t + "]"); }

 private:
  Context& c_;
};

class Find : public word::Find {
 public:
  explicit Find(Context& c) : c_(c), replacement_(c) {}
  void ClearFormatting() override { c_.Call("Find.ClearFormatting"); }
  word::Replacement& GetReplacement() override { return replacement_; }
  void SetText(const std::string& t) override { c_.Call("Find.Text", "[" + t + "]"); }
  void SetForward(bool f) override { c_.Call("Find.Forward", f ? "true" : "false"); }
  void SetWrap(int w) override { c_.Call("Find.Wrap", std::to_string(w)); }
  bool Execute(int r) override {
    c_.Call("Find.Execute", std::to_string(r));
    return false;
  }

 private:
  Context& c_;
  Replacement replacement_;
};

class Selection : public word::Selection {
 public:
  explicit Selection(Context& c) : c_(c), find_(c) {}
  word::Find& GetFind() override { return find_; }
  void MoveEnd(int unit, int count) override {
    c_.Call("MoveEnd", std::to_string(unit) + "," + std::to_string(count));
  }
  int CharactersCount() override {
    c_.Call("Characters.Count");
    return c_.script.selectionCharacters;
  }
  void Collapse(int d) override { c_.Call("Collapse", std::to_string(d)); }
  void Delete() override { c_.Call("Selection.Delete"); }
  void GoTo(int what, int which, const std::string& name) override {
    c_.Call("GoTo", std::to_string(what) + "," + std::to_string(which) + "," + name);
  }
  void EndKey(int unit, int extend) override {
    c_.Call("EndKey", std::to_string(unit) + "," + std::to_string(extend));
  }
  word::RangePtr GetRange() override {
    c_.Call("Selection.Range");
    Context& c = c_;
    return std::make_shared<Range>(c_, "Selection", [&c] {
      if (!c.script.pageText.empty()) return c.script.pageText;
      const auto& texts = c.script.selectionTexts;
      const std::size_t i = std::min(c.selectionReads++, texts.size() - 1);
      return texts[i];
    });
  }

 private:
  Context& c_;
  Find find_;
};

class Section : public word::Section {
 public:
  Section(Context& c, std::string name, std::string text) : c_(c), name_(name), text_(text) {}
  word::RangePtr GetRange() override {
    const std::string t = text_;
    return std::make_shared<Range>(c_, name_, [t] { return t; });
  }
  word::RangePtr Headers(int i) override {
    c_.Call(name_ + ".Headers", std::to_string(i));
    Context& c = c_;
    return std::make_shared<Range>(c_, "Header", [&c] { return c.script.headerText; });
  }
  word::RangePtr Footers(int i) override {
    c_.Call(name_ + ".Footers", std::to_string(i));
    Context& c = c_;
    return std::make_shared<Range>(c_, "Footer", [&c] { return c.script.footerText; });
  }

 private:
  Context& c_;
  std::string name_, text_;
};

class Document : public word::Document {
 public:
  Document(Context& c, bool isSplit)
      : c_(c), split_(isSplit), selection_(std::make_shared<Selection>(c)) {}
  int SectionsCount() override {
    c_.Call("Sections.Count");
    return static_cast<int>(c_.script.sectionTexts.size());
  }
  word::SectionPtr Sections(int i) override {
    c_.Call("Sections", std::to_string(i));
    const auto& texts = c_.script.sectionTexts;
    const std::string text = i >= 1 && i <= static_cast<int>(texts.size()) ? texts[i - 1] : "";
    return std::make_shared<Section>(c_, "Section" + std::to_string(i), text);
  }
  word::SectionPtr SectionsLast() override {
    c_.Call("Sections.Last");
    return std::make_shared<Section>(c_, "LastSection", "\r");
  }
  int ParagraphsCount() override {
    c_.Call("Paragraphs.Count");
    return static_cast<int>(c_.script.splitParagraphs.size());
  }
  word::RangePtr Paragraphs(int k) override {
    const std::string text = c_.script.splitParagraphs.at(k - 1);
    return std::make_shared<Range>(c_, "Paragraph" + std::to_string(k), [text] { return text; });
  }
  word::RangePtr Content() override {
    return std::make_shared<Range>(c_, "Content", [] { return std::string(); });
  }
  void ContentPaste() override { c_.Call("Paste"); }
  void ContentPasteAndFormat(int t) override { c_.Call("PasteAndFormat", std::to_string(t)); }
  word::SelectionPtr ActiveWindowSelection() override { return selection_; }
  int PagesCount(int pane) override {
    c_.Call("Pages.Count", std::to_string(pane));
    return c_.script.pages;
  }
  void SaveAs(const std::string& fileName) override { c_.Call("SaveAs", fileName); }
  void Close(std::optional<int> save) override {
    c_.Call(split_ ? "Split.Close" : "Source.Close", save ? std::to_string(*save) : "");
  }
  std::shared_ptr<Selection> selection() { return selection_; }

 private:
  Context& c_;
  bool split_;
  std::shared_ptr<Selection> selection_;
};

class Application : public word::Application {
 public:
  Application(Script& s, Log& l, std::string name = "Microsoft Word")
      : context_{s, l}, name_(std::move(name)) {}
  std::string Name() override { return name_; }
  std::string Version() override {
    context_.Call("Version");
    return context_.script.version;
  }
  void SetDisplayAlerts(bool on) override { context_.Call("DisplayAlerts", on ? "true" : "false"); }
  word::DocumentPtr DocumentsOpen(const std::string& path) override {
    context_.Call("Open", path);
    active_ = std::make_shared<Document>(context_, false);
    return active_;
  }
  word::DocumentPtr DocumentsAdd() override {
    context_.Call("Add");
    active_ = std::make_shared<Document>(context_, true);
    return active_;
  }
  word::SelectionPtr GetSelection() override {
    if (!active_) throw word::AutomationError("No document is open.");
    return active_->selection();
  }
  void Quit() override { context_.Call("Quit"); }
  bool AllowsTwoThreads() override { return context_.script.twoThreads; }

 private:
  Context context_;
  std::string name_;
  std::shared_ptr<Document> active_;
};

}  // namespace

word::ApplicationPtr Factory::CreateApplication() {
  log.Add("Create");
  if (script_.failCreate) throw word::AutomationError("ActiveX component can't create object");
  return std::make_shared<Application>(script_, log);
}

word::ApplicationPtr Factory::GetRunningApplication() {
  if (script_.runningName.empty())
    throw word::AutomationError("ActiveX component can't create object");
  return std::make_shared<Application>(script_, log, script_.runningName);
}

}  // namespace scripted
