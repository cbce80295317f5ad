#include "app/program_entry.h"

#include "app/game_config.h"
#include "app/main_loop.h"
#include "app/program_folder.h"
#include "app/status_channel.h"
#include "app/user_messages.h"
#include "splash/gdiplus_include.h"

int RunProgram(HINSTANCE instance) {
  // Before anything can load a DLL: every later load, the delay-loaded ones
  // included, comes from System32 only, never from the game's folder, where
  // other tools and downloads put DLLs of their own.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetProcessDPIAware();
  Gdiplus::GdiplusStartupInput startupInput;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartup(&gdiplusToken, &startupInput, nullptr);

  const std::wstring nolmFolder = RemoveLastPathElement(ModulePath()) + kNolmFolder;
  const GameConfig config = EvaluateConfig(ReadConfigText(nolmFolder + kConfigFile));
  if (!config.valid) {
    ShowErrorBox(LocalizedMessage(UserMessage::kInvalidConfiguration));
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return 1;
  }
  gGameSlug = config.slug;
  return RunMainLoop(instance, nolmFolder, config.displayName, gdiplusToken);
}
