#include "docx/document.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

#include "docx/errors.h"
#include "docx/page_layout.h"
#include "support/large_pages.h"

namespace docx {

namespace {

const char* const kNewDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
    "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<w:body><w:p/></w:body></w:document>";

// Header/footer reference slot: header default, first, even, then the footers.
int RefSlot(pugi::xml_node ref, const Names& n) {
  const bool footer = n.footerReference == ref.name();
  const char* type = ref.attribute(n.typeAttr.c_str()).value();
  int t = 0;
  if (!std::strcmp(type, "first"))
    t = 1;
  else if (!std::strcmp(type, "even"))
    t = 2;
  return (footer ? 3 : 0) + t;
}

bool IsElement(pugi::xml_node n) {
  return n.type() == pugi::node_element;
}

// Wrappers whose block content a range can cover in part: a content control's
// content, custom XML and tracked insertions or moves.
bool IsBlockWrapper(pugi::xml_node n, const Names& names) {
  const char* name = n.name();
  return Is(name, names.sdt) || Is(name, names.sdtContent) || Is(name, names.customXml) ||
         Is(name, names.ins) || Is(name, names.moveTo);
}

// `copy` is a copy of the body-level element `original`, which a range covers
// only from `boundary` on (from) or up to it. Along the wrappers that lead down
// to the boundary, the content on the far side goes; the wrappers' own
// properties stay.
void TrimToRange(pugi::xml_node original, pugi::xml_node copy, pugi::xml_node boundary, bool from,
                 const Names& names) {
  std::vector<int> path;
  for (pugi::xml_node x = boundary; x != original; x = x.parent()) {
    if (!x) return;
    int index = 0;
    for (pugi::xml_node s = x.previous_sibling(); s; s = s.previous_sibling()) ++index;
    path.push_back(index);
  }
  const std::string customXmlPr = names.W("customXmlPr");
  pugi::xml_node o = original, c = copy;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    pugi::xml_node oc = o.first_child();
    pugi::xml_node cc = c.first_child();
    for (int k = 0; k < *it && oc && cc; ++k) {
      oc = oc.next_sibling();
      cc = cc.next_sibling();
    }
    if (!oc || !cc) return;
    if (!Is(o.name(), names.sdt)) {
      for (pugi::xml_node s = from ? cc.previous_sibling() : cc.next_sibling(); s;) {
        pugi::xml_node next = from ? s.previous_sibling() : s.next_sibling();
        if (customXmlPr != s.name()) c.remove_child(s);
        s = next;
      }
    }
    if (!IsBlockWrapper(oc, names)) return;
    o = oc;
    c = cc;
  }
}

}  // namespace

// What Range.Copy puts on the clipboard: the body-level elements of the range
// (still in the source's tree, which the clipboard keeps alive), the section
// properties each copied section ends with (its inherited headers and footers
// made explicit), and the source package that the content refers to.
struct ClipboardContent {
  std::shared_ptr<Document> owner;
  std::shared_ptr<const Package> package;
  Names names;
  pugi::xml_node root;
  std::vector<pugi::xml_node> elements;
  // element index -> section properties that end there (a null node: none)
  std::vector<pugi::xml_node> breaks;
  bool endsWithFinalSection = false;
  pugi::xml_document scratch;
  // The copied elements of a document opened lazily, parsed from its bytes.
  // A first paste of a small copy takes these elements over rather than
  // copying them; `markup` keeps their bytes for a later paste, which parses
  // them again (`taken`). `fromSlice`: which of `elements` lie in the slice.
  std::unique_ptr<XmlPart> slice;
  std::string markup;
  std::vector<char> fromSlice;
  bool taken = false;
  int start = 0, end = 0;  // the range copied

  // The body-level elements of the slice that a copy takes.
  std::vector<pugi::xml_node> SliceElements() const {
    std::vector<pugi::xml_node> parsed;
    for (pugi::xml_node c : slice->doc.document_element().children())
      if (c.type() == pugi::node_element && names.sectPr != c.name()) parsed.push_back(c);
    return parsed;
  }
  // After a paste took the elements over: the slice again, from its bytes.
  void ParseAgain() {
    slice = std::make_unique<XmlPart>();
    if (!ParseElements(markup, kNestingChecked, slice->bytes, slice->doc))
      throw Error("The copied content cannot be read again.");
    const std::vector<pugi::xml_node> parsed = SliceElements();
    if (parsed.size() != elements.size()) throw Error("The copied content cannot be read again.");
    for (std::size_t i = 0; i < elements.size(); ++i)
      if (fromSlice[i]) elements[i] = parsed[i];
    taken = false;
  }
};

// A paste takes over the elements of a copy smaller than this; a larger one
// is copied, so that its bytes are not held twice.
constexpr std::size_t kTakeBelow = std::size_t{1} << 20;

Clipboard::Clipboard() : content_(std::make_unique<ClipboardContent>()) {}
Clipboard::~Clipboard() = default;

namespace {

// A subtree's names, attributes and text, folded into one number.
std::size_t TreeHash(pugi::xml_node top) {
  std::size_t hash = 0;
  const auto mix = [&](const char* text) {
    hash = (hash ^ std::hash<std::string_view>{}(text)) * 0x100000001b3ULL;
  };
  for (pugi::xml_node node = top; node;) {
    mix(node.name());
    mix(node.value());
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      mix(a.name());
      mix(a.value());
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != top && !node.next_sibling()) node = node.parent();
    if (node == top) break;
    mix("");  // where a subtree ends
    node = node.next_sibling();
  }
  return hash;
}

// Whether two subtrees hold the same names, attributes and text in the same order.
bool SameTree(pugi::xml_node a, pugi::xml_node b) {
  if (a.type() != b.type() || std::strcmp(a.name(), b.name()) != 0 ||
      std::strcmp(a.value(), b.value()) != 0)
    return false;
  pugi::xml_attribute x = a.first_attribute(), y = b.first_attribute();
  for (; x && y; x = x.next_attribute(), y = y.next_attribute())
    if (std::strcmp(x.name(), y.name()) != 0 || std::strcmp(x.value(), y.value()) != 0)
      return false;
  if (x || y) return false;
  pugi::xml_node c = a.first_child(), d = b.first_child();
  for (; c && d; c = c.next_sibling(), d = d.next_sibling())
    if (!SameTree(c, d)) return false;
  return !c && !d;
}

}  // namespace

struct Document::IndexState {
  explicit IndexState(const Names& names) : walker(names) {}
  StoryWalker walker;
  Section current;
  pugi::xml_node bodySect;
  int elements = 0;
  // Section properties copied out of a body read lazily, by TreeHash: the
  // records of a merge mostly have the same, and each is kept once. They are
  // only read while the body is.
  std::unordered_map<std::size_t, std::vector<pugi::xml_node>> kept;
};

pugi::xml_node Document::KeepSectPr(IndexState& state, pugi::xml_node sectPr) {
  std::vector<pugi::xml_node>& same = state.kept[TreeHash(sectPr)];
  for (pugi::xml_node k : same)
    if (SameTree(k, sectPr)) return k;
  same.push_back(kept_.first_child().append_copy(sectPr));
  return same.back();
}

std::shared_ptr<Document> Document::Open(const std::string& path) {
  std::shared_ptr<Document> doc(new Document());
  doc->package_ = Package::Open(path);
  doc->Load(doc->package_->Read(doc->package_->MainPart()));
  return doc;
}

std::shared_ptr<Document> Document::FromBytes(std::string bytes, const std::string& label) {
  std::shared_ptr<Document> doc(new Document());
  doc->package_ = Package::FromBytes(std::move(bytes), label);
  doc->Load(doc->package_->Read(doc->package_->MainPart()));
  return doc;
}

