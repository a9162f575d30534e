#pragma once
// Helpers of the word-processor tests: reading pieces back, splitting through
// the real engine.

#include <string>
#include <vector>

#include "testing.h"

namespace docx_test {

// The names of the entries of a zip package.
std::vector<std::string> Entries(const std::string& path);
// One entry's bytes ("" when absent).
std::string Entry(const std::string& path, const std::string& name);
// The main story text our word processor reads from a file.
std::string StoryText(const std::string& path);

struct SplitResult {
  std::vector<std::string> files;  // names written, sorted
  std::vector<std::string> reports;
};
// Splits `input` with engine::DoItByFile into `outDir`.
SplitResult Split(const std::string& input, const std::string& outDir);

// A 1x1 PNG.
std::string TinyPng();
// An inline picture that shows the image relationship `rid`.
std::string PictureRun(const std::string& rid, int docPrId);

}  // namespace docx_test
