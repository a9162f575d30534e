#pragma once
// Writing a zip package from named parts (used where whole packages are made
// from scratch: fixtures, samples, benchmarks).

#include <string>
#include <utility>
#include <vector>

namespace docx {

using PartList = std::vector<std::pair<std::string, std::string>>;  // name, bytes

// Writes the parts, deflated, in the order given; throws std::runtime_error
// with a readable description on failure.
void WriteZip(const std::string& path, const PartList& parts);

}  // namespace docx
