#include "support/folder_scan.h"

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

namespace support {

namespace fs = std::filesystem;

namespace {

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

// One character's small letter, for the alphabets whose capitals file names
// use: Latin (with its extensions), Greek, Cyrillic, Armenian and the
// full-width Latin letters. Other characters are their own.
char32_t SmallLetter(char32_t c) {
  // Ranges of pairs, capital on the even code and small letter on the odd one.
  auto pairs = [&](char32_t from, char32_t to) { return c >= from && c <= to; };
  if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c == 0x17F) return U's';
  if (c == 0x130 || c == 0x131) return c;  // the Turkish i's pair with nothing else
  if (pairs(0x100, 0x137) || pairs(0x14A, 0x177) || pairs(0x1DE, 0x1EF) || pairs(0x1F8, 0x21F) ||
      pairs(0x222, 0x233) || pairs(0x460, 0x481) || pairs(0x48A, 0x4BF) || pairs(0x4D0, 0x52F) ||
      pairs(0x1E00, 0x1E95) || pairs(0x1EA0, 0x1EFF))
    return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E) || (c >= 0x1CD && c <= 0x1DC) ||
      (c >= 0x4C1 && c <= 0x4CE))
    return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c == 0x3C2) return 0x3C3;  // the final sigma is a sigma
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x531 && c <= 0x556) return c + 48;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

// The text in small letters, character by character; bytes that are not
// UTF-8 are kept as they are, each its own character.
std::u32string Folded(const std::string& text) {
  std::u32string codes;
  if (!DecodeUtf8(text, codes)) {
    codes.assign(text.begin(), text.end());
    for (char32_t& c : codes) c &= 0xFF;
  }
  for (char32_t& c : codes) c = SmallLetter(c);
  return codes;
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

bool IsOwnerOrLockFile(const std::string& name) {
  return (!name.empty() && name[0] == '~') || IsLockFileName(name);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (path.empty() || path.back() != kSep) path += kSep;
  return CollapseSeparators(path + name, kSep);
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

void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, Host& host) {
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

void WalkFolderFiles(const std::string& folder, const std::string& pattern, Steps& run, Host& host,
                     const std::function<void(const std::string&)>& take) {
  std::vector<std::string> folders;
  run(114, [&] {
    // The seed ends in the separator, without doubling a root's own.
    std::string seed = folder;
    if (seed.empty() || seed.back() != kSep) seed += kSep;
    folders.push_back(seed);
  });
  run(116, [&] { GetSubDirectories2016(folders, true, host); });

  for (const std::string& entry : folders) {
    std::string dir;
    std::vector<std::string> names;
    run(118, [&] { host.Yield(); });
    run(120, [&] { dir = entry.size() > 1 ? entry.substr(0, entry.size() - 1) : entry; });
    run(122, [&] { names = ListFolderFiles(dir, pattern); });
    for (const std::string& name : names) {
      if (run.test(124, [&] { return IsOwnerOrLockFile(name); })) continue;
      run(126, [&] {
        const std::string path = JoinPath(dir, name);
        if (fsys::IsExistingFile(path) &&
            fsys::Attributes(path) != (fsys::kAttrHidden | fsys::kAttrArchive))
          take(path);
      });
    }
  }
}

}  // namespace support
