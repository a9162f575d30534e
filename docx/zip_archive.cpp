#include "docx/zip_archive.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <string_view>

#include "docx/errors.h"
#include "docx/zip_writer.h"
#include "support/native_text.h"
#include "support/paths.h"
#include "support/text.h"

namespace docx {

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
// ZIP_FL_COMPRESSED); a short or failed read is a damaged package.
std::string ReadWhole(zip_t* archive, zip_uint64_t index, zip_flags_t flags, std::uint64_t size,
                      const std::string& label, const std::string& name) {
  zip_file_t* file = zip_fopen_index(archive, index, flags);
  if (!file)
    throw Error(label + ": cannot read the part " + name + " (" + ArchiveText(archive) + ").",
                Status::kDamaged);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const zip_int64_t got = zip_fread(file, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      const std::string text = zip_file_strerror(file);
      zip_fclose(file);
      throw Error(label + ": the part " + name + " is damaged (" + text + ").", Status::kDamaged);
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  zip_fclose(file);
  if (done != bytes.size())
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
  std::string bytes;  // the whole file, which the archive reads from
  ~Handle() {
    if (archive) zip_discard(archive);
  }
};

ZipReader::ZipReader(const std::string& path, const std::string& label)
    : handle_(std::make_unique<Handle>()), label_(label) {
  // The file is read whole and the archive opened from memory, so no handle
  // stays open on it while the package lives (a copied range may keep a
  // closed document's package): Windows refuses to delete or replace a file
  // that is open, and a working copy must go when its run ends.
  int code = ZIP_ER_OPEN;
  if (std::FILE* file = support::OpenFile(path, "rb")) {
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      handle_->bytes.append(buffer, n);
    code = std::ferror(file) ? ZIP_ER_READ : 0;
    std::fclose(file);
  }
  auto open = [&](int flags) -> zip_t* {
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive = nullptr;
    if (zip_source_t* source =
            zip_source_buffer_create(handle_->bytes.data(), handle_->bytes.size(), 0, &error)) {
      archive = zip_open_from_source(source, flags, &error);
      if (!archive) zip_source_free(source);
    }
    code = archive ? 0 : zip_error_code_zip(&error);
    zip_error_fini(&error);
    return archive;
  };
  if (code == 0) handle_->archive = open(ZIP_RDONLY | ZIP_CHECKCONS);
  if (!handle_->archive && code == ZIP_ER_INCONS) handle_->archive = open(ZIP_RDONLY);
  if (!handle_->archive) {
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
    throw Error(label + " is damaged or truncated: it is not a readable zip package (" +
                    CodeText(code) + ").",
                Status::kDamaged);
  }
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

std::string ZipReader::Read(const Entry& entry) const {
  if (entry.size > kMaxEntrySize)
    throw Error(label_ + ": the part " + entry.name + " would inflate to " + Mib(entry.size) +
                    ", more than a document can hold; the file is refused.",
                Status::kTooLarge);
  if (entry.size > kMaxRatioSize && entry.compressedSize > 0 &&
      entry.size / entry.compressedSize > kMaxRatio)
    throw Error(label_ + ": the part " + entry.name + " inflates " +
                    std::to_string(entry.size / entry.compressedSize) + " times to " +
                    Mib(entry.size) + " (a decompression bomb); the file is refused.",
                Status::kTooLarge);
  if (entry.method != ZIP_CM_DEFLATE || entry.encrypted)
    return ReadWhole(handle_->archive, entry.index, 0, entry.size, label_, entry.name);
  // Deflated parts are inflated in one go, which is much faster than through
  // the archive's stream; the checksum is checked all the same.
  const std::string packed = ReadWhole(handle_->archive, entry.index, ZIP_FL_COMPRESSED,
                                       entry.compressedSize, label_, entry.name);
  struct Decompressor {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ~Decompressor() {
      if (d) libdeflate_free_decompressor(d);
    }
  };
  thread_local Decompressor inflater;
  if (!inflater.d) throw Error(label_ + ": out of memory reading the part " + entry.name + ".");
  std::string bytes(static_cast<std::size_t>(entry.size), '\0');
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

const std::string& ZipReader::Raw(const Entry& entry) const {
  auto it = raw_.find(entry.index);
  if (it != raw_.end()) return it->second;
  if (entry.compressedSize > kMaxEntrySize)
    throw Error(label_ + ": the part " + entry.name + " holds " + Mib(entry.compressedSize) +
                    ", more than a document can hold; the file is refused.",
                Status::kTooLarge);
  return raw_
      .emplace(entry.index, ReadWhole(handle_->archive, entry.index, ZIP_FL_COMPRESSED,
                                      entry.compressedSize, label_, entry.name))
      .first->second;
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

// The MS-DOS time and date stamped on every entry: the moment of writing.
std::pair<std::uint16_t, std::uint16_t> DosNow() {
  const std::tm local = support::LocalTime(std::time(nullptr));
  if (local.tm_year < 80) return {0, (1 << 5) | 1};  // 1980-01-01, the earliest it can say
  const auto time =
      static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  const auto date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) |
                                               ((local.tm_mon + 1) << 5) | local.tm_mday);
  return {time, date};
}

bool Ascii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

ZipWriter::ZipWriter(const std::string& label) : label_(label) {}

ZipWriter::~ZipWriter() = default;

void ZipWriter::Put(Item item) {
  if (item.name.size() > 0xFFFF)
    throw Error("Cannot add a part named \"" + item.name.substr(0, 80) + "\" to " + label_ +
                ": the name is too long.");
  if (!SafePartName(item.name))
    throw Error("Cannot add a part named \"" + item.name.substr(0, 80) + "\" to " + label_ +
                ": it is not a name a part can have inside a package.");
  auto [it, fresh] = byName_.emplace(item.name, items_.size());
  if (fresh)
    items_.push_back(std::move(item));
  else
    items_[it->second] = std::move(item);
}

void ZipWriter::Add(const std::string& name, std::string bytes, bool fast) {
  Item item;
  item.name = name;
  item.size = bytes.size();
  item.crc = libdeflate_crc32(0, bytes.data(), bytes.size());
  // Tiny parts of a piece (relationships, content types) gain a few hundred
  // bytes from deflating, at a cost that adds up over thousands of pieces.
  constexpr std::size_t kStoreBelow = 1024;
  std::string deflated =
      fast && bytes.size() < kStoreBelow ? std::string() : Deflate(bytes, fast ? 1 : 6, name);
  if (!deflated.empty() && deflated.size() < bytes.size()) {
    item.own = std::move(deflated);
    item.method = kDeflate;
  } else {
    item.own = std::move(bytes);  // what does not shrink is stored
    item.method = kStore;
  }
  Put(std::move(item));
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
  constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  const auto [time, date] = DosNow();
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
    Put16(out, time);
    Put16(out, date);
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