std::shared_ptr<Document> Document::New() {
  std::shared_ptr<Document> doc(new Document());
  doc->Adopt(ParseXml(kNewDocument, "word/document.xml"));
  doc->NewDefaultSectPr(doc->body_);
  return doc;
}

void Document::Adopt(std::unique_ptr<XmlPart> main) {
  main_ = std::move(main);
  noCutMarks_ = false;
  pugi::xml_node root = main_->doc.document_element();
  names_ = Names::Of(root);
  body_ = root.child(names_.body.c_str());
  if (!body_) throw Error(main_ ? "The main document part has no body." : "No document.");
  // Word never has a story without a paragraph.
  bool hasParagraph = false;
  for (pugi::xml_node c : body_.children())
    if (names_.sectPr != c.name() && IsElement(c)) hasParagraph = true;
  if (!hasParagraph) {
    pugi::xml_node sect = body_.child(names_.sectPr.c_str());
    if (sect)
      body_.insert_child_before(names_.p.c_str(), sect);
    else
      body_.append_child(names_.p.c_str());
  }
  Invalidate();
}

void Document::Load(std::string bytes) {
  if (OpenLazily(bytes)) return;
  Adopt(ParseXml(std::move(bytes), package_->MainPart()));
}

namespace {

// Room for `count` items, in large pages where the system has them.
template <typename T>
void ReserveLarge(std::vector<T>& items, std::size_t count) {
  items.reserve(count);
  support::PreferLargePages(items.data(), items.capacity() * sizeof(T));
}

// Parses a body's stretches, each under its wrapper, on a thread of its own
// beside the caller, who hands them over as it finds them (Add) and takes
// them in order (Get(s), then Done(s) once its tree is no longer needed).
// While the stretch it wants is still being parsed, the caller parses the
// next one nobody has begun rather than wait. A few stretches are parsed
// ahead at most. Without a thread (one core, a short body) the caller parses
// each stretch when it asks for it.
class StretchParser {
 public:
  // With `names` and a thread, each stretch parsed is also walked for its
  // paragraphs (Walked), from no open field on, unless it holds shapes: the
  // thread that parses it walks it too.
  StretchParser(std::string_view text, bool beside, const Names* names = nullptr)
      : text_(text), names_(names) {
    if (!beside || std::thread::hardware_concurrency() < 2) {
      names_ = nullptr;
      return;
    }
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::exception&) {
      names_ = nullptr;  // no thread to be had: each stretch is parsed when asked for
    }
  }
  ~StretchParser() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  StretchParser(const StretchParser&) = delete;
  StretchParser& operator=(const StretchParser&) = delete;

  // The next stretch: [from, to) of the text.
  void Add(std::size_t from, std::size_t to) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ranges_.emplace_back(from, to);
    }
    changed_.notify_all();
  }
  // Stretch s (added before), null when it does not parse; `wait` false
  // gives null at once when it is not parsed yet.
  pugi::xml_document* Get(std::size_t s, bool wait = true) {
    Slot& slot = slots_[s % kSlots];
    std::unique_lock<std::mutex> lock(mutex_);
    failed_ = false;
    for (;;) {
      if (slot.ready == s + 1) {
        failed_ = !slot.ok;
        return slot.ok ? &slot.doc : nullptr;
      }
      if (!wait && thread_.joinable()) return nullptr;
      if (Claimable())
        ParseNext(lock);
      else
        changed_.wait(lock);
    }
  }
  // Whether the last Get found a stretch that does not parse.
  bool Failed() const { return failed_; }
  // Whether stretch s holds the markup of a shape type.
  bool HasShapes(std::size_t s) const { return slots_[s % kSlots].shapes; }
  // Whether stretch s was walked; then its paragraphs (Paras), where each of
  // its elements other than section properties ends among them (Ends), and
  // the fields open after it (FieldsAfter).
  bool Walked(std::size_t s) const { return slots_[s % kSlots].walked; }
  std::vector<StoryParagraph>& Paras(std::size_t s) { return slots_[s % kSlots].paras; }
  const std::vector<std::size_t>& Ends(std::size_t s) const { return slots_[s % kSlots].ends; }
  const std::vector<char>& FieldsAfter(std::size_t s) const {
    return slots_[s % kSlots].fieldsAfter;
  }
  // Stretch s is indexed: its slot may take another.
  void Done(std::size_t s) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      indexed_ = s + 1;
    }
    changed_.notify_all();
  }

 private:
  static constexpr std::size_t kSlots = 3;
  struct Slot {
    pugi::xml_document doc;
    std::string scratch;
    bool ok = false;
    bool shapes = false;
    bool walked = false;
    std::vector<StoryParagraph> paras;
    std::vector<std::size_t> ends;
    std::vector<char> fieldsAfter;
    std::size_t ready = 0;  // the stretch it holds, plus one; 0 for none
  };
  // Walks a parsed stretch's elements for their paragraphs.
  bool Walk(Slot& slot) {
    slot.paras.clear();
    slot.ends.clear();
    try {
      StoryWalker walker(*names_);
      for (pugi::xml_node c : slot.doc.document_element().children()) {
        if (!IsElement(c) || names_->sectPr == c.name()) continue;
        walker.Block(c, 0, false, slot.paras);
        slot.ends.push_back(slot.paras.size());
      }
      slot.fieldsAfter = walker.OpenFields();
      return true;
    } catch (const std::exception&) {
      return false;  // out of memory: the indexing walks it again
    }
  }
  // Under the lock: a stretch is added that nobody has begun, and its slot is free.
  bool Claimable() const { return claimed_ < ranges_.size() && claimed_ < indexed_ + kSlots; }
  // Under the lock, which it leaves while it parses.
  void ParseNext(std::unique_lock<std::mutex>& lock) {
    const std::size_t s = claimed_++;
    const auto [from, to] = ranges_[s];
    Slot& slot = slots_[s % kSlots];
    lock.unlock();
    const std::string_view stretch = text_.substr(from, to - from);
    bool ok = false;
    try {
      // The body lies one level below the root.
      ok = ParseElements(stretch, kMaxXmlDepth - 1, slot.scratch, slot.doc);
    } catch (const std::exception&) {
      // out of memory: the whole parse tries and reports it
    }
    slot.shapes = ok && stretch.find("shapetype") != std::string_view::npos;
    const bool walked = ok && !slot.shapes && names_ && Walk(slot);
    lock.lock();
    slot.ok = ok;
    slot.walked = walked;
    slot.ready = s + 1;
    changed_.notify_all();
  }
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_ || Claimable(); });
      if (stop_) return;
      ParseNext(lock);
    }
  }
  std::string_view text_;
  const Names* names_;
  Slot slots_[kSlots];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<std::size_t, std::size_t>> ranges_;
  std::size_t claimed_ = 0;  // stretches begun
  std::size_t indexed_ = 0;  // stretches done with
  bool failed_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once the rest is in place
};

}  // namespace

