#pragma once

#include <string>

// Remote paths, identical on every deployment.
inline constexpr wchar_t kManifestPath[] = L"/launcher/version.json";
inline constexpr wchar_t kArchivePath[] = L"/launcher/launcher.7z";
// Signatures of version.json, fetched only by builds that pin release keys.
inline constexpr wchar_t kSignaturePath[] = L"/launcher/version.json.sig";
inline constexpr wchar_t kExtractorPath[] = L"/ip7z/7zip/releases/download/26.01/7zr.exe";

// Files under the install directory, appended to it as they stand.
inline constexpr wchar_t kLauncherExe[] = L"\\launcher.exe";
inline constexpr wchar_t kLauncherPck[] = L"\\launcher.pck";
inline constexpr wchar_t kTempDir[] = L"\\temp";
inline constexpr wchar_t kLibDir[] = L"\\lib";
inline constexpr wchar_t kArchiveFile[] = L"\\temp\\launcher_install.7z";
inline constexpr wchar_t kExtractorFile[] = L"\\lib\\7zr.exe";
inline constexpr wchar_t kVersionFile[] = L"\\temp\\version.dat";
// Present from just before the extractor starts until the installation has
// finished: whatever stands beside it may be half written.
inline constexpr wchar_t kIncompleteMarker[] = L"\\temp\\install.incomplete";

// "<profile>\Nolm\Launcher"; an empty profile gives the rooted "\Nolm\Launcher".
std::wstring InstallDirectoryFor(const std::wstring& userProfile);

// InstallDirectoryFor the current USERPROFILE, whatever its length.
std::wstring InstallDirectory();

// The install directory's path up to its last backslash (the whole path
// when it has none).
std::wstring ParentDirectory(const std::wstring& installDir);

// `"<dir>\lib\7zr.exe" x "<dir>\temp\launcher_install.7z" -o"<dir>" -y`
std::wstring ExtractorCommandLine(const std::wstring& installDir);

// True when `path` names an existing file (a directory does not count).
bool IsFilePresent(const std::wstring& path);

// True when `path` names anything at all, file or folder.
bool IsEntryPresent(const std::wstring& path);
