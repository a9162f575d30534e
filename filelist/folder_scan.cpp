#include "filelist/folder_scan.h"

#include <QString>
#include <filesystem>
#include <set>
#include <system_error>

#include "support/file_attributes.h"
#include "support/file_identity.h"
#include "support/host.h"
#include "support/locations.h"
#include "support/paths.h"
#include "support/steps.h"
#include "support/text.h"

namespace filelist {

namespace fs = std::filesystem;
namespace fsys = support::fsys;

namespace {

std::u32string Folded(const std::string& text) {
  return QString::fromStdString(text).toCaseFolded().toStdU32String();
}

// Greedy matching with one back-tracking point per "*": linear in practice,
// never exponential, whatever the pattern.
bool Match(const std::u32string& name, const std::u32string& pattern) {
  std::size_t n = 0, p = 0;
  std::size_t starP = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == U'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u32string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

bool IsAccessDenied(const std::error_code& ec) {
  return ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted;
}
bool IsPathNotFound(const std::error_code& ec) {
  return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory;
}

std::string WithoutClosingSeparator(const std::string& folder) {
  if (folder.size() > 1 && folder.back() == support::kSep)
    return folder.substr(0, folder.size() - 1);
  return folder;
}

// A folder is entered unless it is hidden and system (with or without the
// reparse bit); a drive's root always is.
bool MayEnter(const std::string& folder) {
  if (fsys::IsRootFolder(folder)) return true;
  const int attributes = fsys::Attributes(folder);
  return attributes != 22 && attributes != 1046;
}

}  // namespace

bool WildcardMatch(const std::string& name, const std::string& pattern) {
  const std::u32string n = Folded(name);
  const std::u32string p = Folded(pattern);
  if (Match(n, p)) return true;
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, U".*") == 0)
    return Match(n, p.substr(0, p.size() - 2));
  return false;
}

bool HasUnsupportedChars(const std::string& name) {
  std::u32string codes;
  if (!support::DecodeUtf8(name, codes)) return true;
  for (char32_t c : codes) {
    if (c < 32 || (c >= 127 && c <= 159)) return true;
  }
  return false;
}

bool IsLockFileName(const std::string& name) {
  return name.size() > 7 && name.compare(0, 7, ".~lock.") == 0 && name.back() == '#';
}

std::vector<std::string> ListFolderFiles(const std::string& folder, const std::string& pattern) {
  std::string dir = folder;
  if (dir.empty() || dir.back() != support::kSep) dir += support::kSep;
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(support::ToFsPath(dir), ec);
  if (ec) {
    if (IsPathNotFound(ec)) return names;
    throw std::system_error(ec, "Cannot list the files of " + folder);
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code entryError;
    if (it->is_directory(entryError)) continue;
    const std::string name = support::FromFsPath(it->path().filename());
    // A name that is not valid UTF-8 cannot be shown or handed on unchanged.
    std::u32string codes;
    if (!support::DecodeUtf8(name, codes)) continue;
    if (!WildcardMatch(name, pattern)) continue;
    if (fsys::IsExistingFile(dir + name)) names.push_back(name);
  }
  if (ec) throw std::system_error(ec, "Cannot list the files of " + folder);
  return names;
}

void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, support::Host& host) {
  support::Steps run{loc::kGetSubDirectories, host};

  // Every folder taken so far, by identity, so that a link never leads the
  // scan back into a folder it already has.
  std::set<support::FileIdentity> taken;
  run(100, [&] {
    for (const auto& f : folders) {
      if (const auto id = support::IdentityOf(WithoutClosingSeparator(f))) taken.insert(*id);
    }
  });

  // Level by level: `level` is the list being listed, `removed` marks its
  // folders whose sub-folders could not be listed for want of access or
  // because they have gone.
  std::vector<std::string> level = folders;
  std::vector<bool> removedSeeds(level.size(), false);
  std::vector<std::string> collected;  // levels below the seeds, in order
  bool first = true;

  while (!level.empty()) {
    std::vector<std::string> next;
    std::vector<bool> removed(level.size(), false);
    for (std::size_t i = 0; i < level.size(); ++i) {
      const std::string& f = level[i];
      if (!run.test(102, [&] { return support::IsFolder(f) && !fsys::FolderPathTooLong(f); }))
        continue;
      run(104, [&] { host.Yield(); });
      if (!run.test(106, [&] { return MayEnter(f); })) continue;

      // Own handling for this stretch: denied and not-found take the folder
      // out, any other failure ends the listing of this folder.
      std::error_code ec;
      fs::directory_iterator it(support::ToFsPath(f), ec);
      for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code entryError;
        if (!it->is_directory(entryError)) continue;
        run(108, [&] { host.Yield(); });
        std::string name;
        run(110, [&] { name = support::FromFsPath(it->path().filename()); });
        if (run.test(112, [&] {
              return name.empty() || fsys::NameTooLong(name) || HasUnsupportedChars(name) ||
                     name == "." || name == "..";
            }))
          continue;
        run(114, [&] {
          const std::string child = f + name + support::kSep;
          const auto id = support::IdentityOf(WithoutClosingSeparator(child));
          if (id && !taken.insert(*id).second) return;
          next.push_back(child);
        });
      }
      if (ec && (IsAccessDenied(ec) || IsPathNotFound(ec))) removed[i] = true;
    }

    if (first) {
      removedSeeds = removed;
    } else {
      for (std::size_t i = 0; i < level.size(); ++i) {
        if (removed[i]) continue;
        run(140, [&] { host.Yield(); });
        if (run.test(142, [&] { return support::IsFolder(level[i]) && MayEnter(level[i]); }))
          run(144, [&] { collected.push_back(level[i]); });
      }
    }
    first = false;
    if (!recurse) {
      // One level only: the sub-folders are taken as they are.
      for (const auto& n : next) {
        run(140, [&] { host.Yield(); });
        if (run.test(142, [&] { return support::IsFolder(n) && MayEnter(n); }))
          run(144, [&] { collected.push_back(n); });
      }
      break;
    }
    level = std::move(next);
  }

  run(160, [&] {
    std::vector<std::string> result;
    for (std::size_t i = 0; i < folders.size(); ++i)
      if (!removedSeeds[i]) result.push_back(folders[i]);
    result.insert(result.end(), collected.begin(), collected.end());
    folders = std::move(result);
  });
}

}  // namespace filelist
