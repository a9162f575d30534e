#include "docx/zip_archive.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <string_view>
#include <thread>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "docx/errors.h"
#include "docx/zip_writer.h"
#include "support/large_pages.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/text.h"

namespace docx {

static_assert(ZipReader::kStored == ZIP_CM_STORE && ZipReader::kDeflated == ZIP_CM_DEFLATE);

namespace {

std::string CodeText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

std::string ArchiveText(zip_t* archive) {
  const char* text = archive ? zip_strerror(archive) : nullptr;
  return text ? text : "unknown zip error";
}

std::string Mib(std::uint64_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

// Reads `size` bytes of one entry (inflated, or as stored with
// ZIP_FL_COMPRESSED); a short, long or failed read is a damaged package. The
// bytes are taken in bounded chunks, so memory follows what the archive really
// holds, not what its directory claims.
std::string ReadWhole(zip_t* archive, zip_uint64_t index, zip_flags_t flags, std::uint64_t size,
                      std::uint64_t archiveLength, const std::string& label,
                      const std::string& name) {
  zip_file_t* file = zip_fopen_index(archive, index, flags);
  if (!file)
    throw Error(label + ": cannot read the part " + name + " (" + ArchiveText(archive) + ").",
                Status::kDamaged);
  constexpr std::uint64_t kChunk = 1u << 20;
  std::string bytes;
  // Stored bytes lie inside the archive: room for them costs no more than it
  // (and a byte for the read that finds the end).
  if (flags & ZIP_FL_COMPRESSED)
    bytes.reserve(static_cast<std::size_t>(std::min(size, archiveLength)) + 1);
  bool more = false;
  auto fail = [&](const std::string& what) {
    zip_fclose(file);
    throw Error(label + ": the part " + name + " " + what, Status::kDamaged);
  };
  while (true) {
    // Past the declared size one more read must find the end: that is where
    // the checksum of an inflated read is checked, and more bytes mean the
    // directory lied.
    const std::uint64_t want = bytes.size() < size ? std::min(kChunk, size - bytes.size()) : 1;
    const std::size_t at = bytes.size();
    bytes.resize(at + static_cast<std::size_t>(want));
    const zip_int64_t got = zip_fread(file, bytes.data() + at, want);
    if (got < 0) fail("is damaged (" + std::string(zip_file_strerror(file)) + ").");
    bytes.resize(at + static_cast<std::size_t>(got));
    if (got == 0) break;
    if (bytes.size() > size) {
      more = true;
      break;
    }
  }
  zip_fclose(file);
  if (more)
    throw Error(label + ": the part " + name + " is damaged (longer than its directory says).",
                Status::kDamaged);
  if (bytes.size() != size)
    throw Error(label + ": the part " + name + " is truncated.", Status::kDamaged);
  return bytes;
}

}  // namespace

bool SafePartName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    const std::string_view segment(name.data() + start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return false;
    if (start == 0 && segment.find(':') != std::string_view::npos) return false;
    if (end == name.size()) break;
    start = end + 1;
  }
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '\\') return false;
  return true;
}

struct ZipReader::Handle {
  zip_t* archive = nullptr;
  std::uint64_t length = 0;  // of the whole archive, in bytes
  std::string memory;        // the archive's bytes, when it was given as bytes
  ~Handle() {
    if (archive) zip_discard(archive);
  }
};

namespace {

[[noreturn]] void RefuseArchive(int code, const std::string& label) {
  // Files that do not begin like a zip were turned away before; this one
  // does, so a missing directory means it was cut short.
  if (code == ZIP_ER_EXISTS)
    throw Error(label + " is damaged: its zip directory lists two parts of the same name.",
                Status::kDamaged);
  if (code == ZIP_ER_NOZIP)
    throw Error(label +
                    " is damaged or truncated: it begins like a zip package but its zip "
                    "directory is missing.",
                Status::kDamaged);
  if (code == ZIP_ER_INCONS)
    throw Error(label + " is damaged: its zip directory does not match the parts it describes.",
                Status::kDamaged);
  throw Error(label + " is damaged or truncated: it is not a readable zip package (" +
                  CodeText(code) + ").",
              Status::kDamaged);
}

// Reads `n` bytes at `offset` of the archive; false past its end.
using ReadAt = std::function<bool(std::uint64_t offset, std::size_t n, std::string& out)>;

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[at + k]);
  return v;
}

