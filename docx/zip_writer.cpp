#include "docx/zip_writer.h"

#include <zip.h>

#include <memory>
#include <stdexcept>

namespace docx {

namespace {
std::string ZipErrorText(zip_t* archive) {
  const char* text = archive ? zip_strerror(archive) : nullptr;
  return text ? text : "unknown zip error";
}
}  // namespace

void WriteZip(const std::string& path, const PartList& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    const std::string text = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    throw std::runtime_error("Cannot create " + path + ": " + text);
  }
  for (const auto& [name, bytes] : parts) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
      if (source) zip_source_free(source);
      const std::string text = ZipErrorText(archive);
      zip_discard(archive);
      throw std::runtime_error("Cannot add " + name + " to " + path + ": " + text);
    }
  }
  if (zip_close(archive) < 0) {
    const std::string text = ZipErrorText(archive);
    zip_discard(archive);
    throw std::runtime_error("Cannot write " + path + ": " + text);
  }
}

}  // namespace docx
