#include "support/error_report.h"

#include "support/config.h"
#include "support/dialogs.h"

namespace support {

std::string ErrorReportBody(const std::string& description, const std::string& location, int line) {
  std::string text = description;
  text += "\r\n";
  text += "in " + location + " ";
  text += "at line ";
  text += std::to_string(line < 0 ? -line : line);
  return text;
}

std::string ErrorReportText(const std::string& description, const std::string& location, int line) {
  std::string text = ErrorReportBody(description, location, line);
  text += "\r\r";
  text += "Please email screenshot of this message to ";
  text += config::kSupportEmail;
  return text;
}

void ShowErrorReport(Dialogs& dialogs, const std::string& description, const std::string& location,
                     int line) {
  dialogs.Message(ErrorReportText(description, location, line), Buttons::Ok, Icon::Warning,
                  "Application Error");
}

}  // namespace support
