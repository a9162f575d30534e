#include "support/steps.h"

#include <exception>
#include <system_error>

#include "support/host.h"

namespace support {

Steps::Steps(std::string location, Host& host)
    : Steps(std::move(location), [&host](const std::string& d, const std::string& l, int n) {
        host.ReportError(d, l, n);
      }) {}

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const std::exception& e) {
    const std::string what = e.what();
    return what.empty() ? std::string("Unknown failure.") : what;
  } catch (...) {
    return "Unknown failure.";
  }
}

void Steps::Report(const std::string& description) {
  ++failures_;
  if (!reporter_) return;
  try {
    reporter_(description, location_, line_);
  } catch (...) {
    // The report itself must never end the operation.
  }
}

}  // namespace support
