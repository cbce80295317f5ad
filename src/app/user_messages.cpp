#include "app/user_messages.h"

bool IsFrenchLanguage(LANGID uiLanguage) {
  return PRIMARYLANGID(uiLanguage) == LANG_FRENCH;
}

bool IsFrenchUi() {
  return IsFrenchLanguage(GetUserDefaultUILanguage());
}

const wchar_t* UserMessageText(UserMessage message, bool french) {
  switch (message) {
    case UserMessage::kInvalidConfiguration:
      return french
                 ? L"Configuration invalide : nolm/config.json doit contenir {\"game\": "
                   L"\"<slug>\"}."
                 : L"Invalid configuration: nolm/config.json must contain {\"game\": \"<slug>\"}.";
    case UserMessage::kInstallFailed:
      return french ? L"Impossible d'installer le Nolm Launcher.\n"
                      L"V\u00e9rifiez votre connexion internet puis r\u00e9essayez."
                    : L"Unable to install the Nolm Launcher.\n"
                      L"Check your internet connection and try again.";
    case UserMessage::kStartFailed:
      return french ? L"Impossible de lancer le Nolm Launcher."
                    : L"Unable to start the Nolm Launcher.";
  }
  return L"";
}

const wchar_t* LocalizedMessage(UserMessage message) {
  return UserMessageText(message, IsFrenchUi());
}

void ShowErrorBox(const wchar_t* text) {
  MessageBoxW(nullptr, text, kMessageCaption, MB_OK | MB_ICONERROR);
}
