#pragma once
// The engine's operations: splitting one document, naming splits from their
// contents, and the checks that the word processor can be used.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/word.h"

namespace support {
class Host;
class Dialogs;
}  // namespace support

namespace engine {

// Keeps the pieces of one run from destroying anything: an input of the run
// is never overwritten by a piece, and a piece never overwrites a piece written
// earlier in the same run. A piece whose name would do either gets the first
// free name of the form "Letters-0001 (2).docx". Pieces of earlier runs are
// overwritten, as users re-run splits.
class RunLedger {
 public:
  // A file that no piece may replace (an input of this run).
  void Protect(const std::string& path);
  // The path to save a piece at, given the path its name asks for; with a
  // `sibling` extension ("pdf"), that file beside it is claimed too.
  std::string Claim(const std::string& wanted, const std::string& sibling = {});
  // Records that a claimed piece was saved.
  void Saved(const std::string& path);
  // The pieces saved so far in this run, in order.
  const std::vector<std::string>& SavedPieces() const { return saved_; }

 private:
  bool Taken(const std::string& path) const;
  // Spelled paths (normalised) and file identities that are taken: the inputs
  // and the pieces of this run. One look at the file system per piece, however
  // long the run.
  std::set<std::string> names_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> files_;
  std::vector<std::string> saved_;
};

// Naming each piece from its own contents: the word count X and the page Y of
// the rule "on page y"; the rule itself is the host's live content rule.
struct PieceNaming {
  int wordCount = 1;
  int pageNumber = 0;
};

// Splits one document: one file per section whose text is longer than one
// character, named base-0001.ext, saved where the host's settings say. Every
// failure is reported through the host and the split goes on, except that a
// save the folder refuses (full, read-only, gone) is reported once, with the
// number of the document's pieces not written, and ends the document. `ledger`
// may be null (a ledger of this call alone is used). `sourceFolder`, when
// given, is the folder that "Save results in folder of original file" means
// (the list entry's folder part, where a working copy lives elsewhere; "" for
// an entry without one, which lies in the current folder); by default the
// folder of `path`. With `naming`, each piece is named from its own contents
// (NamePieceByContent) in place of base; a piece whose rule finds no words
// keeps base.
void DoItByFile(const std::string& path, support::Host& host,
                word::Factory& factory = word::DefaultFactory(), RunLedger* ledger = nullptr,
                const std::optional<std::string>& sourceFolder = std::nullopt,
                const PieceNaming* naming = nullptr);

// The piece name for section `index`: the folder part of `fileName`, its base,
// "-", the index padded to four digits, ".", its extension.
std::string BuildSplitName(const std::string& fileName, int index);

// Derives a name from the first `wordCount` words that the host's content rule
// points at, copies the input under that name into the input's folder and
// returns the copy's path ("" when no usable name was found). The copy never
// replaces a file that exists: when the derived name names the input itself the
// input's own path is returned; when it names another file, the copy is made
// under the derived name in a private work folder inside the input's folder.
// The temporary copy of the input lives in a folder of the temporary folder
// that only this user can enter and that this call alone uses; it goes when
// the call ends.
std::string RenameFile(const std::string& path, int wordCount, int pageNumber, support::Host& host,
                       word::Factory& factory = word::DefaultFactory());

// The name cleaning of RenameFile: line ends removed, the characters file names
// refuse made blanks, invisible format characters (bidirectional controls,
// zero-width characters, the byte order mark, the soft hyphen) removed, outer
// blanks and leading dots trimmed, cut at a word boundary to `budget` bytes.
std::string CleanDerivedName(const std::string& raw, std::size_t budget);

// The name the piece document `piece` takes from its own contents: the host's
// content rule applied to it alone (its pages, its own primary header or
// footer), the words taken and cleaned as RenameFile takes and cleans them and
// cut to leave room for "-0001", " (2)" and ".`extension`". "" when the rule
// finds no words. Failures are reported through the host as RenameFile
// reports them.
std::string NamePieceByContent(word::Document& piece, const PieceNaming& naming,
                               const std::string& extension, support::Host& host);

// Deletes the working copy that RenameFile returned, unless it is empty or
// names the entry's own file, and removes its private work folder if it had one.
void DiscardWorkingCopy(const std::string& copyPath, const std::string& entryPath,
                        support::Host& host);
// The same at once, without yielding, for a program that is ending in the
// middle of a run, together with the temporary copies of RenameFile calls
// still under way; never throws.
void DiscardWorkingCopyNow(const std::string& copyPath, const std::string& entryPath);

// Creates and quits an instance; when none can be had, shows the advice
// message and calls `endProgram`.
void CheckWordInstalled(support::Dialogs& dialogs, const std::function<void()>& endProgram,
                        word::Factory& factory = word::DefaultFactory());
// True when a running instance answers with the name "Microsoft Word".
bool IsWordRunning(word::Factory& factory = word::DefaultFactory());
// True means stop the run: a word processor may be running and the user
// answered No.
bool ConfirmWordClosed(support::Dialogs& dialogs, word::Factory& factory = word::DefaultFactory());

// The advice message shown when no instance can be created.
std::string WordNotInstalledMessage();
// The question asked when a word processor may be open.
std::string WordMayBeOpenQuestion();

}  // namespace engine
