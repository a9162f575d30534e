#pragma once
// The one failure type of our word processor: a description a user can read.

#include <stdexcept>

namespace docx {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace docx
