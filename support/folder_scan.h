#pragma once
// The folder scan behind "Add All Word File(s) In Folder", dropped folders,
// the sample files and folders given to parvane-split: collecting sub-folders
// breadth first and listing the files of one folder by a wildcard pattern.

#include <functional>
#include <string>
#include <vector>

namespace support {

class Host;
class Steps;

// Windows-style wildcards: "*" any run of characters, "?" one character,
// letter case ignored on every platform (a LETTER.DOCX answers "*.do*"; the
// letters of the Latin, Greek, Cyrillic and Armenian alphabets and the
// full-width Latin ones are matched in either case). As on
// Windows, a pattern ending in ".*" also matches names without that extension,
// so "*.*" matches every name.
bool WildcardMatch(const std::string& name, const std::string& pattern);

// True when the name holds a control character (below 32, or 127 to 159) or is
// not valid UTF-8. Names are Unicode: any printable character is supported.
bool HasUnsupportedChars(const std::string& name);

// LibreOffice's lock file for an open document, ".~lock.<name>#".
bool IsLockFileName(const std::string& name);
// Word's owner files ("~$letter.doc") and LibreOffice's lock files: never
// documents to split.
bool IsOwnerOrLockFile(const std::string& name);

// folder + separator + name with doubled separators collapsed. A folder that
// already ends in the separator (a drive root, "/") gets no second one.
std::string JoinPath(const std::string& folder, const std::string& name);

// The names (no folder) of the files in `folder` that match `pattern`, hidden
// files included, folders excluded, in the order the platform lists them. A
// missing folder gives no names; a folder that cannot be read throws
// std::system_error with a readable description.
std::vector<std::string> ListFolderFiles(const std::string& folder, const std::string& pattern);

// Appends to `folders` (each ending in the separator) every sub-folder below
// them, breadth first, the sub-folders of one parent in the platform's order;
// only one level when `recurse` is false. A folder whose sub-folders cannot be
// listed because access is denied or it has gone is taken out of `folders`.
// No folder is taken twice: a link to a folder already taken (a link loop
// included) is not followed. Yields through the host at every folder and
// sub-folder; reports other failures under the sub-folder collection's
// location and goes on.
void GetSubDirectories2016(std::vector<std::string>& folders, bool recurse, Host& host);

// Every file below `folder` whose name matches `pattern` ("*.do*", "*.*"), as
// "Add All Word File(s) In Folder" adds them: folder by folder breadth first,
// the folder itself first, each folder's files in the platform's order;
// Word's owner files, LibreOffice's lock files and files that are exactly
// hidden and archive are skipped. Each path, its separators collapsed, goes to
// `take`. Failures (`take`'s own included) are reported through `run`, under
// its location, at the add-folder steps 114 to 126, and the walk goes on.
void WalkFolderFiles(const std::string& folder, const std::string& pattern, Steps& run, Host& host,
                     const std::function<void(const std::string&)>& take);

}  // namespace support