bool Document::OpenLazily(std::string& bytes) {
  constexpr std::size_t kNone = std::string_view::npos;
  // Stretches of about this many bytes are parsed at a time.
  constexpr std::size_t kStretch = std::size_t{256} << 10;
  const std::string_view text(bytes);
  const auto space = [&](std::size_t i) {
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
      ++i;
    return i;
  };
  std::size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  if (text.size() < at + 2 || text[at] != '<' || text[at + 1] == '\0') return false;
  if (text.substr(at, 5) == "<?xml") {
    const std::size_t end = text.find("?>", at);
    if (end == kNone) return false;
    std::string declaration(text.substr(at, end - at));
    for (char& c : declaration) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::size_t encoding = declaration.find("encoding");
    if (encoding != std::string::npos && declaration.find("utf-8", encoding) == std::string::npos)
      return false;
  }
  // The prolog: the declaration, comments, processing instructions.
  for (at = space(at); at + 1 < text.size() && text[at] == '<' &&
                       (text[at + 1] == '?' || text.substr(at, 4) == "<!--");
       at = space(at)) {
    at = MarkupEnd(text, at);
    if (at == kNone) return false;
  }
  if (at + 1 >= text.size() || text[at] != '<' || std::strchr("!?/", text[at + 1])) return false;
  const std::size_t rootEnd = TagEnd(text, at);
  if (rootEnd == kNone || text[rootEnd - 2] == '/') return false;
  {
    pugi::xml_document head;
    std::string scratch;
    std::string tag(text.substr(at, rootEnd - at));
    tag.insert(tag.size() - 1, "/");
    if (!ParseElements(tag, 1, scratch, head)) return false;
    names_ = Names::Of(head.document_element().first_child());
  }
  // The body among the root's children.
  std::size_t i = rootEnd;
  for (;;) {
    i = space(i);
    if (i + 1 >= text.size() || text[i] != '<' || text[i + 1] == '/') return false;
    if (text[i + 1] != '!' && text[i + 1] != '?' && TagName(text, i) == names_.body) break;
    i = MarkupEnd(text, i);
    if (i == kNone) return false;
  }
  const std::size_t contentBegin = TagEnd(text, i);
  if (contentBegin == kNone || text[contentBegin - 2] == '/') return false;
  const auto fail = [&] {
    lazy_ = false;
    paras_ = {};
    sections_.clear();
    spans_ = {};
    shapeTypes_.clear();
    kept_.reset();
    return false;
  };
  lazy_ = true;
  pugi::xml_node kept = kept_.append_child("kept");
  // As EnsureShapeTypes finds them: the first of each id, in document order.
  auto keepShapeType = [&](pugi::xml_node node) {
    if (node.type() == pugi::node_element && !std::strcmp(LocalName(node.name()), "shapetype") &&
        !shapeTypes_.count(node.attribute("id").value()))
      shapeTypes_.emplace(node.attribute("id").value(), kept.append_copy(node));
  };
  struct Walker : pugi::xml_tree_walker {
    std::function<void(pugi::xml_node)> keep;
    bool for_each(pugi::xml_node& node) override {
      keep(node);
      return true;
    }
  } walker;
  walker.keep = keepShapeType;

  // Every body element, and room for more than a body of this size is likely
  // to hold, made once: what is never touched costs nothing. About a
  // paragraph an element, most of them; tables hold more: once a stretch
  // shows how many, the index gets room for the rest at that rate, so that it
  // is not moved piecemeal as it grows. In large pages where the system has
  // them.
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  const std::size_t bodyBytes = text.size() - contentBegin;  // about
  ReserveLarge(spans, bodyBytes / 64 + 16);
  ReserveLarge(spans_, spans.capacity());
  // The stretches, [j, k) of `spans`, as the scan finds them. Each is parsed
  // (on a machine with more than one core) beside the scan for the next ones
  // and the indexing of those before it; a body under 2 MB is parsed by the
  // scan alone.
  std::vector<std::pair<std::size_t, std::size_t>> stretches;
  auto parser = std::make_unique<StretchParser>(text, bodyBytes >= (std::size_t{2} << 20), &names_);
  IndexState state(names_);
  std::size_t indexed = 0;  // stretches
  // Indexes the stretches parsed so far in order, or with `wait` all those
  // found. False when one does not parse, or is not what the scan found.
  const auto indexParsed = [&](bool wait) {
    for (; indexed < stretches.size(); ++indexed) {
      pugi::xml_document* tree = parser->Get(indexed, wait);
      if (!tree) return !parser->Failed() && !wait;
      const auto [j, k] = stretches[indexed];
      const bool shapes = parser->HasShapes(indexed);
      // Walked beside the parse from no open field on: right unless a field
      // runs on from the stretch before, which is then walked here.
      const bool walked = parser->Walked(indexed) && state.walker.OpenFields().empty();
      std::size_t m = j;
      std::size_t w = 0;  // elements of the walk indexed
      for (pugi::xml_node c : tree->document_element().children()) {
        if (!IsElement(c)) continue;
        if (m == k || TagName(text, spans[m].first) != c.name()) return false;
        if (shapes) {
          keepShapeType(c);
          c.traverse(walker);
        }
        const bool sect = names_.sectPr == c.name();
        if (!sect) spans_.push_back(spans[m]);
        if (walked && !sect) {
          const auto& ends = parser->Ends(indexed);
          if (w == ends.size()) return false;
          IndexWalked(state, parser->Paras(indexed), w ? ends[w - 1] : 0, ends[w]);
          ++w;
        } else {
          IndexElement(state, c);
        }
        ++m;
      }
      if (m != k) return false;
      if (walked) state.walker.SetOpenFields(parser->FieldsAfter(indexed));
      parser->Done(indexed);
      const std::size_t seen = spans[k - 1].second - contentBegin;
      if (seen > 0 && !paras_.empty()) {
        const double rate = static_cast<double>(paras_.size()) / static_cast<double>(seen);
        const auto wanted = static_cast<std::size_t>(rate * static_cast<double>(bodyBytes) * 1.05);
        if (wanted > paras_.capacity()) ReserveLarge(paras_, wanted);
      }
    }
    return true;
  };
  const auto endStretch = [&] {
    const std::size_t first = stretches.empty() ? 0 : stretches.back().second;
    if (spans.size() == first) return;
    stretches.emplace_back(first, spans.size());
    parser->Add(spans[first].first, spans.back().second);
  };
  std::size_t contentEnd = contentBegin;
  for (;;) {
    i = space(contentEnd);
    if (i + 1 >= text.size() || text[i] != '<') return fail();
    if (text[i + 1] == '/') break;
    const bool element = text[i + 1] != '!' && text[i + 1] != '?';
    if (!element && text[i + 1] == '!' && text.substr(i, 4) != "<!--") return fail();
    contentEnd = MarkupEnd(text, i);
    if (contentEnd == kNone) return fail();
    if (!element) continue;
    // A stretch ends before the element that would take it to kStretch.
    const std::size_t first = stretches.empty() ? 0 : stretches.back().second;
    if (spans.size() > first && contentEnd - spans[first].first >= kStretch) {
      endStretch();
      if (!indexParsed(false)) return fail();
    }
    spans.emplace_back(i, contentEnd);
  }
  endStretch();
  contentEnd = i;
  if (spans.empty()) return fail();
  std::string outline;
  outline.reserve(contentBegin + text.size() - contentEnd);
  outline.append(text.substr(0, contentBegin)).append(text.substr(contentEnd));
  std::unique_ptr<XmlPart> part;
  try {
    part = ParseXml(std::move(outline), package_->MainPart());
  } catch (const Error&) {
    return fail();
  }
  pugi::xml_node body = part->doc.document_element().child(names_.body.c_str());
  if (!body || body.first_child()) return fail();
  if (!indexParsed(true)) return fail();
  parser.reset();
  if (spans_.empty()) return fail();
  FinishIndex(state);
  main_ = std::move(part);
  body_ = body;
  raw_ = std::move(bytes);
  shapeTypesReady_ = true;
  return true;
}

void Document::Materialise() {
  if (!lazy_) return;
  lazy_ = false;
  std::unique_ptr<XmlPart> whole = ParseXml(std::move(raw_), package_->MainPart());
  raw_ = std::string();
  spans_ = {};
  retired_ = std::move(main_);
  Adopt(std::move(whole));
}

