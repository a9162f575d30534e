#include "app/settings.h"

#include <QString>

#include "app/settings_store.h"

namespace app {

std::string ReadSetting(const std::string& key, const std::string& defaultValue) {
  const auto opened = OpenSettingsStore();
  QSettings& store = *opened;
  store.beginGroup("Parvane");
  const QString k = QString::fromStdString(key);
  if (!store.contains(k)) return defaultValue;
  return store.value(k).toString().toStdString();
}

void WriteSetting(const std::string& key, const std::string& text) {
  const auto opened = OpenSettingsStore();
  QSettings& store = *opened;
  store.beginGroup("Parvane");
  store.setValue(QString::fromStdString(key), QString::fromStdString(text));
  store.sync();
}

bool HasSetting(const std::string& key) {
  const auto opened = OpenSettingsStore();
  QSettings& store = *opened;
  store.beginGroup("Parvane");
  return store.contains(QString::fromStdString(key));
}

std::string& LastFolder() {
  static std::string folder;
  return folder;
}

}  // namespace app
