#pragma once
// The one failure type of our word processor: a description a user can read
// and the kind of failure, for callers that act on it (never on the text).

#include <stdexcept>
#include <string>

namespace docx {

enum class Status {
  kOther,         // none of the kinds below
  kCannotOpen,    // the file cannot be read: missing, a folder, no access
  kEmpty,         // the file holds no bytes
  kNotZip,        // neither a zip package nor a format we recognise
  kEncrypted,     // protected by a password
  kLegacyFormat,  // Word 97-2003, an older Word format or RTF
  kDamaged,       // a damaged or truncated package or part
  kTooLarge,      // beyond our limits: a part's size or ratio, a package's size
  kMissingPart,   // a part the package needs is not there
  kNotWord,       // a zip package that is not a Word document
  kMalformedXml,  // a part that is not well-formed XML or nests too deep
};

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description, Status status = Status::kOther)
      : std::runtime_error(description), status_(status) {}
  explicit Error(const char* description, Status status = Status::kOther)
      : std::runtime_error(description), status_(status) {}
  Status status() const noexcept { return status_; }

 private:
  Status status_;
};

}  // namespace docx
