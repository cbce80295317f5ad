#pragma once

#include <string>

// The full path of the running executable, however long it is.
// Empty only if the platform cannot report it.
std::wstring ModulePath();

// `path` without its last element, as the shell's PathRemoveFileSpec does:
// "C:\\games\\x.exe" -> "C:\\games", "C:\\x.exe" -> "C:\\", "x.exe" -> "".
// Works on paths of any length.
std::wstring RemoveLastPathElement(const std::wstring& path);
