#include "file_list_fixture.h"

#include <QSettings>

#include "app/settings.h"

namespace filelist_test {

void ClearStoredSettings() {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Quillory", "Parvane");
  store.beginGroup("Parvane");
  store.remove("Extension");
  store.remove("LastFolder");
  store.sync();
  app::LastFolder().clear();
}

void FileListTest::SetUp() {
  ClearStoredSettings();
  list = std::make_unique<filelist::FileList>(host, dialogs);
}

void FileListTest::TearDown() {
  list.reset();
  ClearStoredSettings();
}

std::string FileListTest::P(const std::string& relative) const {
  return support::FromFsPath(dir.path() / support::ToFsPath(relative));
}

std::string FileListTest::Touch(const std::string& relative) {
  const fs::path path = dir.path() / support::ToFsPath(relative);
  fs::create_directories(path.parent_path());
  testing_support::WriteFile(path, "content of " + relative);
  return support::FromFsPath(path);
}

std::string FileListTest::Mkdir(const std::string& relative) {
  const fs::path path = dir.path() / support::ToFsPath(relative);
  fs::create_directories(path);
  return support::FromFsPath(path);
}

std::vector<std::string> FileListTest::ListingOrder(const fs::path& folder, bool folders) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_directory() == folders)
      names.push_back(support::FromFsPath(entry.path().filename()));
  }
  return names;
}

}  // namespace filelist_test