// libzip's consistency check also refuses local headers whose extra fields it
// cannot parse, such as the padding that .NET's packaging writes; Word opens
// those files. This is the same check without the extra fields: each local
// header names the part, method, checksum and sizes its directory entry
// gives, and each part's data ends before the directory begins.
bool ConsistentApartFromExtraFields(const ReadAt& readAt, std::uint64_t length) {
  constexpr std::uint64_t kEnd = 22, kMaxComment = 0xFFFF;
  const std::uint64_t tailSize = std::min(length, kEnd + kMaxComment);
  std::string tail;
  if (tailSize < kEnd || !readAt(length - tailSize, static_cast<std::size_t>(tailSize), tail))
    return false;
  std::size_t end = std::string::npos;
  for (std::size_t at = tail.size() - kEnd + 1; at-- > 0;)
    if (tail.compare(at, 4, "PK\x05\x06") == 0) {
      end = at;
      break;
    }
  if (end == std::string::npos) return false;
  const std::uint32_t count = Le(tail, end + 10, 2);
  const std::uint64_t dirSize = Le(tail, end + 12, 4), dirOffset = Le(tail, end + 16, 4);
  if (count == 0xFFFF || dirSize == 0xFFFFFFFF || dirOffset == 0xFFFFFFFF) return false;  // zip64
  std::string dir;
  if (dirOffset + dirSize > length || !readAt(dirOffset, static_cast<std::size_t>(dirSize), dir))
    return false;
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 46 > dir.size() || dir.compare(at, 4, "PK\x01\x02") != 0) return false;
    const std::uint32_t method = Le(dir, at + 10, 2), crc = Le(dir, at + 16, 4);
    const std::uint64_t packed = Le(dir, at + 20, 4), size = Le(dir, at + 24, 4);
    const std::size_t nameLength = Le(dir, at + 28, 2);
    const std::size_t next = at + 46 + nameLength + Le(dir, at + 30, 2) + Le(dir, at + 32, 2);
    const std::uint64_t offset = Le(dir, at + 42, 4);
    if (next > dir.size()) return false;
    std::string local;
    if (!readAt(offset, 30 + nameLength, local) || local.compare(0, 4, "PK\x03\x04") != 0)
      return false;
    const bool descriptor = Le(local, 6, 2) & 8;
    const std::uint32_t lcrc = Le(local, 14, 4), lpacked = Le(local, 18, 4),
                        lsize = Le(local, 22, 4);
    if (Le(local, 8, 2) != method || Le(local, 26, 2) != nameLength ||
        local.compare(30, nameLength, dir, at + 46, nameLength) != 0)
      return false;
    const bool same = lcrc == crc && lpacked == packed && lsize == size;
    if (!same && !(descriptor && lcrc == 0 && lpacked == 0 && lsize == 0)) return false;
    if (offset + 30 + nameLength + Le(local, 28, 2) + packed > dirOffset) return false;
    at = next;
  }
  return true;
}

}  // namespace

ZipReader::ZipReader(const std::string& label)
    : handle_(std::make_unique<Handle>()), label_(label) {}

ZipReader::ZipReader(const std::string& path, const std::string& label) : ZipReader(label) {
  // The file is read whole and the archive opened from memory, so no handle
  // stays open on it while the package lives (a copied range may keep a
  // closed document's package): Windows refuses to delete or replace a file
  // that is open, and a working copy must go when its run ends.
  std::string bytes;
  int code = ZIP_ER_OPEN;
  if (std::FILE* file = support::OpenFile(path, "rb")) {
    // Room for the whole file at once (as large as it was when looked at).
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(support::ToFsPath(path), ec);
    if (!ec && size < (std::uintmax_t{1} << 32)) {
      bytes.reserve(static_cast<std::size_t>(size) + 1);
      support::MapPagesNow(bytes.data(), bytes.capacity());
    }
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      bytes.append(buffer, n);
    code = std::ferror(file) ? ZIP_ER_READ : 0;
    std::fclose(file);
  }
  if (code != 0) RefuseArchive(code, label);
  OpenFromMemory(std::move(bytes));
}

std::unique_ptr<ZipReader> ZipReader::FromBytes(std::string bytes, const std::string& label) {
  std::unique_ptr<ZipReader> reader(new ZipReader(label));
  reader->OpenFromMemory(std::move(bytes));
  return reader;
}

