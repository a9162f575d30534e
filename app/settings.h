#pragma once
// The per-user settings store: string values under application "Quillory",
// section "Parvane".

#include <string>

namespace app {

std::string ReadSetting(const std::string& key, const std::string& defaultValue);
void WriteSetting(const std::string& key, const std::string& text);

}  // namespace app
