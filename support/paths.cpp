#include "support/paths.h"

#include <algorithm>
#include <system_error>

#include "support/host.h"

namespace fs = std::filesystem;

namespace support {

std::string GetFileName(const std::string& path, char sep) {
  const auto pos = path.rfind(sep);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string GetFolderPart(const std::string& path, char sep) {
  const auto pos = path.rfind(sep);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string StripExtension(const std::string& name) {
  const auto pos = name.rfind('.');
  if (pos == std::string::npos || pos == 0) return name;
  return name.substr(0, pos);
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  return GetFolderPart(path) + StripExtension(GetFileName(path)) + "." + extension;
}

std::string GetExtension(const std::string& name) {
  const auto pos = name.rfind('.');
  return pos == std::string::npos ? name : name.substr(pos + 1);
}

std::string ZeroPad(long long number, int width) {
  std::string text = std::to_string(number);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

namespace {
// Replaces each doubled separator by one, resuming after the pair replaced.
std::string CollapsePairs(const std::string& text, char sep) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) ++i;
  }
  return out;
}
}  // namespace

std::string CollapseSeparators(const std::string& path, char sep) {
  if (path.empty() || path[0] != sep) return CollapsePairs(path, sep);
  std::size_t first = 1;
  while (first < path.size() && path[first] == sep) ++first;
  // With "/" a single leading separator is the root of an absolute path, not
  // half of a network prefix: it stays single.
  if (sep == '/' && first == 1) return CollapsePairs(path, sep);
  return std::string(2, sep) + CollapsePairs(path.substr(first), sep);
}

std::string PathInFolder(const std::string& folder, const std::string& name, char sep) {
  if (folder.empty()) return name;
  // A folder that ends in the separator (a root) gets no second one: the root
  // "/" gives "/x.docx", not the network-like "//x.docx".
  if (folder.back() == sep) return CollapseSeparators(folder + name, sep);
  return CollapseSeparators(folder + sep + name, sep);
}

bool PathExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  (void)fs::last_write_time(ToFsPath(path), ec);
  return !ec;
}

bool IsFolder(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  return fs::is_directory(ToFsPath(path), ec);
}

void DeleteFileForced(const std::string& path) {
  const fs::path p = ToFsPath(path);
  std::error_code ec;
  const auto status = fs::symlink_status(p, ec);
  if (ec) throw std::system_error(ec, "File not found: " + path);
  if (fs::is_directory(status)) {
    throw std::system_error(std::make_error_code(std::errc::is_a_directory),
                            "Cannot delete a folder as a file: " + path);
  }
  // A read-only file: give the owner write permission first (on Windows this
  // clears the read-only attribute), then remove it.
  fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
  if (!fs::remove(p, ec) || ec) {
    throw std::system_error(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory),
                            "Cannot delete " + path);
  }
}

void DeleteFileQuietly(const std::string& path, Host& host) {
  try {
    host.Yield();
  } catch (...) {
  }
  try {
    std::error_code ec;
    const fs::path p = ToFsPath(path);
    if (!fs::is_directory(fs::symlink_status(p, ec)) && fs::remove(p, ec) && !ec) return;
    DeleteFileForced(path);
  } catch (...) {
  }
}

bool ListContains(const std::vector<std::string>& entries, const std::string& text) {
  return std::find(entries.begin(), entries.end(), text) != entries.end();
}

fs::path ToFsPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string FromFsPath(const fs::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  const bool same = fs::equivalent(ToFsPath(a), ToFsPath(b), ec);
  return !ec && same;
}

namespace {
std::string& ProgramFolderStore() {
  static std::string folder;
  return folder;
}
}  // namespace

const std::string& ProgramFolder() {
  return ProgramFolderStore();
}
void SetProgramFolder(const std::string& folder) {
  ProgramFolderStore() = folder;
}

}  // namespace support
