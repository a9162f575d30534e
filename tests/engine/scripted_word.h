#pragma once
// A word processor that follows a script and logs every call, for checking the
// engine's order of calls and its handling of failures that a real backend
// cannot be made to produce on demand.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/word.h"

namespace scripted {

struct Script {
  std::vector<std::string> sectionTexts;  // the source's sections
  std::string headerText, footerText;     // section 1's primary header and footer
  std::string version = "16.0";
  int pages = 1;
  std::string pageText;  // what a page rule's selection holds
  // The split's selection texts, one per read (the last repeats).
  std::vector<std::string> selectionTexts = {"\r"};
  int selectionCharacters = 1;
  // The split's paragraphs after the clean-up (texts).
  std::vector<std::string> splitParagraphs = {"Record\r"};
  // Calls that throw (by their log name, e.g. "SaveAs", "Open").
  std::set<std::string> failing;
  bool failCreate = false;
  // Answers yes to AllowsTwoThreads: the splitter builds pieces ahead.
  bool twoThreads = false;
  std::string runningName;  // "" means no running instance
};

class Log {
 public:
  std::vector<std::string> calls;
  void Add(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.push_back(call);
  }
  bool Has(const std::string& call) const;
  int Count(const std::string& call) const;
  // The calls that start with a prefix ("SaveAs " gives the saved paths).
  std::vector<std::string> With(const std::string& prefix) const;

 private:
  std::mutex mutex_;  // calls come from both threads of a split
};

class Factory : public word::Factory {
 public:
  explicit Factory(Script script) : script_(std::move(script)) {}
  word::ApplicationPtr CreateApplication() override;
  word::ApplicationPtr GetRunningApplication() override;
  Script& script() { return script_; }
  Log log;

 private:
  Script script_;
};

}  // namespace scripted
