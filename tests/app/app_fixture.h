#pragma once
// A main window of its own for every test: a private settings store, a
// private program folder, scripted dialogs and a start-up that never opens
// the maker's page.

#include <gtest/gtest.h>

#include <QSettings>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "scripted_dialogs.h"
#include "testing.h"

namespace apptest {

// The window with the progress values it was given, in order.
class RecordingForm : public app::Form1 {
 public:
  using app::Form1::Form1;
  std::vector<double> values;
  // Each text with the bar's value when it was set.
  std::vector<std::pair<std::string, int>> texts;
  // Called after each text is shown, to act in the middle of a run.
  std::function<void(const std::string&)> onText;
  // Called at each yield to the message loop, before the loop runs.
  std::function<void()> onYield;
  void Yield() override {
    if (onYield) onYield();
    app::Form1::Yield();
  }
  void SetProgressValue(double percent) override {
    values.push_back(percent);
    app::Form1::SetProgressValue(percent);
  }
  void SetProgressText(const std::string& text) override {
    app::Form1::SetProgressText(text);
    texts.emplace_back(text, Bar().value());
    if (onText) onText(text);
  }
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the window (not yet loaded).
  RecordingForm& MakeForm();
  // Makes and loads the window.
  RecordingForm& LoadedForm();

  // The settings store as text, key by key.
  std::map<std::string, std::string> Store() const;
  void Store(const std::string& key, const std::string& value) const;

  // The program folder's own files (cursor, skin).
  void ShipCursor() const;
  void ShipSkin(const std::string& text) const;

  std::vector<testing_support::ScriptedDialogs::Shown> Reports() const;

  testing_support::TempDir settingsDir_;
  testing_support::TempDir programDir_;
  testing_support::ScriptedDialogs dialogs_;
  std::unique_ptr<RecordingForm> form_;
  std::string savedProgramFolder_;
};

}  // namespace apptest
