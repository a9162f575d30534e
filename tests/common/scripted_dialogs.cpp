#include "scripted_dialogs.h"

namespace testing_support {

namespace {
template <typename T>
T Take(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T value = queue.front();
  queue.pop_front();
  return value;
}
}  // namespace

void ScriptedDialogs::Record(Shown s) {
  shown.push_back(s);
  if (onShow) onShow(shown.back());
}

support::Answer ScriptedDialogs::Message(const std::string& text, support::Buttons buttons,
                                         support::Icon icon, const std::string& title) {
  Record({"message", title.empty() ? support::AppTitle() : title, text, buttons, icon, {}});
  return Take(messageAnswers,
              buttons == support::Buttons::YesNo ? support::Answer::No : support::Answer::Ok);
}

std::string ScriptedDialogs::Input(const std::string& prompt, const std::string& title,
                                   const std::string& defaultAnswer) {
  Record({"input", title.empty() ? support::AppTitle() : title, prompt, support::Buttons::Ok,
          support::Icon::None, defaultAnswer});
  return Take(inputAnswers, std::string());
}

std::string ScriptedDialogs::OpenFiles(const std::string& title, const std::string& filter) {
  Record({"open", title, filter, support::Buttons::Ok, support::Icon::None, {}});
  std::string answer = Take(openAnswers, std::string());
  if (answer == "!overflow") throw support::DialogOverflow();
  return answer;
}

std::string ScriptedDialogs::BrowseFolder(const std::string& title, const std::string& start) {
  Record({"browse", title, start, support::Buttons::Ok, support::Icon::None, start});
  return Take(browseAnswers, std::string());
}

void ScriptedDialogs::OpenWithShell(const std::string& target) {
  Record({"shell", {}, target, support::Buttons::Ok, support::Icon::None, {}});
}

std::vector<ScriptedDialogs::Shown> ScriptedDialogs::Of(const std::string& kind) const {
  std::vector<Shown> out;
  for (const auto& s : shown)
    if (s.kind == kind) out.push_back(s);
  return out;
}

std::vector<std::string> ScriptedDialogs::MessageTexts() const {
  std::vector<std::string> out;
  for (const auto& s : shown)
    if (s.kind == "message") out.push_back(s.text);
  return out;
}

}  // namespace testing_support
