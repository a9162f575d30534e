#include "app_fixture.h"

#include <filesystem>

#include "engine/factory.h"
#include "support/paths.h"

namespace apptest {

namespace fs = std::filesystem;

void FormTest::SetUp() {
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromStdString(settingsDir_.str()));
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString(settingsDir_.str()));
  savedProgramFolder_ = support::ProgramFolder();
  support::SetProgramFolder(programDir_.str());
  engine::Builtin().SetFailCreation(false);
}

void FormTest::TearDown() {
  form_.reset();
  engine::Builtin().SetFailCreation(false);
  support::SetProgramFolder(savedProgramFolder_);
}

RecordingForm& FormTest::MakeForm() {
  form_ = std::make_unique<RecordingForm>(dialogs_);
  form_->SetMakerPageDraw([] { return 50; });
  return *form_;
}

RecordingForm& FormTest::LoadedForm() {
  MakeForm().Form_Load();
  return *form_;
}

std::map<std::string, std::string> FormTest::Store() const {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quillory", "Parvane");
  store.beginGroup("Parvane");
  std::map<std::string, std::string> values;
  for (const QString& key : store.childKeys())
    values[key.toStdString()] = store.value(key).toString().toStdString();
  return values;
}

void FormTest::Store(const std::string& key, const std::string& value) const {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quillory", "Parvane");
  store.beginGroup("Parvane");
  store.setValue(QString::fromStdString(key), QString::fromStdString(value));
  store.sync();
}

void FormTest::ShipCursor() const {
  fs::copy_file(fs::path(testing_support::SourceDir()) / "resources" / "HAND-M.CUR",
                programDir_.path() / "HAND-M.CUR");
}

void FormTest::ShipSkin(const std::string& text) const {
  fs::create_directories(programDir_.path() / "x");
  testing_support::WriteFile(programDir_.path() / "x" / "o.cjs", text);
}

std::vector<testing_support::ScriptedDialogs::Shown> FormTest::Reports() const {
  std::vector<testing_support::ScriptedDialogs::Shown> reports;
  for (const auto& shown : dialogs_.Of("message"))
    if (shown.title == "Application Error") reports.push_back(shown);
  return reports;
}

}  // namespace apptest
