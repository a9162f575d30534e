#pragma once
// The location texts that error reports name, one per reporting operation.

namespace loc {
inline constexpr const char* kFormLoad = "Vellomir2021/08/31.Form1.Form_Load";
inline constexpr const char* kChooseOutputFolder = "Vellomir2021/08/31.Form1.PushButton7_Click";
inline constexpr const char* kStartSplitting = "Vellomir2021/08/31.Form1.PushButton2_Click";
inline constexpr const char* kDoItByFile = "Vellomir2021/08/31.Word1.DoItByFile";
inline constexpr const char* kRenameFile = "Vellomir2021/08/31.Word1.RenameFile";
inline constexpr const char* kClearList = "Vellomir2021/08/31.Form1.PushButton9_Click";
inline constexpr const char* kAddFiles = "Vellomir2021/08/31.Form1.PushButton1_Click";
inline constexpr const char* kAddFolder = "Vellomir2021/08/31.Form1.PushButton6_Click";
inline constexpr const char* kGetSubDirectories =
    "Tarnholt2021/08/31.AddFolder.GetSubDirectories2016";
inline constexpr const char* kLoadSamples = "Vellomir2021/08/31.Form1.PushButton10_Click";
inline constexpr const char* kHelp = "Vellomir2021/08/31.Form1.PushButton5_Click";
}  // namespace loc
