#include "check/game/folder_check.h"

#include "app/game_config.h"
#include "app/launch_worker.h"
#include "check/game/artwork_check.h"
#include "check/game/config_warnings.h"
#include "check/wide_to_utf8.h"
#include "install/install_paths.h"
#include "splash/splash_window.h"
#include "text/json_string_value.h"

CheckReport CheckGameFolder(const std::wstring& gameFolder) {
  CheckReport report;
  const std::wstring nolmFolder = gameFolder + kNolmFolder;
  const std::wstring configPath = nolmFolder + kConfigFile;
  const std::string configText = ReadConfigText(configPath);
  const GameConfig config = EvaluateConfig(configText);

  report.valid = config.valid;
  // The scanned bytes, not config.slug: a refused slug is worth seeing too.
  report.slug = ValidUtf8(JsonStringValue(configText, kGameKey));
  report.title = WideToUtf8(SplashWindowTitle(config.displayName));
  report.commandLine =
      WideToUtf8(LauncherCommandLine(InstallDirectory() + kLauncherExe, config.slug));
  AddConfigWarnings(configPath, configText, config, report.warnings);
  CheckArtwork(nolmFolder, report);
  return report;
}
