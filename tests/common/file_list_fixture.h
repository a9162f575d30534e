#pragma once
// A file list on a recording host and scripted dialogs, with a temporary
// folder tree and a settings store cleared for every test.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "filelist/file_list.h"
#include "scripted_dialogs.h"
#include "support/paths.h"
#include "testing.h"

namespace filelist_test {

namespace fs = std::filesystem;

// A host whose pointer can be set by the test, which records the pointer at
// every yield and can be told to fail one yield.
class TestHost : public testing_support::RecordingHost {
 public:
  std::vector<int> pointerAtYield;
  int failYield = 0;  // the yield (from 1) that throws; 0: none
  void Yield() override {
    RecordingHost::Yield();
    pointerAtYield.push_back(pointer);
    if (yields == failYield) throw std::runtime_error("The event loop refused to run.");
  }
};

class FileListTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates a file (and its folders) below the temporary folder; returns its
  // path as the list shows it.
  std::string Touch(const std::string& relative);
  std::string Mkdir(const std::string& relative);
  // The path of something below the temporary folder, in the list's form.
  std::string P(const std::string& relative) const;
  std::string Root() const { return support::FromFsPath(dir.path()); }

  // The names of a folder's sub-folders or files in the platform's listing
  // order, which the scan must follow.
  static std::vector<std::string> ListingOrder(const fs::path& folder, bool folders);

  TestHost host;
  testing_support::ScriptedDialogs dialogs;
  testing_support::TempDir dir;
  std::unique_ptr<filelist::FileList> list;
};

void ClearStoredSettings();

}  // namespace filelist_test