pugi::xml_node Document::NewDefaultSectPr(pugi::xml_node parent) {
  pugi::xml_node s = parent.append_child(names_.sectPr.c_str());
  pugi::xml_node size = s.append_child(names_.pgSz.c_str());
  size.append_attribute(names_.W("w").c_str()) = "12240";
  size.append_attribute(names_.W("h").c_str()) = "15840";
  pugi::xml_node mar = s.append_child(names_.W("pgMar").c_str());
  for (const char* side : {"top", "right", "bottom", "left"})
    mar.append_attribute(names_.W(side).c_str()) = "1440";
  mar.append_attribute(names_.W("header").c_str()) = "720";
  mar.append_attribute(names_.W("footer").c_str()) = "720";
  mar.append_attribute(names_.W("gutter").c_str()) = "0";
  s.append_child(names_.W("cols").c_str()).append_attribute(names_.W("space").c_str()) = "720";
  return s;
}

pugi::xml_node Document::BodySectPr() {
  pugi::xml_node last = body_.last_child();
  while (last && !IsElement(last)) last = last.previous_sibling();
  return last && names_.sectPr == last.name() ? last : pugi::xml_node();
}

void Document::EnsureIndex() {
  if (indexed_) return;
  paras_.clear();
  elems_.clear();
  sections_.clear();
  IndexState state(names_);
  for (pugi::xml_node c : body_.children())
    if (IsElement(c)) IndexElement(state, c);
  FinishIndex(state);
}

// Indexed lazily, the element's tree goes once it is indexed: what the index
// keeps of it is copied out.
void Document::IndexElement(IndexState& state, pugi::xml_node c) {
  if (names_.sectPr == c.name()) {
    state.bodySect = lazy_ ? KeepSectPr(state, c) : c;
    return;
  }
  const int e = state.elements++;
  if (!lazy_) elems_.push_back(c);
  const std::size_t before = paras_.size();
  state.walker.Block(c, e, false, paras_);
  IndexBreaks(state, before, e);
}

void Document::IndexWalked(IndexState& state, std::vector<StoryParagraph>& walked, std::size_t from,
                           std::size_t to) {
  const int e = state.elements++;
  const std::size_t before = paras_.size();
  for (std::size_t k = from; k < to; ++k) {
    walked[k].element = e;
    paras_.push_back(std::move(walked[k]));
  }
  IndexBreaks(state, before, e);
}

void Document::IndexBreaks(IndexState& state, std::size_t before, int e) {
  Section& current = state.current;
  for (std::size_t k = before; k < paras_.size(); ++k) {
    if (!paras_[k].sectionBreak) continue;
    current.lastPara = static_cast<int>(k);
    current.sectPr = paras_[k].node.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
    if (lazy_) current.sectPr = KeepSectPr(state, current.sectPr);
    current.elemEnd = e + 1;
    sections_.push_back(current);
    current = Section();
    current.firstPara = static_cast<int>(k) + 1;
    current.firstElem = e + 1;
  }
  if (lazy_)
    for (std::size_t k = before; k < paras_.size(); ++k) paras_[k].node = pugi::xml_node();
}

void Document::FinishIndex(IndexState& state) {
  Section current = state.current;
  if (current.firstPara < static_cast<int>(paras_.size()) || sections_.empty()) {
    current.lastPara = static_cast<int>(paras_.size()) - 1;
    current.sectPr = state.bodySect;
    current.elemEnd = state.elements;
    current.final = true;
    sections_.push_back(current);
  } else {
    sections_.back().final = true;
  }
  int pos = 0;
  for (auto& p : paras_) {
    p.start = pos;
    pos += p.chars;
  }
  length_ = pos;
  std::array<pugi::xml_node, 6> inherited{};
  for (auto& s : sections_) {
    s.start = s.firstPara < static_cast<int>(paras_.size()) ? paras_[s.firstPara].start : length_;
    s.end = s.lastPara >= 0 ? paras_[s.lastPara].start + paras_[s.lastPara].chars : s.start;
    std::array<pugi::xml_node, 6> own{};
    for (pugi::xml_node c : s.sectPr.children())
      if (names_.headerReference == c.name() || names_.footerReference == c.name())
        own[RefSlot(c, names_)] = c;
    for (int k = 0; k < 6; ++k)
      if (own[k]) inherited[k] = own[k];
    s.refs = inherited;
  }
  indexed_ = true;
  pagesReady_ = false;
}

int Document::StoryLength() {
  EnsureIndex();
  return length_;
}

int Document::ParagraphAt(int pos) {
  EnsureIndex();
  auto it = std::upper_bound(paras_.begin(), paras_.end(), pos,
                             [](int v, const StoryParagraph& p) { return v < p.start; });
  if (it == paras_.begin()) return 0;
  return static_cast<int>(it - paras_.begin()) - 1;
}

std::string Document::Text(int start, int end) {
  EnsureIndex();
  start = std::clamp(start, 0, length_);
  end = std::clamp(end, start, length_);
  std::string out;
  if (start == end) return out;
  for (int k = ParagraphAt(start); k < static_cast<int>(paras_.size()); ++k) {
    const StoryParagraph& p = paras_[k];
    if (p.start >= end) break;
    const int from = std::max(start, p.start) - p.start;
    const int to = std::min(end, p.start + p.chars) - p.start;
    if (from == 0 && to == p.chars) {
      out += p.text;
    } else {
      const std::size_t a = ByteOffset(p.text, from);
      out += p.text.substr(a, ByteOffset(p.text, to) - a);
    }
  }
  return out;
}

int Document::SectionCount() {
  EnsureIndex();
  return static_cast<int>(sections_.size());
}

std::pair<int, int> Document::SectionRange(int index) {
  EnsureIndex();
  if (index < 1 || index > static_cast<int>(sections_.size()))
    throw Error("The requested member of the collection does not exist.");
  return {sections_[index - 1].start, sections_[index - 1].end};
}

std::string Document::HeaderFooterText(int index, bool footer) {
  EnsureIndex();
  if (index < 1 || index > static_cast<int>(sections_.size()))
    throw Error("The requested member of the collection does not exist.");
  pugi::xml_node ref = sections_[index - 1].refs[footer ? 3 : 0];
  if (!ref || !package_) return std::string();
  const Relationship* rel =
      package_->RelById(package_->MainPart(), ref.attribute(names_.rId.c_str()).value());
  if (!rel || rel->external) return std::string();
  return package_->StoryText(rel->part);
}

int Document::ParagraphCount() {
  EnsureIndex();
  return static_cast<int>(paras_.size());
}

std::pair<int, int> Document::ParagraphRange(int index) {
  EnsureIndex();
  if (index < 1 || index > static_cast<int>(paras_.size()))
    throw Error("The requested member of the collection does not exist.");
  const StoryParagraph& p = paras_[index - 1];
  return {p.start, p.start + p.chars};
}

