#include "app/settings_store.h"

namespace app {

std::unique_ptr<QSettings> OpenSettingsStore() {
  // ~/.config/Quillory/Parvane.conf (or where QSettings::setPath points).
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Quillory",
                                     "Parvane");
}

}  // namespace app
