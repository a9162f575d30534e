#include "engine/factory.h"

#include <filesystem>
#include <system_error>

#include "engine/builtin.h"
#include "support/paths.h"
#include "support/text.h"

namespace engine {

namespace fs = std::filesystem;

namespace {

// Stands for the other word processor that holds a document open. It answers
// only the questions a running instance is asked (its name); it is never quit
// by us, only released.
class LockHolder : public word::Application {
 public:
  std::string Name() override { return "Microsoft Word"; }
  std::string Version() override { return "16.0"; }
  void SetDisplayAlerts(bool) override {}
  word::DocumentPtr DocumentsOpen(const std::string&) override { throw Refused(); }
  word::DocumentPtr DocumentsAdd() override { throw Refused(); }
  word::SelectionPtr GetSelection() override { throw Refused(); }
  void Quit() override {}

 private:
  static word::AutomationError Refused() {
    return word::AutomationError("The running word processor does not take automation calls.");
  }
};

}  // namespace

std::string FindLockFile(const std::string& document) {
  const fs::path path = support::ToFsPath(document);
  const std::string name = support::FromFsPath(path.filename());
  if (name.empty()) return std::string();
  const fs::path folder = path.parent_path();
  std::vector<std::string> candidates;
  // Word's owner file replaces the first two characters of long names
  // (characters, not bytes: "Ärger.docx" gives "~$ger.docx").
  std::size_t cut = 0;
  for (int characters = 0; characters < 2 && cut < name.size(); ++characters) {
    ++cut;
    while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;
  }
  candidates.push_back("~$" + (cut < name.size() ? name.substr(cut) : name));
  candidates.push_back("~$" + name);
  candidates.push_back(".~lock." + name + "#");
  for (const auto& candidate : candidates) {
    std::error_code ec;
    const fs::path lock = folder / support::ToFsPath(candidate);
    if (fs::is_regular_file(lock, ec)) return support::FromFsPath(lock);
  }
  return std::string();
}

word::ApplicationPtr BuiltinFactory::CreateApplication() {
  if (failCreation_) {
    throw word::AutomationError("ActiveX component can't create object");
  }
  return CreateBuiltinApplication();
}

word::ApplicationPtr BuiltinFactory::GetRunningApplication() {
  if (watched_) {
    for (const auto& document : watched_()) {
      if (!FindLockFile(document).empty()) return std::make_shared<LockHolder>();
    }
  }
  throw word::AutomationError("ActiveX component can't create object");
}

void BuiltinFactory::SetWatchedDocuments(std::function<std::vector<std::string>()> source) {
  watched_ = std::move(source);
}

BuiltinFactory& Builtin() {
  static BuiltinFactory factory;
  return factory;
}

}  // namespace engine

namespace word {

Factory& DefaultFactory() {
  return engine::Builtin();
}

int Length(const std::string& text) {
  return support::CountChars(text);
}

}  // namespace word