void Document::EnsurePages() {
  EnsureIndex();
  if (pagesReady_) return;
  // Every kind of evidence counts: explicit page breaks, page-break-before,
  // section breaks that start a new page and the rendered page breaks Word
  // recorded. Where two of them mark the same boundary (a rendered break
  // right after an explicit one), nothing but marks lies between them, and
  // they count once.
  std::vector<int> marks;
  for (std::size_t s = 0; s + 1 < sections_.size(); ++s) {
    const char* type =
        sections_[s + 1].sectPr.child(names_.type.c_str()).attribute(names_.val.c_str()).value();
    if (std::strcmp(type, "continuous") != 0 && sections_[s + 1].start < length_)
      marks.push_back(sections_[s + 1].start);
  }
  for (const auto& p : paras_) {
    if (p.pageBreakBefore) marks.push_back(p.start);
    for (int b : p.pageBreaks) marks.push_back(p.start + b);
  }
  std::sort(marks.begin(), marks.end());
  auto visibleBetween = [&](int from, int to) {
    if (from > to) std::swap(from, to);
    for (char c : Text(from, to))
      if (c != '\r' && c != '\f' && c != '\a' && c != '\v' && c != ' ' && c != '\t') return true;
    return false;
  };
  // No letter or digit between: a picture or a quote mark may open the page
  // and still be found a character or two away by a layout's text.
  auto lettersBetween = [&](int from, int to) {
    if (from > to) std::swap(from, to);
    return HasLetters(Text(from, to));
  };
  if (!layoutStarts_.empty()) {
    // The layout's pages are the pages; a mark moves the start that lies next
    // to it, with no letter between, onto itself.
    pageStarts_ = layoutStarts_;
    pageStarts_.front() = 0;
    for (int& p : pageStarts_) p = std::clamp(p, 0, length_);
    for (int m : marks) {
      auto next = std::lower_bound(pageStarts_.begin() + 1, pageStarts_.end(), m);
      for (auto it : {next, next - 1}) {
        if (it == pageStarts_.begin() || it == pageStarts_.end() || *it == m) continue;
        const int lo = it == pageStarts_.begin() + 1 ? 0 : *(it - 1);
        const int hi = it + 1 == pageStarts_.end() ? length_ : *(it + 1);
        if (m > lo && m < hi && !lettersBetween(m, *it)) {
          *it = m;
          break;
        }
      }
    }
    pagesReady_ = true;
    return;
  }
  pageStarts_.assign(1, 0);
  // Nothing visible lies between the last page start and the previous mark
  // (else that mark would have started a page), so only the text since the
  // previous mark is looked at: a long run of empty sections or breaks costs
  // its length, not its square.
  int previous = 0;
  for (int m : marks) {
    if (m <= 0 || m > length_) continue;
    const bool visible = visibleBetween(previous, m);
    previous = m;
    if (visible) pageStarts_.push_back(m);
  }
  pagesReady_ = true;
}

bool Document::HasRenderedPageBreaks() {
  EnsureIndex();
  for (const auto& p : paras_)
    if (p.renderedBreak) return true;
  return false;
}

bool Document::MayFlowOverPages() {
  EnsureIndex();
  // Fewer lines than this fill no page at any usual size of type and paper.
  constexpr int kLinesOfShortestPage = 20;
  constexpr int kCharactersPerLine = 80;
  std::vector<int> marks;
  for (std::size_t s = 1; s < sections_.size(); ++s) {
    const char* type =
        sections_[s].sectPr.child(names_.type.c_str()).attribute(names_.val.c_str()).value();
    if (std::strcmp(type, "continuous") != 0) marks.push_back(sections_[s].start);
  }
  std::sort(marks.begin(), marks.end());
  auto mark = marks.begin();
  int lines = 0;
  for (const auto& p : paras_) {
    bool fresh = p.pageBreakBefore;
    for (; mark != marks.end() && *mark <= p.start; ++mark) fresh = true;
    if (fresh) lines = 0;
    if (p.text.find('\x01') != std::string::npos) return true;  // a picture, shape or object
    int from = 0;
    for (int b : p.pageBreaks) {
      lines += 1 + (b - from) / kCharactersPerLine;
      if (lines > kLinesOfShortestPage) return true;
      lines = 0;
      from = b;
    }
    lines += 1 + (p.chars - from) / kCharactersPerLine;
    if (lines > kLinesOfShortestPage) return true;
  }
  return false;
}

void Document::SetLayoutPageStarts(std::vector<int> starts) {
  std::sort(starts.begin(), starts.end());
  if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
  layoutStarts_ = std::move(starts);
  pagesReady_ = false;
}

int Document::PageCount() {
  EnsurePages();
  return static_cast<int>(pageStarts_.size());
}

int Document::PageStart(int page) {
  EnsurePages();
  if (page < 1) page = 1;
  if (page > static_cast<int>(pageStarts_.size())) page = static_cast<int>(pageStarts_.size());
  return pageStarts_[page - 1];
}

pugi::xml_node Document::EffectiveSectPr(const Section& s, pugi::xml_node into) {
  pugi::xml_node copy = s.sectPr ? into.append_copy(s.sectPr) : NewDefaultSectPr(into);
  std::array<bool, 6> own{};
  for (pugi::xml_node c : copy.children())
    if (names_.headerReference == c.name() || names_.footerReference == c.name())
      own[RefSlot(c, names_)] = true;
  for (int k = 5; k >= 0; --k)
    if (!own[k] && s.refs[k]) copy.prepend_copy(s.refs[k]);
  return copy;
}

void Document::Copy(int start, int end, Clipboard& clipboard) {
  EnsureIndex();
  start = std::clamp(start, 0, length_);
  end = std::clamp(end, start, length_);
  ClipboardContent& clip = *clipboard.content_;
  clip.elements.clear();
  clip.breaks.clear();
  clip.scratch.reset();
  clip.slice.reset();
  clip.markup = std::string();
  clip.fromSlice.clear();
  clip.taken = false;
  clip.owner = shared_from_this();
  clip.start = start;
  clip.end = end;
  clip.package = package_;
  clip.names = names_;
  clip.root = main_->doc.document_element();
  clip.endsWithFinalSection = false;
  if (start == end) return;
  const int firstPara = ParagraphAt(start);
  const int lastPara = ParagraphAt(end - 1);
  int firstElem = paras_[firstPara].element;
  const int lastElem = paras_[lastPara].element;
  // Sections are in story order, so their starts and their ends never
  // decrease: the ones that matter are found by bisection, not by a walk over
  // every section of a long merge for each piece.
  auto starting = std::lower_bound(sections_.begin(), sections_.end(), start,
                                   [](const Section& s, int v) { return s.start < v; });
  for (auto it = starting; it != sections_.end() && it->start == start; ++it)
    if (it->firstElem < firstElem) firstElem = it->firstElem;
  pugi::xml_node holder = clip.scratch.append_child("scratch");
  // Opened lazily, the document parses the range's elements from its bytes.
  std::vector<pugi::xml_node> parsed;
  if (lazy_) {
    // Opening parsed these bytes, nesting checked, and they have not changed.
    const std::size_t from = spans_[firstElem].first, to = spans_[lastElem].second;
    const std::string_view markup = std::string_view(raw_).substr(from, to - from);
    clip.slice = std::make_unique<XmlPart>();
    if (!ParseElements(markup, kNestingChecked, clip.slice->bytes, clip.slice->doc))
      throw Error("The main document part cannot be read again.");
    if (markup.size() < kTakeBelow) clip.markup.assign(markup);
    parsed = clip.SliceElements();
    if (parsed.size() != static_cast<std::size_t>(lastElem - firstElem + 1))
      throw Error("The main document part cannot be read again.");
  }
  auto element = [&](int e) { return lazy_ ? parsed[e - firstElem] : elems_[e]; };
  for (int e = firstElem; e <= lastElem; ++e) {
    clip.elements.push_back(element(e));
    clip.breaks.emplace_back();
  }
  // A section break inside a content control (or another wrapper) splits it:
  // each side takes its own part of the wrapper's content, not the whole.
  const int paraCount = static_cast<int>(paras_.size());
  const bool cutBefore = paras_[firstPara].element == firstElem && firstPara > 0 &&
                         paras_[firstPara - 1].element == firstElem;
  const bool cutAfter = lastPara + 1 < paraCount && paras_[lastPara + 1].element == lastElem;
  auto trim = [&](int e, pugi::xml_node boundary, bool from) {
    const pugi::xml_node original = element(e);
    if (!IsBlockWrapper(original, names_)) return;
    pugi::xml_node& slot = clip.elements[e - firstElem];
    if (slot == original) slot = holder.append_copy(original);
    TrimToRange(original, slot, boundary, from, names_);
  };
  // The end first: cutting what follows leaves the way to the start as it was.
  if (cutAfter) trim(lastElem, ParagraphNode(lastPara, element(lastElem)), false);
  if (cutBefore) trim(firstElem, ParagraphNode(firstPara, element(firstElem)), true);
  auto ending = std::upper_bound(sections_.begin(), sections_.end(), start,
                                 [](int v, const Section& s) { return v < s.end; });
  for (auto it = ending; it != sections_.end() && it->end <= end; ++it) {
    const Section& s = *it;
    if (s.lastPara < 0) continue;
    const int at = paras_[s.lastPara].element - firstElem;
    if (at < 0 || at >= static_cast<int>(clip.breaks.size())) continue;
    clip.breaks[at] = EffectiveSectPr(s, holder);
    if (s.final) clip.endsWithFinalSection = true;
  }
  if (lazy_)
    for (int e = firstElem; e <= lastElem; ++e)
      clip.fromSlice.push_back(clip.elements[e - firstElem] == parsed[e - firstElem]);
}

