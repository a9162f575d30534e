#include "app/settings_store.h"

namespace app {

std::unique_ptr<QSettings> OpenSettingsStore() {
  // Visual Basic's SaveSetting kept "Quillory"'s options here, one key per
  // section: HKCU\Software\VB and VBA Program Settings\Quillory\Parvane\<key>.
  return std::make_unique<QSettings>(
      "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Quillory",
      QSettings::NativeFormat);
}

}  // namespace app
