#pragma once
// The package layer's access to zip archives; the only place that knows libzip.

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "docx/errors.h"

namespace docx {

// Entries larger than this, once inflated, are refused outright.
inline constexpr std::uint64_t kMaxEntrySize = 1ull << 30;
// Entries that inflate more than kMaxRatio times and past kMaxRatioSize are
// taken for decompression bombs.
inline constexpr std::uint64_t kMaxRatio = 1000;
inline constexpr std::uint64_t kMaxRatioSize = 100ull << 20;
// No deflate stream inflates more than this many times its own length (a
// 258-byte match in two bits); an entry that claims more is damaged.
inline constexpr std::uint64_t kDeflateMaxRatio = 1032;

// Whether a part name stays inside its package wherever the package is
// unpacked: no backslash (read as a folder separator by some), no "." or ".."
// segment, no empty segment or leading "/", no control character and no drive
// ("C:") at its start.
bool SafePartName(const std::string& name);

// A zip archive opened for reading; throws docx::Error with a readable text.
class ZipReader {
 public:
  // The methods whose entries can be copied between archives as they are.
  static constexpr int kStored = 0, kDeflated = 8;

  struct Entry {
    std::string name;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    int method = 0;
    bool encrypted = false;
  };

  // `label` names the file in messages.
  ZipReader(const std::string& path, const std::string& label);
  // An archive held in memory (a package received as bytes).
  static std::unique_ptr<ZipReader> FromBytes(std::string bytes, const std::string& label);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  const std::vector<Entry>& Entries() const { return entries_; }
  // The entry of that part name (exact, then case-insensitive), or nullptr.
  const Entry* Find(const std::string& name) const;
  // The inflated bytes; refuses absurd sizes and sizes the archive cannot
  // hold, and checks the checksum.
  std::string Read(const Entry& entry) const;
  // Read in two halves, for a deflated entry that is not encrypted: its
  // stored bytes (the sizes checked), then, on any thread, those inflated
  // and checked.
  bool Deflated(const Entry& entry) const;
  std::string ReadPacked(const Entry& entry) const;
  std::string InflatePacked(const std::string& packed, const Entry& entry) const {
    return Inflate(packed, entry);
  }
  // The entry's bytes as stored in the archive (deflated or stored), read once
  // and kept: every piece copies the same shared parts. The first call checks
  // them against the entry's checksum (inflating them once), so a damaged
  // part is never copied into a piece as it is; a damaged entry throws on
  // every call. An entry stored byte for byte as one already kept (a merge
  // has a footer for each record, most of them alike) is that one's bytes.
  const std::string& Raw(const Entry& entry) const;

 private:
  explicit ZipReader(const std::string& label);
  void Load();
  // Opens the archive held in `bytes`, which the reader keeps.
  void OpenFromMemory(std::string bytes);
  // Refuses an entry whose sizes no archive of this length can hold, and
  // decompression bombs.
  void CheckSizes(const Entry& entry) const;
  std::string Inflate(const std::string& packed, const Entry& entry) const;

  struct Handle;
  std::unique_ptr<Handle> handle_;
  std::string label_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> byName_;
  std::unordered_map<std::string, std::size_t> byLowerName_;
  mutable std::unordered_map<std::uint64_t, std::string> raw_;
  // Entries stored byte for byte as an entry in raw_ (by checksum, those
  // kept), and which one each is.
  struct Kept {
    std::uint64_t index = 0, size = 0;
    int method = 0;
    bool encrypted = false;
  };
  mutable std::unordered_multimap<std::uint32_t, Kept> rawByCrc_;
  mutable std::unordered_map<std::uint64_t, std::uint64_t> sameAs_;
  mutable std::unordered_map<std::uint64_t, Error> damaged_;  // the reason, by entry
};

// A zip archive built in memory; Finish gives its bytes. A name added again
// replaces the earlier entry in its place; a name that is not SafePartName is
// refused.
class ZipWriter {
 public:
  // `label` names the archive in messages.
  explicit ZipWriter(const std::string& label);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Adds a part, deflated (at the fastest level when `fast`).
  void Add(const std::string& name, std::string bytes, bool fast = false);
  // Adds a part made by `make`, in this place among the entries, but made,
  // checksummed and deflated on a background thread while the caller goes on
  // (inline on a machine with one core). What `make` reads must not change
  // until Finish, which waits for it and throws what it threw; the destructor
  // waits for it too, without throwing.
  void AddLater(const std::string& name, std::function<std::string()> make, bool fast = false);
  // Adds an entry of another archive as its compressed bytes, unchanged.
  // `from` must stay open until Finish.
  void CopyRaw(const std::string& name, const ZipReader& from, const ZipReader::Entry& entry);
  // A part made ready beforehand, on any thread: checksummed and deflated (or
  // stored) as Add would, so that AddPacked adds exactly what Add would have.
  struct Packed {
    std::string data;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;
  };
  static Packed Pack(const std::string& name, std::string bytes, bool fast = false);
  void AddPacked(const std::string& name, Packed packed);
  std::string Finish();

 private:
  struct Item {
    std::string name;
    std::string own;                   // deflated bytes of an added part
    const std::string* raw = nullptr;  // or another archive's stored bytes
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;
    const std::string& Data() const { return raw ? *raw : own; }
  };
  void Put(Item item);
  static Item ItemOf(const std::string& name, Packed packed);
  Item Made(const std::string& name, std::string bytes, bool fast) const;
  void Settle();  // waits for the parts made in the background

  std::string label_;
  std::vector<Item> items_;
  std::unordered_map<std::string, std::size_t> byName_;
  std::vector<std::pair<std::size_t, std::future<Item>>> later_;  // slot, part
};

// Writes bytes to a new file (replacing one of that name); throws docx::Error
// with the system's reason (a full disk, a folder that refuses writing).
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace docx