pugi::xml_node Document::ParagraphNode(int k, pugi::xml_node element) {
  if (!lazy_) return paras_[k].node;
  // The element's paragraphs, walked again in the order the index found them.
  const int e = paras_[k].element;
  int first = k;
  while (first > 0 && paras_[first - 1].element == e) --first;
  StoryWalker walker(names_);
  std::vector<StoryParagraph> found;
  walker.Block(element, e, false, found);
  const std::size_t at = static_cast<std::size_t>(k - first);
  return at < found.size() ? found[at].node : pugi::xml_node();
}

void Document::Paste(Clipboard& clipboard) {
  DropPrepared();
  ClipboardContent& clip = *clipboard.content_;
  if (!clip.owner) throw Error("The clipboard is empty.");
  if (clip.taken) clip.ParseAgain();
  // A small slice becomes the new part: its elements move into the body, and
  // the wrapper they were parsed under goes.
  const bool take = clip.slice && !clip.markup.empty();
  // Whether the copied markup and the section properties the breaks carry
  // are without field characters and bookmark starts. The markup is searched
  // as text: any mention of either, even in a letter's words, counts.
  auto without = [](pugi::xml_node top) {
    bool none = true;
    ForEachElement(top, [&](pugi::xml_node n) {
      const char* local = LocalName(n.name());
      if (!std::strcmp(local, "fldChar") || !std::strcmp(local, "bookmarkStart")) none = false;
    });
    return none;
  };
  bool noCutMarks = !clip.markup.empty() && clip.markup.find("fldChar") == std::string::npos &&
                    clip.markup.find("bookmarkStart") == std::string::npos;
  for (pugi::xml_node sect : clip.breaks)
    if (noCutMarks && sect) noCutMarks = without(sect);
  std::unique_ptr<XmlPart> part = take ? std::move(clip.slice) : std::make_unique<XmlPart>();
  const pugi::xml_node wrapper = take ? part->doc.document_element() : pugi::xml_node();
  pugi::xml_node root = part->doc.append_child(clip.root.name());
  for (pugi::xml_attribute a : clip.root.attributes()) root.append_copy(a);
  Names names = clip.names;
  if (pugi::xml_node bg = clip.root.child(names.background.c_str())) root.append_copy(bg);
  pugi::xml_node body = root.append_child(names.body.c_str());
  for (std::size_t i = 0; i < clip.elements.size(); ++i) {
    pugi::xml_node copy = take && clip.fromSlice[i] ? body.append_move(clip.elements[i])
                                                    : body.append_copy(clip.elements[i]);
    pugi::xml_node sect = clip.breaks[i];
    if (!sect) continue;
    pugi::xml_node p;
    if (names.p == copy.name()) {
      p = copy;
    } else if (names.sdt == copy.name()) {
      for (pugi::xml_node c = copy.child(names.sdtContent.c_str()).last_child(); c;
           c = c.previous_sibling())
        if (names.p == c.name() && c.child(names.pPr.c_str()).child(names.sectPr.c_str())) p = c;
    }
    if (!p) p = body.append_child(names.p.c_str());
    pugi::xml_node pPr = p.child(names.pPr.c_str());
    if (!pPr) pPr = p.prepend_child(names.pPr.c_str());
    if (pugi::xml_node old = pPr.child(names.sectPr.c_str())) {
      pPr.insert_copy_after(sect, old);
      pPr.remove_child(old);
    } else if (pugi::xml_node change = pPr.child(names.W("pPrChange").c_str())) {
      pPr.insert_copy_before(sect, change);
    } else {
      pPr.append_copy(sect);
    }
  }
  body.append_child(names.p.c_str());
  if (take) {
    part->doc.remove_child(wrapper);
    part->allFromBytes = false;
    clip.taken = true;
  }
  if (BringShapeTypes(body, *clip.owner)) noCutMarks = false;
  if (lazy_) {
    // The pasted content replaces the body: its bytes are no longer needed.
    lazy_ = false;
    raw_ = std::string();
    spans_ = {};
    retired_ = std::move(main_);
  }
  package_ = clip.package;
  main_ = std::move(part);
  names_ = names;
  body_ = body;
  NewDefaultSectPr(body_);
  origin_ = Origin{clip.owner, clip.start, clip.end};
  layoutStarts_.clear();
  noCutMarks_ = noCutMarks;
  Invalidate();
}

void Document::EnsureShapeTypes() {
  if (shapeTypesReady_) return;
  // Once per document, when it is first pasted from.
  struct Walker : pugi::xml_tree_walker {
    std::unordered_map<std::string, pugi::xml_node>* out;
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_element && !std::strcmp(LocalName(node.name()), "shapetype"))
        out->emplace(node.attribute("id").value(), node);
      return true;
    }
  } walker;
  shapeTypes_.clear();
  shapeTypesReady_ = true;
  // The names of a part read from a file lie in the bytes it was read from:
  // bytes of an 8-bit encoding without the word anywhere in them (most
  // merges) leave nothing to walk for. UTF-16 and UTF-32 bytes are walked.
  const std::string& bytes = main_->bytes;
  const auto first = static_cast<unsigned char>(bytes.empty() ? 0 : bytes[0]);
  const bool eightBit = main_->allFromBytes && bytes.size() > 1 && first != 0 && first != 0xFE &&
                        first != 0xFF && bytes[1] != '\0';
  if (eightBit && bytes.find("shapetype") == std::string::npos) return;
  walker.out = &shapeTypes_;
  body_.traverse(walker);
}

bool Document::BringShapeTypes(pugi::xml_node body, Document& source) {
  // A source without shape types (most merges) has nothing to bring: its
  // pieces are not walked for shapes at all.
  source.EnsureShapeTypes();
  if (source.shapeTypes_.empty()) return false;
  // VML shapes name their type as "#id"; the definition is a sibling element.
  struct Walker : pugi::xml_tree_walker {
    std::unordered_set<std::string> defined;
    std::vector<std::pair<pugi::xml_node, const char*>> uses;
    bool for_each(pugi::xml_node& node) override {
      if (node.type() != pugi::node_element) return true;
      const char* local = LocalName(node.name());
      if (local[0] != 's') return true;
      if (!std::strcmp(local, "shapetype")) {
        defined.insert(node.attribute("id").value());
      } else if (!std::strcmp(local, "shape")) {
        const char* type = node.attribute("type").value();
        if (type[0] == '#' && type[1]) uses.emplace_back(node, type + 1);
      }
      return true;
    }
  } walker;
  body.traverse(walker);
  bool brought = false;
  for (const auto& [shape, id] : walker.uses) {
    if (walker.defined.count(id)) continue;
    const auto found = source.shapeTypes_.find(id);
    if (found == source.shapeTypes_.end()) continue;
    pugi::xml_node definition = found->second;
    shape.parent().insert_copy_before(definition, shape);
    walker.defined.insert(id);
    brought = true;
  }
  return brought;
}

