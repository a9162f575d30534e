#pragma once
// The factory of the built-in word processor.

#include <functional>
#include <string>
#include <vector>

#include "engine/word.h"

namespace engine {

// Creates instances of our own word processor. There is no Word process to
// find here, so "the running instance" stands for what makes that warning
// useful: a word processor that holds one of the listed documents open right
// now, which it shows by its owner file ("~$" and the name's end, Word) or lock
// file (".~lock." name "#", LibreOffice) beside the document.
class BuiltinFactory : public word::Factory {
 public:
  word::ApplicationPtr CreateApplication() override;
  word::ApplicationPtr GetRunningApplication() override;

  // The documents to watch (the file list's entries), read at every call.
  void SetWatchedDocuments(std::function<std::vector<std::string>()> source) override;
  // For tests: make CreateApplication fail as if no instance could be had.
  void SetFailCreation(bool fail) { failCreation_ = fail; }

 private:
  std::function<std::vector<std::string>()> watched_;
  bool failCreation_ = false;
};

// The program's built-in factory (the one DefaultFactory returns).
BuiltinFactory& Builtin();

// The owner or lock file that shows a word processor has `document` open, or
// "" when there is none.
std::string FindLockFile(const std::string& document);

}  // namespace engine
