#pragma once

#include <string>
#include <vector>

#include "app/game_config.h"
#include "check/game/check_report.h"

// Adds the warnings about the configuration file at `configPath`: missing or
// empty (the launcher then starts without --game), refused and why, bytes
// past the shortcut's read limit, an encoding other than UTF-8, text that is
// not JSON, and every place where the shortcut's scan of `configText` (what
// ReadConfigText returned) and a JSON reader of the whole file disagree on
// "game" or "name", escape sequences included. `config` is EvaluateConfig's
// verdict on `configText`.
void AddConfigWarnings(const std::wstring& configPath, const std::string& configText,
                       const GameConfig& config, std::vector<CheckWarning>& warnings);