void ZipReader::OpenFromMemory(std::string bytes) {
  // The consistency check stays on: an archive whose directory and parts
  // disagree is damaged, and its sizes cannot be trusted. Only extra fields
  // that libzip cannot read are forgiven.
  Handle& h = *handle_;
  h.memory = std::move(bytes);
  h.length = h.memory.size();
  auto open = [&](int flags) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(h.memory.data(), h.memory.size(), 0, &error);
    if (source) {
      h.archive = zip_open_from_source(source, ZIP_RDONLY | flags, &error);
      if (!h.archive) zip_source_free(source);
    }
    const int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    return code;
  };
  int code = open(ZIP_CHECKCONS);
  const ReadAt readAt = [&](std::uint64_t offset, std::size_t n, std::string& out) {
    if (offset > h.length || n > h.length - offset) return false;
    out.assign(h.memory, static_cast<std::size_t>(offset), n);
    return true;
  };
  if (!h.archive && code == ZIP_ER_INCONS && ConsistentApartFromExtraFields(readAt, h.length))
    code = open(0);
  if (!h.archive) RefuseArchive(code, label_);
  Load();
}

void ZipReader::Load() {
  const zip_int64_t count = zip_get_num_entries(handle_->archive, 0);
  entries_.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(handle_->archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    if (!(st.valid & ZIP_STAT_NAME)) continue;
    Entry e;
    e.name = st.name;
    e.index = static_cast<std::uint64_t>(i);
    e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    e.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    e.method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : 0;
    e.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    // Without a known checksum the entry cannot be copied as it is.
    e.encrypted = !(st.valid & ZIP_STAT_CRC) ||
                  ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE);
    if (!e.name.empty() && e.name.back() == '/') continue;
    byName_.emplace(e.name, entries_.size());
    byLowerName_.emplace(support::AsciiLower(e.name), entries_.size());
    entries_.push_back(std::move(e));
  }
}

ZipReader::~ZipReader() = default;

const ZipReader::Entry* ZipReader::Find(const std::string& name) const {
  auto it = byName_.find(name);
  if (it != byName_.end()) return &entries_[it->second];
  it = byLowerName_.find(support::AsciiLower(name));
  return it != byLowerName_.end() ? &entries_[it->second] : nullptr;
}

void ZipReader::CheckSizes(const Entry& entry) const {
  const std::string part = label_ + ": the part " + entry.name;
  if (entry.size > kMaxEntrySize)
    throw Error(part + " would inflate to " + Mib(entry.size) +
                    ", more than a document can hold; the file is refused.",
                Status::kTooLarge);
  // An entry's stored bytes lie inside the archive: a directory that claims
  // more than the whole file holds is damaged, whatever it says.
  if (handle_->length > 0 && entry.compressedSize > handle_->length)
    throw Error(label_ + " is damaged: the part " + entry.name + " claims " +
                    std::to_string(entry.compressedSize) +
                    " bytes, more than the whole file holds.",
                Status::kDamaged);
  if (!entry.encrypted && entry.method == ZIP_CM_STORE && entry.size != entry.compressedSize)
    throw Error(label_ + " is damaged: the part " + entry.name +
                    " is stored as it is, but its directory gives it two different sizes.",
                Status::kDamaged);
  // A compressed size of 0 is no licence to inflate without bound.
  if (entry.size > kMaxRatioSize && entry.size / kMaxRatio >= entry.compressedSize)
    throw Error(part + " inflates " +
                    (entry.compressedSize ? std::to_string(entry.size / entry.compressedSize)
                                          : std::string("without bound")) +
                    " times to " + Mib(entry.size) +
                    " (a decompression bomb); the file is refused.",
                Status::kTooLarge);
  if (!entry.encrypted && entry.method == ZIP_CM_DEFLATE &&
      entry.size / kDeflateMaxRatio > entry.compressedSize)
    throw Error(label_ + " is damaged: the part " + entry.name + " claims to inflate to " +
                    std::to_string(entry.size) + " bytes from " +
                    std::to_string(entry.compressedSize) + ", more than any compressed data can.",
                Status::kDamaged);
}

