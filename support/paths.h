#pragma once
// Path and file helpers shared by every subsystem.
//
// Paths are UTF-8 strings. The separator is the platform's own (kSep); every
// function that takes paths apart accepts it as a parameter so that the same
// rules can be exercised with "\" and with "/". Comparisons are exact.

#include <filesystem>
#include <string>
#include <vector>

namespace support {

class Host;

#ifdef _WIN32
inline constexpr char kSep = '\\';
#else
inline constexpr char kSep = '/';
#endif

// The text after the last separator; the whole text when there is none.
std::string GetFileName(const std::string& path, char sep = kSep);
// The text up to and including the last separator; "" when there is none.
std::string GetFolderPart(const std::string& path, char sep = kSep);
// The text before the last "."; the whole name when that "." is missing or first.
std::string StripExtension(const std::string& name);
// The path with its file's extension replaced (or added):
// "Letters-0001 (2).doc", "pdf" -> "Letters-0001 (2).pdf".
std::string WithExtension(const std::string& path, const std::string& extension);
// The text after the last "."; the whole name when it holds no ".".
std::string GetExtension(const std::string& name);
// The number in decimal, left-padded with "0" to the width (never cut).
std::string ZeroPad(long long number, int width);
// Doubled separators made single in one left-to-right pass; a run of two or
// more leading separators becomes exactly two (a network path keeps its leading
// pair). A single leading "\" gains a second one; a single leading "/" (the
// root of an absolute POSIX path) stays single.
std::string CollapseSeparators(const std::string& path, char sep = kSep);
// The path of `name` in `folder`: joined by one separator (none added when the
// folder ends in one) and passed through CollapseSeparators. An empty folder is the current folder
// (where a file name without a folder part lies): the name is then given as it stands, never joined
// to a separator, which would make it a name in the root.
std::string PathInFolder(const std::string& folder, const std::string& name, char sep = kSep);

// True when the last-change time of the path can be read. Never fails.
bool PathExists(const std::string& path);
// True only for an existing folder. Never fails.
bool IsFolder(const std::string& path);
// Deletes the file even when it is read-only; throws std::system_error on failure.
void DeleteFileForced(const std::string& path);
// Yields once through the host, deletes, falls back to the forced delete;
// never reports and never throws.
void DeleteFileQuietly(const std::string& path, Host& host);

// Exact text membership.
bool ListContains(const std::vector<std::string>& entries, const std::string& text);

// UTF-8 text <-> filesystem path, the same on every platform.
std::filesystem::path ToFsPath(const std::string& utf8);
std::string FromFsPath(const std::filesystem::path& path);

// True when both paths name the same existing file (letter case, doubled
// separators, links and "." parts do not make two paths different).
bool SameFile(const std::string& a, const std::string& b);

// The folder of the running program, with no closing separator. Set once at
// start by the program (from argv[0] or Qt); "" when unknown.
const std::string& ProgramFolder();
void SetProgramFolder(const std::string& folder);

}  // namespace support