void Document::RemoveParagraph(const StoryParagraph& p, bool isFinal) {
  pugi::xml_node node = p.node;
  if (isFinal) {
    // The final paragraph mark stays; its content goes.
    for (pugi::xml_node c = node.first_child(); c;) {
      pugi::xml_node next = c.next_sibling();
      if (names_.pPr != c.name()) node.remove_child(c);
      c = next;
    }
    return;
  }
  pugi::xml_node sect = node.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
  if (sect) {
    // The content before a deleted break keeps that break's section properties.
    pugi::xml_node prev = node.previous_sibling();
    while (prev && names_.p != prev.name() &&
           (names_.bookmarkStart == prev.name() || names_.bookmarkEnd == prev.name() ||
            !IsElement(prev)))
      prev = prev.previous_sibling();
    if (prev && names_.p == prev.name() &&
        !prev.child(names_.pPr.c_str()).child(names_.sectPr.c_str())) {
      pugi::xml_node pPr = prev.child(names_.pPr.c_str());
      if (!pPr) pPr = prev.prepend_child(names_.pPr.c_str());
      pPr.append_move(sect);
    }
  }
  node.parent().remove_child(node);
}

void Document::MergeWithNext(pugi::xml_node p) {
  pugi::xml_node next = p.next_sibling();
  while (next && !IsElement(next)) next = next.next_sibling();
  if (!next || names_.p != next.name()) return;
  for (pugi::xml_node c = next.first_child(); c;) {
    pugi::xml_node following = c.next_sibling();
    if (names_.pPr != c.name()) p.append_move(c);
    c = following;
  }
  pugi::xml_node nextSect = next.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
  pugi::xml_node ownSect = p.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
  if (nextSect && !ownSect) {
    pugi::xml_node pPr = p.child(names_.pPr.c_str());
    if (!pPr) pPr = p.prepend_child(names_.pPr.c_str());
    pPr.append_move(nextSect);
  }
  next.parent().remove_child(next);
}

void Document::DeleteText(const StoryParagraph& p, int from, int to) {
  if (from >= to) return;
  StoryWalker walker(names_);
  auto atoms = walker.Atoms(p.node, p.fields);
  for (auto it = atoms.rbegin(); it != atoms.rend(); ++it) {
    const int a = std::max(from, it->start), b = std::min(to, it->start + it->chars);
    if (a >= b) continue;
    if (!it->text) {
      it->node.parent().remove_child(it->node);
      continue;
    }
    std::string value = it->node.text().get();
    const std::size_t x = ByteOffset(value, a - it->start);
    const std::size_t y = ByteOffset(value, b - it->start);
    value.erase(x, y - x);
    it->node.text().set(value.c_str());
    if (!it->node.attribute("xml:space")) it->node.append_attribute("xml:space") = "preserve";
  }
}

void Document::InsertText(const StoryParagraph& p, int at, const std::string& text) {
  if (text.empty()) return;
  StoryWalker walker(names_);
  auto atoms = walker.Atoms(p.node, p.fields);
  for (auto& atom : atoms) {
    if (!atom.text || at < atom.start || at > atom.start + atom.chars) continue;
    std::string value = atom.node.text().get();
    value.insert(ByteOffset(value, at - atom.start), text);
    atom.node.text().set(value.c_str());
    if (!atom.node.attribute("xml:space")) atom.node.append_attribute("xml:space") = "preserve";
    return;
  }
  pugi::xml_node paragraph = p.node;
  pugi::xml_node run = paragraph.append_child(names_.run.c_str());
  pugi::xml_node t = run.append_child(names_.t.c_str());
  t.append_attribute("xml:space") = "preserve";
  t.text().set(text.c_str());
}

bool Document::RemoveTrailingEmptySection() {
  EnsureIndex();
  const int last = static_cast<int>(paras_.size()) - 1;
  if (last < 1 || paras_[last].chars != 1 || paras_[last].inTable) return false;
  const StoryParagraph& before = paras_[last - 1];
  // The break's paragraph may sit in a content control; its properties still
  // become the body's.
  if (!before.sectionBreak) return false;
  pugi::xml_node sect = before.node.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
  pugi::xml_node finalPara = paras_[last].node;
  // Whatever sits between the break and the final paragraph (bookmarks) stays.
  if (pugi::xml_node old = BodySectPr()) body_.remove_child(old);
  body_.append_move(sect);
  // The break's paragraph is now the last one. Empty, its page-break-before no
  // longer moves anything to a new page but the end: it would leave a blank page.
  if (before.chars == 1)
    if (pugi::xml_node pPr = before.node.child(names_.pPr.c_str()))
      pPr.remove_child(names_.pageBreakBefore.c_str());
  const bool breakBeforeGone =
      before.pageBreakBefore &&
      !before.node.child(names_.pPr.c_str()).child(names_.pageBreakBefore.c_str());
  const int element = paras_[last].element;
  const bool ownElement =
      element >= 0 && element < static_cast<int>(elems_.size()) && elems_[element] == finalPara;
  finalPara.parent().remove_child(finalPara);
  DropEmptyFinalSection(ownElement ? element : -1, breakBeforeGone);
  return true;
}

// The index after RemoveTrailingEmptySection, made from the old one: every
// split ends with it, and walking the whole piece again for one paragraph
// would cost more than the rest of the piece's edits.
void Document::DropEmptyFinalSection(int removedElement, bool pageBreakBeforeGone) {
  if (removedElement >= 0) elems_.erase(elems_.begin() + removedElement);
  length_ -= paras_.back().chars;
  paras_.pop_back();
  StoryParagraph& now = paras_.back();
  now.sectionBreak = false;
  now.text.back() = '\r';
  if (pageBreakBeforeGone) now.pageBreakBefore = false;
  sections_.pop_back();
  Section& s = sections_.back();
  s.sectPr = BodySectPr();
  s.elemEnd = static_cast<int>(elems_.size());
  s.final = true;
  pagesReady_ = false;
}

void Document::Delete(int start, int end) {
  DropPrepared();
  Materialise();
  EnsureIndex();
  start = std::clamp(start, 0, length_);
  end = std::clamp(end, start, length_);
  if (start >= end) return;
  const int last = static_cast<int>(paras_.size()) - 1;
  const int finalMark = paras_[last].start + paras_[last].chars - 1;
  if (start >= finalMark) {
    // Only the final paragraph mark: Word keeps it; ours takes away an empty
    // trailing section so the break before it becomes the document's end.
    RemoveTrailingEmptySection();
    return;
  }
  end = std::min(end, finalMark);
  // Whole tables inside the range go as a whole. The extent of every element
  // comes from one pass over the paragraphs, not one per table.
  std::vector<std::pair<int, int>> extent(elems_.size(), {-1, -1});
  for (const auto& p : paras_) {
    if (p.element < 0 || p.element >= static_cast<int>(extent.size())) continue;
    auto& [lo, hi] = extent[p.element];
    if (lo < 0) lo = p.start;
    hi = p.start + p.chars;
  }
  std::vector<char> tableGone(elems_.size(), 0);
  for (std::size_t e = 0; e < elems_.size(); ++e) {
    if (names_.tbl != elems_[e].name()) continue;
    const auto [lo, hi] = extent[e];
    if (lo >= start && hi <= end && lo >= 0) tableGone[e] = 1;
  }
  for (int k = ParagraphAt(end - 1); k >= 0 && k >= ParagraphAt(start); --k) {
    const StoryParagraph& p = paras_[k];
    if (p.element >= 0 && tableGone[p.element]) continue;
    const int ps = p.start, pe = p.start + p.chars, markStart = pe - p.MarkLength();
    const int lo = std::max(start, ps) - ps, hi = std::min(end, pe) - ps;
    if (lo >= hi) continue;
    if (p.rowEnd) continue;
    if (!p.inTable && lo == 0 && hi == p.chars) {
      RemoveParagraph(p, k == last);
    } else if (!p.inTable && hi > markStart - ps) {
      DeleteText(p, lo, markStart - ps);
      MergeWithNext(p.node);
    } else {
      DeleteText(p, lo, std::min(hi, markStart - ps));
    }
  }
  for (std::size_t e = 0; e < elems_.size(); ++e)
    if (tableGone[e]) elems_[e].parent().remove_child(elems_[e]);
  const int removed = length_;
  Invalidate();
  if (layoutStarts_.empty()) return;
  EnsureIndex();
  // A layout's pages after the deletion move with the text; the ones inside
  // it start where it was.
  const int gone = removed - length_;
  for (int& p : layoutStarts_) {
    if (p >= end)
      p -= gone;
    else if (p > start)
      p = start;
  }
}

