#include "app/desktop.h"

#include <QStandardPaths>
#include <stdexcept>

#include "support/paths.h"

namespace app {

namespace {
std::function<std::string(int)>& Source() {
  static std::function<std::string(int)> source;
  return source;
}
}  // namespace

void SetSpecialFolderSource(std::function<std::string(int)> source) {
  Source() = std::move(source);
}

std::string GetSpecialFolderPath(int folderNumber) {
  if (Source()) return Source()(folderNumber);
  if (folderNumber != kShellFolderDesktop) return std::string();
  const QStringList found = QStandardPaths::standardLocations(QStandardPaths::DesktopLocation);
  if (found.isEmpty() || found.first().isEmpty()) return std::string();
  return found.first().toStdString();
}

std::string GetDesktopFolder() {
  std::string path = GetSpecialFolderPath(kShellFolderDesktop);
  if (path.empty()) throw std::runtime_error("The desktop folder could not be found.");
  if (path.back() != support::kSep) path += support::kSep;
  return path;
}

}  // namespace app
