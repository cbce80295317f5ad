#include "check/diagnose/machine_facts.h"

#include <windows.h>

#include "app/user_messages.h"
#include "check/file_bytes.h"
#include "check/wide_to_utf8.h"

namespace {

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// The flags of the current connection settings, the fourth 32-bit field of
// this binary value; 0x08 is "automatically detect settings".
constexpr wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr DWORD kAutoDetectFlag = 0x08;

// GetVersionExW answers what the program's manifest claims to support;
// the kernel's own call tells the truth.
void ReadWindowsVersion(MachineFacts& facts) {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return;
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0) return;
  facts.windowsMajor = version.dwMajorVersion;
  facts.windowsMinor = version.dwMinorVersion;
  facts.windowsBuild = version.dwBuildNumber;
}

std::wstring RegistryText(const wchar_t* key, const wchar_t* name) {
  wchar_t text[2048] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return text;
}

void ReadProxySettings(MachineFacts& facts) {
  DWORD enabled = 0;
  DWORD size = sizeof enabled;
  if (RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr,
                   &enabled, &size) == ERROR_SUCCESS &&
      enabled != 0) {
    facts.proxyServer = WideToUtf8(RegistryText(kInternetSettings, L"ProxyServer"));
  }
  facts.proxyScript = WideToUtf8(RegistryText(kInternetSettings, L"AutoConfigURL"));
  unsigned char settings[256] = {};
  size = sizeof settings;
  if (RegGetValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings", RRF_RT_REG_BINARY,
                   nullptr, settings, &size) == ERROR_SUCCESS &&
      size >= 12) {
    facts.proxyAutoDetect = (settings[8] & kAutoDetectFlag) != 0;
  }
}

}  // namespace

std::wstring NearestExistingFolder(const std::wstring& path) {
  std::wstring folder = path;
  while (!IsFolderPresent(folder)) {
    const size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    // A root keeps its separator: "\" and "C:\" are folders, "C:" is not;
    // an unset USERPROFILE puts the installation under the first.
    const size_t keep = slash == 0 || (slash == 2 && folder[1] == L':') ? slash + 1 : slash;
    if (keep == folder.size()) return {};  // a root that does not exist
    folder.resize(keep);
  }
  return folder;
}

MachineFacts ReadMachineFacts(const std::wstring& installDir) {
  MachineFacts facts;
  ReadWindowsVersion(facts);
  facts.uiLanguage = GetUserDefaultUILanguage();
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(MAKELCID(facts.uiLanguage, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) >
      0) {
    facts.uiLanguageName = WideToUtf8(name);
  }
  facts.messagesFrench = IsFrenchLanguage(facts.uiLanguage);
  facts.userProfileSet = GetEnvironmentVariableW(L"USERPROFILE", nullptr, 0) > 0;
  facts.installPathLength = installDir.size();
  for (wchar_t unit : installDir) facts.installPathNonAscii |= unit > 0x7F;
  const std::wstring existing = NearestExistingFolder(installDir);
  ULARGE_INTEGER free = {};
  if (!existing.empty() && GetDiskFreeSpaceExW(existing.c_str(), &free, nullptr, nullptr)) {
    facts.freeSpaceKnown = true;
    facts.freeBytes = free.QuadPart;
  }
  ReadProxySettings(facts);
  return facts;
}