void Document::CloseCutFieldsAndBookmarks() {
  if (noCutMarks_) return;
  // The main story in document order; text boxes are stories of their own,
  // which no section break cuts.
  const std::string txbxContent = names_.W("txbxContent");
  struct Open {
    pugi::xml_node node;
    bool separated = false;
  };
  std::vector<Open> fields;
  std::vector<pugi::xml_node> strays;                   // separators and ends without a begin
  std::vector<std::pair<pugi::xml_node, bool>> starts;  // bookmark starts in order; still open
  std::unordered_map<std::string, std::vector<std::size_t>> bookmarks;
  for (pugi::xml_node n = body_.first_child(); n;) {
    const char* name = n.name();
    bool descend = IsElement(n) && !Is(name, txbxContent);
    if (Is(name, names_.fldChar)) {
      const char* type = n.attribute(names_.fldCharType.c_str()).value();
      if (!std::strcmp(type, "begin")) {
        fields.push_back({n});
      } else if (!std::strcmp(type, "separate")) {
        if (fields.empty())
          strays.push_back(n);
        else
          fields.back().separated = true;
      } else if (!std::strcmp(type, "end")) {
        if (fields.empty())
          strays.push_back(n);
        else
          fields.pop_back();
      }
      descend = false;
    } else if (Is(name, names_.bookmarkStart)) {
      bookmarks[n.attribute(names_.id.c_str()).value()].push_back(starts.size());
      starts.emplace_back(n, true);
    } else if (Is(name, names_.bookmarkEnd)) {
      auto it = bookmarks.find(n.attribute(names_.id.c_str()).value());
      if (it != bookmarks.end() && !it->second.empty()) {
        starts[it->second.back()].second = false;
        it->second.pop_back();
      }
    }
    if (descend && n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n && n != body_ && !n.next_sibling()) n = n.parent();
    if (!n || n == body_) break;
    n = n.next_sibling();
  }
  std::vector<pugi::xml_node> unclosed;
  for (const auto& [start, open] : starts)
    if (open) unclosed.push_back(start);
  if (strays.empty() && fields.empty() && unclosed.empty()) return;

  for (pugi::xml_node mark : strays) {
    pugi::xml_node run = mark.parent();
    run.remove_child(mark);
    bool empty = true;
    for (pugi::xml_node c : run.children())
      if (IsElement(c) && names_.rPr != c.name()) empty = false;
    if (empty && names_.run == run.name()) run.parent().remove_child(run);
  }
  // Fields left open close at the end of the story's last paragraph (the last
  // one inside a table or content control that ends the body), bookmarks
  // there too, or at the body's end when it does not end in a paragraph.
  pugi::xml_node lastElement;
  for (pugi::xml_node c = body_.last_child(); c && !lastElement; c = c.previous_sibling())
    if (IsElement(c) && names_.sectPr != c.name()) lastElement = c;
  pugi::xml_node last =
      lastElement && names_.p == lastElement.name() ? lastElement : pugi::xml_node();
  if (!fields.empty() && !last && lastElement) {
    for (pugi::xml_node n = lastElement.first_child(); n;) {
      const bool box = Is(n.name(), txbxContent);
      if (names_.p == n.name()) last = n;
      if (!box && n.first_child()) {
        n = n.first_child();
        continue;
      }
      while (n && n != lastElement && !n.next_sibling()) n = n.parent();
      if (!n || n == lastElement) break;
      n = n.next_sibling();
    }
  }
  if (!fields.empty() && !last) {
    pugi::xml_node sect = BodySectPr();
    last = sect ? body_.insert_child_before(names_.p.c_str(), sect)
                : body_.append_child(names_.p.c_str());
  }
  for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
    pugi::xml_node run = last.append_child(names_.run.c_str());
    run.append_child(names_.fldChar.c_str()).append_attribute(names_.fldCharType.c_str()) = "end";
  }
  // A start that sits behind the last paragraph (at the body's level) is
  // closed where it stands.
  const bool inParagraph = last && last == lastElement;
  std::unordered_set<pugi::xml_node_struct*> behind;
  for (pugi::xml_node c = inParagraph ? last.next_sibling() : pugi::xml_node(); c;
       c = c.next_sibling())
    behind.insert(c.internal_object());
  for (pugi::xml_node start : unclosed) {
    const std::string id = start.attribute(names_.id.c_str()).value();
    pugi::xml_node end;
    if (behind.count(start.internal_object()))
      end = body_.insert_child_after(names_.bookmarkEnd.c_str(), start);
    else if (inParagraph)
      end = last.append_child(names_.bookmarkEnd.c_str());
    else if (pugi::xml_node sect = BodySectPr())
      end = body_.insert_child_before(names_.bookmarkEnd.c_str(), sect);
    else
      end = body_.append_child(names_.bookmarkEnd.c_str());
    end.append_attribute(names_.id.c_str()) = id.c_str();
  }
  Invalidate();
}

bool Document::ReplaceAll(const std::string& find, const std::string& replacement) {
  DropPrepared();
  if (find.empty()) return false;
  Materialise();
  EnsureIndex();
  if (find == "^b") {
    bool found = false;
    bool stale = false;  // the index no longer matches the tree
    for (int k = static_cast<int>(paras_.size()) - 1; k >= 0; --k) {
      const StoryParagraph& p = paras_[k];
      if (!p.sectionBreak) continue;
      found = true;
      const bool onlyFinalAfter =
          k == static_cast<int>(paras_.size()) - 2 && paras_.back().chars == 1;
      if (onlyFinalAfter) {
        RemoveTrailingEmptySection();
        EnsureIndex();
        stale = false;
        continue;
      }
      pugi::xml_node sect = p.node.child(names_.pPr.c_str()).child(names_.sectPr.c_str());
      sect.parent().remove_child(sect);
      if (!replacement.empty()) InsertText(p, p.chars - 1, replacement);
      stale = true;
    }
    // A piece's only break is usually the trailing one, handled above with the
    // index made afresh: indexing it again would be wasted work.
    if (stale) Invalidate();
    return found;
  }
  bool found = false;
  for (int k = static_cast<int>(paras_.size()) - 1; k >= 0; --k) {
    const StoryParagraph& p = paras_[k];
    if (p.rowEnd) continue;
    const std::string body = p.text.substr(0, ByteOffset(p.text, p.chars - p.MarkLength()));
    std::vector<std::size_t> hits;
    for (std::size_t at = body.find(find); at != std::string::npos;
         at = body.find(find, at + find.size()))
      hits.push_back(at);
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
      const int from = CountChars(body.substr(0, *it));
      DeleteText(p, from, from + CountChars(find));
      InsertText(p, from, replacement);
      found = true;
    }
  }
  Invalidate();
  return found;
}

}  // namespace docx