std::string ZipReader::Inflate(const std::string& packed, const Entry& entry) const {
  struct Decompressor {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ~Decompressor() {
      if (d) libdeflate_free_decompressor(d);
    }
  };
  thread_local Decompressor inflater;
  if (!inflater.d) throw Error(label_ + ": out of memory reading the part " + entry.name + ".");
  // A large part (a merge's body) is given large pages before it is filled.
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(entry.size));
  support::PreferLargePages(bytes.data(), bytes.capacity());
  support::MapPagesNow(bytes.data(), bytes.capacity());
  bytes.resize(static_cast<std::size_t>(entry.size));
  std::size_t got = 0;
  const libdeflate_result rc = libdeflate_deflate_decompress(
      inflater.d, packed.data(), packed.size(), bytes.data(), bytes.size(), &got);
  if (rc == LIBDEFLATE_SHORT_OUTPUT || (rc == LIBDEFLATE_SUCCESS && got != bytes.size()))
    throw Error(label_ + ": the part " + entry.name + " is truncated.", Status::kDamaged);
  if (rc != LIBDEFLATE_SUCCESS)
    throw Error(label_ + ": the part " + entry.name + " is damaged (invalid compressed data).",
                Status::kDamaged);
  if (libdeflate_crc32(0, bytes.data(), bytes.size()) != entry.crc)
    throw Error(label_ + ": the part " + entry.name + " is damaged (CRC error).", Status::kDamaged);
  return bytes;
}

std::string ZipReader::Read(const Entry& entry) const {
  if (!Deflated(entry)) {
    CheckSizes(entry);
    return ReadWhole(handle_->archive, entry.index, 0, entry.size, 0, label_, entry.name);
  }
  // Deflated parts are inflated in one go, which is much faster than through
  // the archive's stream; the checksum is checked all the same.
  return Inflate(ReadPacked(entry), entry);
}

bool ZipReader::Deflated(const Entry& entry) const {
  return entry.method == ZIP_CM_DEFLATE && !entry.encrypted;
}

std::string ZipReader::ReadPacked(const Entry& entry) const {
  CheckSizes(entry);
  return ReadWhole(handle_->archive, entry.index, ZIP_FL_COMPRESSED, entry.compressedSize,
                   handle_->length, label_, entry.name);
}

const std::string& ZipReader::Raw(const Entry& entry) const {
  auto it = raw_.find(entry.index);
  if (it != raw_.end()) return it->second;
  if (auto same = sameAs_.find(entry.index); same != sameAs_.end()) return raw_.at(same->second);
  if (auto bad = damaged_.find(entry.index); bad != damaged_.end()) throw bad->second;
  try {
    CheckSizes(entry);
    std::string raw = ReadWhole(handle_->archive, entry.index, ZIP_FL_COMPRESSED,
                                entry.compressedSize, handle_->length, label_, entry.name);
    // The same stored bytes under the same method and checksum are the same
    // part, checked already.
    for (auto [k, end] = rawByCrc_.equal_range(entry.crc); k != end; ++k) {
      const Kept& kept = k->second;
      if (kept.method == entry.method && kept.encrypted == entry.encrypted &&
          kept.size == entry.size && raw_.at(kept.index) == raw) {
        sameAs_.emplace(entry.index, kept.index);
        return raw_.at(kept.index);
      }
    }
    // Copied as they are, the bytes would reach every piece unchecked.
    if (entry.method == ZIP_CM_DEFLATE && !entry.encrypted)
      Inflate(raw, entry);
    else if (entry.method == ZIP_CM_STORE && !entry.encrypted &&
             libdeflate_crc32(0, raw.data(), raw.size()) != entry.crc)
      throw Error(label_ + ": the part " + entry.name + " is damaged (CRC error).",
                  Status::kDamaged);
    rawByCrc_.emplace(entry.crc, Kept{entry.index, entry.size, entry.method, entry.encrypted});
    return raw_.emplace(entry.index, std::move(raw)).first->second;
  } catch (const Error& e) {
    damaged_.emplace(entry.index, e);
    throw;
  }
}

