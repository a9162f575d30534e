#include "test_answers.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "support/paths.h"

namespace testing_support {

namespace {

support::Answer ParseAnswer(const std::string& word) {
  if (word == "Yes") return support::Answer::Yes;
  if (word == "No") return support::Answer::No;
  if (word == "Ok") return support::Answer::Ok;
  if (word == "Cancel") return support::Answer::Cancel;
  throw std::runtime_error("unknown message answer \"" + word + "\"");
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  return text;
}

}  // namespace

std::string TestAnswersFile() {
  const char* value = std::getenv("PARVANE_TEST_ANSWERS");
  return value ? std::string(value) : std::string();
}

TestAnswers LoadTestAnswers(const std::string& file) {
  std::ifstream in(support::ToFsPath(file), std::ios::binary);
  if (!in) throw std::runtime_error(file + ": the answers file cannot be read");
  TestAnswers result;
  result.dialogs = std::make_unique<testing_support::ScriptedDialogs>();
  testing_support::ScriptedDialogs& dialogs = *result.dialogs;
  std::string logPath;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    try {
      if (word == "message") {
        dialogs.messageAnswers.push_back(ParseAnswer(value));
      } else if (word == "input") {
        dialogs.inputAnswers.push_back(value);
      } else if (word == "open") {
        dialogs.openAnswers.push_back(value);
      } else if (word == "browse") {
        dialogs.browseAnswers.push_back(value);
      } else if (word == "log") {
        logPath = value;
      } else if (word == "add") {
        result.entries.push_back(value);
      } else {
        throw std::runtime_error("unknown directive \"" + word + "\"");
      }
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(file + ", line " + std::to_string(number) + ": " + e.what());
    }
  }
  if (!logPath.empty()) {
    auto log = std::make_shared<std::ofstream>(support::ToFsPath(logPath),
                                               std::ios::binary | std::ios::app);
    if (!*log) throw std::runtime_error(logPath + ": the dialog log cannot be written");
    dialogs.onShow = [log](const testing_support::ScriptedDialogs::Shown& shown) {
      *log << shown.kind << '\t' << OneLine(shown.title) << '\t' << OneLine(shown.text) << '\n';
      log->flush();
    };
  }
  return result;
}

}  // namespace testing_support
