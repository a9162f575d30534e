#pragma once
// The uniform error report.

#include <string>

namespace support {

class Dialogs;

// The report's text, byte for byte: description, CR LF, "in " location " ",
// "at line " number, CR CR, the request to e-mail a screenshot.
std::string ErrorReportText(const std::string& description, const std::string& location, int line);
// The same report without its closing request to e-mail a screenshot (which
// means nothing on a terminal): description, CR LF, "in " location " ",
// "at line " number.
std::string ErrorReportBody(const std::string& description, const std::string& location, int line);

// Shows the report: title "Application Error", OK only, the warning icon.
void ShowErrorReport(Dialogs& dialogs, const std::string& description, const std::string& location,
                     int line);

}  // namespace support