namespace {

constexpr std::uint16_t kStore = 0;
constexpr std::uint16_t kDeflate = 8;

// Raw deflate of a whole part at once. One compressor per level and thread:
// setting one up costs more than compressing a piece's small parts.
std::string Deflate(const std::string& in, int level, const std::string& what) {
  struct Compressor {
    libdeflate_compressor* c = nullptr;
    ~Compressor() {
      if (c) libdeflate_free_compressor(c);
    }
  };
  thread_local Compressor compressors[13];
  level = std::clamp(level, 0, 12);
  Compressor& k = compressors[level];
  if (!k.c) k.c = libdeflate_alloc_compressor(level);
  if (!k.c) throw Error("Cannot compress " + what + ": out of memory.");
  std::string out(libdeflate_deflate_compress_bound(k.c, in.size()), '\0');
  const std::size_t size =
      libdeflate_deflate_compress(k.c, in.data(), in.size(), out.data(), out.size());
  if (size == 0) throw Error("Cannot compress " + what + ".");
  out.resize(size);
  return out;
}

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The MS-DOS time and date stamped on every entry: 1980-01-01 00:00, the
// earliest the format can say, as Word stamps its own packages. The moment of
// writing would make two splits of one document differ byte for byte.
constexpr std::uint16_t kDosTime = 0;
constexpr std::uint16_t kDosDate = (1 << 5) | 1;

long ProcessId() {
#if defined(_WIN32)
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

// One thread beside the caller's that makes and deflates parts while the
// caller prepares the rest of its package. None on a machine with one core.
class Background {
 public:
  static Background* Get() {
    static const long owner = ProcessId();
    static Background* shared = Start();
    // A child forked from a process that had the thread has no thread of its
    // own (and its lock may be held as it was at the fork): it makes its
    // parts in turn.
    return ProcessId() == owner ? shared : nullptr;
  }
  void Run(std::function<void()> job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
  }

 private:
  // The thread stays for the process's life (it is never joined, so no
  // exit-time destructor can wait on it); it holds no job once every
  // ZipWriter has finished.
  Background() {
    std::thread([this] { Loop(); }).detach();
  }
  static Background* Start() {
    if (std::thread::hardware_concurrency() < 2) return nullptr;
    try {
      return new Background();
    } catch (const std::exception&) {
      return nullptr;  // no thread to be had: parts are made in turn
    }
  }
  void Loop() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return !jobs_.empty(); });
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
};

bool Ascii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

ZipWriter::ZipWriter(const std::string& label) : label_(label) {}

ZipWriter::~ZipWriter() {
  // A part still being made reads what its caller owns: it is waited for.
  for (auto& [slot, part] : later_)
    if (part.valid()) part.wait();
}

void ZipWriter::Put(Item item) {
  if (item.name.size() > 0xFFFF)
    throw Error("Cannot add a part named \"" + item.name.substr(0, 80) + "\" to " + label_ +
                ": the name is too long.");
  if (!SafePartName(item.name))
    throw Error("Cannot add a part named \"" + item.name.substr(0, 80) + "\" to " + label_ +
                ": it is not a name a part can have inside a package.");
  auto [it, fresh] = byName_.emplace(item.name, items_.size());
  if (fresh) {
    items_.push_back(std::move(item));
    return;
  }
  // A part that replaces one still being made: the later one stands.
  for (auto p = later_.begin(); p != later_.end(); ++p) {
    if (p->first != it->second) continue;
    p->second.wait();
    later_.erase(p);
    break;
  }
  items_[it->second] = std::move(item);
}

void ZipWriter::Add(const std::string& name, std::string bytes, bool fast) {
  Put(Made(name, std::move(bytes), fast));
}

void ZipWriter::AddLater(const std::string& name, std::function<std::string()> make, bool fast) {
  Background* background = Background::Get();
  if (!background) {
    Add(name, make(), fast);
    return;
  }
  Item slot;
  slot.name = name;
  Put(std::move(slot));  // the name is checked, and the place taken, now
  auto task = std::make_shared<std::packaged_task<Item()>>(
      [this, name, make = std::move(make), fast] { return Made(name, make(), fast); });
  later_.emplace_back(byName_.at(name), task->get_future());
  background->Run([task] { (*task)(); });
}

void ZipWriter::Settle() {
  // Every part is waited for before any failure is passed on.
  for (auto& [slot, part] : later_) part.wait();
  auto pending = std::move(later_);
  later_.clear();
  for (auto& [slot, part] : pending) items_[slot] = part.get();
}

