#pragma once
// Where the user's options live: on Windows the registry key that the
// earlier program of this name kept them under, so a user's options are found
// again; elsewhere the per-user settings file.

#include <QSettings>
#include <memory>

namespace app {

// The store, opened at the application's level ("Quillory"'s "Parvane"); the
// caller enters the section "Parvane".
std::unique_ptr<QSettings> OpenSettingsStore();

}  // namespace app
