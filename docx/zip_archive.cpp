#include "docx/zip_archive.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "docx/errors.h"
#include "docx/zip_writer.h"

namespace docx {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

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

std::string Mib(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

struct ZipReader::Handle {
  zip_t* archive = nullptr;
  ~Handle() {
    if (archive) zip_discard(archive);
  }
};

ZipReader::ZipReader(const std::string& path, const std::string& label)
    : handle_(std::make_unique<Handle>()), label_(label) {
  int code = 0;
  handle_->archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
  if (!handle_->archive && code == ZIP_ER_INCONS)
    handle_->archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (!handle_->archive) {
    // Files that do not begin like a zip were turned away before; this one
    // does, so a missing directory means it was cut short.
    if (code == ZIP_ER_NOZIP)
      throw Error(label + " is damaged or truncated: it begins like a zip package but its zip "
                          "directory is missing.");
    throw Error(label + " is damaged or truncated: it is not a readable zip package (" +
                CodeText(code) + ").");
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
    if (!e.name.empty() && e.name.back() == '/') continue;
    byName_.emplace(e.name, entries_.size());
    byLowerName_.emplace(Lower(e.name), entries_.size());
    entries_.push_back(std::move(e));
  }
}

ZipReader::~ZipReader() = default;

const ZipReader::Entry* ZipReader::Find(const std::string& name) const {
  auto it = byName_.find(name);
  if (it != byName_.end()) return &entries_[it->second];
  it = byLowerName_.find(Lower(name));
  return it != byLowerName_.end() ? &entries_[it->second] : nullptr;
}

std::string ZipReader::Read(const Entry& entry) const {
  if (entry.size > kMaxEntrySize)
    throw Error(label_ + ": the part " + entry.name + " would inflate to " + Mib(entry.size) +
                ", more than a document can hold; the file is refused.");
  if (entry.size > kMaxRatioSize && entry.compressedSize > 0 &&
      entry.size / entry.compressedSize > kMaxRatio)
    throw Error(label_ + ": the part " + entry.name + " inflates " +
                std::to_string(entry.size / entry.compressedSize) + " times to " +
                Mib(entry.size) + " (a decompression bomb); the file is refused.");
  zip_file_t* file = zip_fopen_index(handle_->archive, entry.index, 0);
  if (!file)
    throw Error(label_ + ": cannot read the part " + entry.name + " (" +
                ArchiveText(handle_->archive) + ").");
  std::string bytes(static_cast<std::size_t>(entry.size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const zip_int64_t got = zip_fread(file, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      const std::string text = zip_file_strerror(file);
      zip_fclose(file);
      throw Error(label_ + ": the part " + entry.name + " is damaged (" + text + ").");
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  zip_fclose(file);
  if (done != bytes.size())
    throw Error(label_ + ": the part " + entry.name + " is truncated.");
  return bytes;
}

struct ZipWriter::Handle {
  zip_source_t* buffer = nullptr;
  zip_t* archive = nullptr;
  ~Handle() {
    if (archive) zip_discard(archive);
    if (buffer) zip_source_free(buffer);
  }
};

ZipWriter::ZipWriter(const std::string& label) : handle_(std::make_unique<Handle>()), path_(label) {
  zip_error_t error;
  zip_error_init(&error);
  handle_->buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (handle_->buffer) {
    zip_source_keep(handle_->buffer);
    handle_->archive = zip_open_from_source(handle_->buffer, ZIP_TRUNCATE, &error);
  }
  if (!handle_->archive) {
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error("Cannot make " + label + ": " + text + ".");
  }
  zip_error_fini(&error);
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::Add(const std::string& name, std::string bytes, bool fast) {
  buffers_.push_back(std::make_unique<std::string>(std::move(bytes)));
  const std::string& kept = *buffers_.back();
  zip_source_t* source = zip_source_buffer(handle_->archive, kept.data(), kept.size(), 0);
  if (!source) throw Error("Cannot add " + name + " to " + path_ + ": " + ArchiveText(handle_->archive));
  const zip_int64_t index =
      zip_file_add(handle_->archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    throw Error("Cannot add " + name + " to " + path_ + ": " + ArchiveText(handle_->archive));
  }
  if (fast)
    zip_set_file_compression(handle_->archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
}

void ZipWriter::CopyRaw(const std::string& name, const ZipReader& from,
                        const ZipReader::Entry& entry) {
  zip_source_t* source = zip_source_zip(handle_->archive, from.handle_->archive, entry.index,
                                        ZIP_FL_COMPRESSED, 0, -1);
  if (!source) throw Error("Cannot copy " + name + " to " + path_ + ": " + ArchiveText(handle_->archive));
  const zip_int64_t index =
      zip_file_add(handle_->archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    throw Error("Cannot copy " + name + " to " + path_ + ": " + ArchiveText(handle_->archive));
  }
  // Keeping the entry's own method is what lets libzip write the bytes as
  // they are instead of inflating and deflating them again.
  zip_set_file_compression(handle_->archive, static_cast<zip_uint64_t>(index),
                           entry.method == ZIP_CM_STORE ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
}

std::string ZipWriter::Finish() {
  if (zip_close(handle_->archive) < 0)
    throw Error("Cannot write " + path_ + ": " + ArchiveText(handle_->archive) + ".");
  handle_->archive = nullptr;
  buffers_.clear();
  zip_source_t* source = handle_->buffer;
  std::string bytes;
  if (zip_source_open(source) < 0) throw Error("Cannot write " + path_ + ".");
  zip_source_seek(source, 0, SEEK_END);
  const zip_int64_t size = zip_source_tell(source);
  zip_source_seek(source, 0, SEEK_SET);
  if (size > 0) {
    bytes.resize(static_cast<std::size_t>(size));
    if (zip_source_read(source, bytes.data(), bytes.size()) != size) {
      zip_source_close(source);
      throw Error("Cannot write " + path_ + ".");
    }
  }
  zip_source_close(source);
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw Error("Cannot create " + path + ": " + std::strerror(errno) + ".");
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int error = written ? 0 : errno;
  if (std::fflush(file) != 0 && !error) error = errno;
  if (std::fclose(file) != 0 && !error) error = errno;
  if (!written || error) {
    std::remove(path.c_str());
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
