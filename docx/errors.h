#pragma once
// The one failure type of our word processor: a description a user can read.

#include <stdexcept>

namespace docx {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A save that the folder refused rather than the file: the folder is full,
// read-only or gone, so every later save into it fails the same way.
class FolderError : public Error {
 public:
  using Error::Error;
};

}  // namespace docx