ZipWriter::Packed ZipWriter::Pack(const std::string& name, std::string bytes, bool fast) {
  Packed packed;
  packed.size = bytes.size();
  packed.crc = libdeflate_crc32(0, bytes.data(), bytes.size());
  // Tiny parts of a piece (relationships, content types) gain a few hundred
  // bytes from deflating, at a cost that adds up over thousands of pieces.
  constexpr std::size_t kStoreBelow = 1024;
  std::string deflated =
      fast && bytes.size() < kStoreBelow ? std::string() : Deflate(bytes, fast ? 1 : 6, name);
  if (!deflated.empty() && deflated.size() < bytes.size()) {
    packed.data = std::move(deflated);
    packed.method = kDeflate;
  } else {
    packed.data = std::move(bytes);  // what does not shrink is stored
    packed.method = kStore;
  }
  return packed;
}

ZipWriter::Item ZipWriter::ItemOf(const std::string& name, Packed packed) {
  Item item;
  item.name = name;
  item.own = std::move(packed.data);
  item.size = packed.size;
  item.crc = packed.crc;
  item.method = packed.method;
  return item;
}

ZipWriter::Item ZipWriter::Made(const std::string& name, std::string bytes, bool fast) const {
  return ItemOf(name, Pack(name, std::move(bytes), fast));
}

void ZipWriter::AddPacked(const std::string& name, Packed packed) {
  Put(ItemOf(name, std::move(packed)));
}

void ZipWriter::CopyRaw(const std::string& name, const ZipReader& from,
                        const ZipReader::Entry& entry) {
  if (entry.encrypted || (entry.method != ZIP_CM_STORE && entry.method != ZIP_CM_DEFLATE)) {
    Add(name, from.Read(entry));
    return;
  }
  Item item;
  item.name = name;
  item.raw = &from.Raw(entry);
  item.size = entry.size;
  item.crc = entry.crc;
  item.method = entry.method == ZIP_CM_STORE ? kStore : kDeflate;
  Put(std::move(item));
}

std::string ZipWriter::Finish() {
  Settle();
  constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  std::size_t total = 22;
  for (const Item& item : items_) total += 30 + 46 + 2 * item.name.size() + item.Data().size();
  if (items_.size() > 0xFFFF || total > kMax32)
    throw Error("Cannot write " + label_ + ": it would hold more than 65,535 parts or 4 GiB.");
  for (const Item& item : items_)
    if (item.size > kMax32)
      throw Error("Cannot write " + label_ + ": the part " + item.name + " is larger than 4 GiB.");
  std::string out;
  out.reserve(total);
  std::vector<std::uint32_t> offsets;
  offsets.reserve(items_.size());
  auto common = [&](const Item& item) {
    Put16(out, 20);                              // version needed: deflate
    Put16(out, Ascii(item.name) ? 0 : 1 << 11);  // flags: UTF-8 name
    Put16(out, item.method);
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, item.crc);
    Put32(out, static_cast<std::uint32_t>(item.Data().size()));
    Put32(out, static_cast<std::uint32_t>(item.size));
    Put16(out, static_cast<std::uint32_t>(item.name.size()));
    Put16(out, 0);  // extra field length
  };
  for (const Item& item : items_) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    Put32(out, 0x04034b50);
    common(item);
    out += item.name;
    out += item.Data();
  }
  const std::size_t directory = out.size();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    Put32(out, 0x02014b50);
    Put16(out, 20);  // made by: MS-DOS attributes, zip 2.0
    common(item);
    Put16(out, 0);  // comment length
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, 0);  // external attributes
    Put32(out, offsets[i]);
    out += item.name;
  }
  const std::size_t directorySize = out.size() - directory;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(items_.size()));
  Put16(out, static_cast<std::uint32_t>(items_.size()));
  Put32(out, static_cast<std::uint32_t>(directorySize));
  Put32(out, static_cast<std::uint32_t>(directory));
  Put16(out, 0);  // comment length
  items_.clear();
  byName_.clear();
  return out;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = support::OpenFile(path, "wb");
  if (!file) throw Error("Cannot create " + path + ": " + std::strerror(errno) + ".");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int error = written ? 0 : errno;
  if (std::fflush(file) != 0 && !error) error = errno;
  if (std::fclose(file) != 0 && !error) error = errno;
  if (!written || error) {
    std::error_code ignored;
    std::filesystem::remove(support::ToFsPath(path), ignored);
    throw Error("Cannot write " + path + ": " + std::strerror(error ? error : EIO) + ".");
  }
}

void WriteZip(const std::string& path, const PartList& parts) {
  try {
    ZipWriter writer(path);
    for (const auto& [name, bytes] : parts) writer.Add(name, bytes);
    WriteFileBytes(path, writer.Finish());
  } catch (const Error& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace docx
