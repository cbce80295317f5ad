#pragma once

#include <windows.h>

// The three failures a user is ever told about.
enum class UserMessage { kInvalidConfiguration, kInstallFailed, kStartFailed };

// Caption of every message box the program shows.
inline constexpr wchar_t kMessageCaption[] = L"Nolm Launcher";

// True when the primary language of `uiLanguage` is French, any sub-language.
bool IsFrenchLanguage(LANGID uiLanguage);

// Evaluates the user's UI language now (never cached) with IsFrenchLanguage.
bool IsFrenchUi();

// The fixed text of `message`, in French or English. Line breaks are a lone LF.
const wchar_t* UserMessageText(UserMessage message, bool french);

// UserMessageText in the language of the user's UI right now.
const wchar_t* LocalizedMessage(UserMessage message);

// Shows `text` in the program's one kind of message box: no owner, caption
// "Nolm Launcher", the error icon and an OK button. Returns once dismissed.
void ShowErrorBox(const wchar_t* text);
