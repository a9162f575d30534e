#pragma once
// Putting a saved file in place whole.
//
// The bytes go to a new temporary file beside the target, of a short name of
// its own (so that it fits wherever the target's name fits), which is written,
// flushed, closed and renamed over the target. The target's name therefore only
// ever holds a complete file: the one it held before, or the new one.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace docx {

// Writes `bytes` as the file `path`. On failure nothing is left under either
// name and the error says why: FolderError when the folder itself refused
// (full, read-only, gone), so that any other file would fail there too; Error
// when it was this file.
void PutFileInPlace(const std::string& path, const std::string& bytes);

// The short name of the temporary file: "~pv", eight hexadecimal digits, ".tmp".
inline constexpr std::size_t kTemporaryNameLength = 15;

// The steps of PutFileInPlace, each of which a test can make fail the way a
// failing device does.
enum class FileStep { Create, Write, Flush, Rename };

// Called before each step with the bytes written so far. Before a write,
// `length` is the size of the chunk about to be written and may be shortened.
// A result other than 0 is the errno value the step then fails with (a write
// after writing the shortened chunk). Only tests set a hook, from code: no
// program's command line or environment reaches it.
using FileStepHook = std::function<int(FileStep step, std::uint64_t written, std::size_t& length)>;
// Sets the hook; an empty one takes it away.
void SetFileStepHook(FileStepHook hook);

}  // namespace docx
