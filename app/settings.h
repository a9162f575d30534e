#pragma once
// The per-user settings store: string values under application "Quillory",
// section "Parvane".

#include <string>

namespace app {

std::string ReadSetting(const std::string& key, const std::string& defaultValue);
void WriteSetting(const std::string& key, const std::string& text);
// Whether the key holds a value (so a default that is costly or can fail is
// computed only when it is needed).
bool HasSetting(const std::string& key);

// The last folder chosen in a folder picker, shared by the add-folder button
// and the output-folder button; each refreshes it from "LastFolder" before use.
std::string& LastFolder();

}  // namespace app
