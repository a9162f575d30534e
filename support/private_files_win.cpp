#include <windows.h>

// After windows.h, which it needs.
#include <sddl.h>

#include <random>
#include <system_error>

#include "support/paths.h"
#include "support/private_files.h"

namespace support {

namespace {

std::system_error Failure(DWORD error, const std::string& what) {
  return std::system_error(static_cast<int>(error), std::system_category(), what);
}

}  // namespace

std::string MakePrivateFolder(const std::string& parent, const std::string& prefix) {
  // Full access for the folder's owner alone, inherited by what it holds; no
  // access inherited from the parent.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)", SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    throw Failure(GetLastError(), "Cannot make a private folder in " + parent);
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
  std::random_device device;
  std::mt19937 generator(device());
  std::string base = parent;
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
  DWORD error = ERROR_ALREADY_EXISTS;
  for (int attempt = 0; attempt < 100 && error == ERROR_ALREADY_EXISTS; ++attempt) {
    const std::string candidate = base + prefix + std::to_string(generator() % 1000000000u);
    if (CreateDirectoryW(ToFsPath(candidate).wstring().c_str(), &attributes)) {
      LocalFree(descriptor);
      return candidate;
    }
    error = GetLastError();
  }
  LocalFree(descriptor);
  throw Failure(error, "Cannot make a private folder in " + parent);
}

void CopyToNewFile(const std::string& from, const std::string& to) {
  // Fails when anything stands at `to`; a failed copy leaves no file behind.
  if (!CopyFileW(ToFsPath(from).wstring().c_str(), ToFsPath(to).wstring().c_str(), TRUE))
    throw Failure(GetLastError(), "Cannot copy " + from + " to " + to);
}

}  // namespace support
