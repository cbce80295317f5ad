#include "check/diagnose/diagnosis_writers.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "check/diagnose/diagnosis_verdict.h"
#include "check/release/console_progress.h"
#include "check/release/release_report_json.h"
#include "check/release/release_report_writers.h"

namespace {

using Json = nlohmann::ordered_json;

std::string LanguageId(uint16_t language) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", language);
  return text;
}

std::string Proxy(const MachineFacts& machine) {
  std::string words;
  if (machine.proxyAutoDetect) words = "automatic detection";
  if (!machine.proxyScript.empty()) {
    words += (words.empty() ? "" : ", ") + std::string("script ") + machine.proxyScript;
  }
  if (!machine.proxyServer.empty()) {
    words += (words.empty() ? "" : ", ") + std::string("proxy ") + machine.proxyServer;
  }
  return words.empty() ? "none set" : words;
}

std::string Extractor(const InstallationReport& installation) {
  if (!installation.extractorPresent) return "missing";
  return installation.extractorPinned ? "the pinned build" : "NOT the pinned build";
}

}  // namespace

std::string DiagnosisTextReport(const DiagnosisReport& report) {
  const InstallationReport& installation = report.installation;
  const MachineFacts& machine = report.machine;
  std::string out = "installation: " + report.installFolder + ": " + installation.state + "\n";
  out += "  temp\\version.dat: " +
         (installation.versionRead ? "\"" + installation.version + "\"" : std::string("none")) +
         "\n";
  out += "  lib\\7zr.exe: " + Extractor(installation) + "\n";
  out += std::string("  installation lock: ") +
         (installation.lockHeld ? "held by another copy of the shortcut now" : "free") + "\n";
  out += "machine: Windows " + std::to_string(machine.windowsMajor) + "." +
         std::to_string(machine.windowsMinor) + " build " + std::to_string(machine.windowsBuild) +
         "; UI language " + (machine.uiLanguageName.empty() ? "" : machine.uiLanguageName + " ") +
         "(" + LanguageId(machine.uiLanguage) + "), the player's messages in " +
         (machine.messagesFrench ? "French" : "English") + "\n";
  out += std::string("  USERPROFILE: ") + (machine.userProfileSet ? "set" : "NOT set") +
         "; the install folder's path: " + std::to_string(machine.installPathLength) +
         " characters, " + (machine.installPathNonAscii ? "some outside ASCII" : "ASCII only") +
         "\n";
  out += "  free space on its volume: " +
         (machine.freeSpaceKnown
              ? ByteSize(machine.freeBytes) + " (" + std::to_string(machine.freeBytes) + " bytes)"
              : std::string("unknown")) +
         "\n";
  out += "  proxy settings: " + Proxy(machine) + "\n";
  if (!report.gameFolder.empty()) {
    out += "game folder: " + report.gameFolder + ": the shortcut " +
           (report.configValid ? "accepts its configuration" : "refuses its configuration") + "\n";
  }
  if (!report.unwritableFolder.empty()) {
    out += "unwritable: " + report.unwritableFolder + "\n";
  }
  if (report.replayed) {
    out += "replay of a first installation from " + report.host +
           ", in a scratch folder beside the install folder, removed afterwards:\n";
    out += ReleaseTextFacts(report.replay);
  } else {
    out += "replay: not run\n";
  }
  const CertificateLook& look = report.certificate;
  if (look.made) {
    out += "second look, certificate checks off: " + look.url + ": ";
    if (look.answered) {
      out += "issued by \"" + look.issuer + "\" for \"" + look.subject + "\", valid from " +
             UtcText(look.notBefore) + " to " + UtcText(look.notAfter);
    } else {
      out += "no certificate could be read";
    }
    if (look.serverDateKnown) {
      out += "; the server's Date " + UtcText(look.serverDate) + ", this machine's clock " +
             UtcText(look.localDate);
    }
    out += "\n";
  }
  out += "diagnosed in " + Seconds(report.seconds) + "\n";
  out += "verdict [" + report.verdict.code + "]: " + report.verdict.message + "\n";
  return out;
}

std::string DiagnosisJsonReport(const DiagnosisReport& report) {
  Json object;
  const InstallationReport& installation = report.installation;
  Json install;
  install["folder"] = report.installFolder;
  install["state"] = installation.state;
  install["version"] = installation.versionRead ? Json(installation.version) : Json(nullptr);
  install["extractor"] = !installation.extractorPresent ? Json(nullptr)
                         : installation.extractorPinned ? Json("pinned")
                                                        : Json("other");
  install["lock_held"] = installation.lockHeld;
  object["installation"] = install;

  const MachineFacts& facts = report.machine;
  Json machine;
  machine["windows"] = {
      {"major", facts.windowsMajor}, {"minor", facts.windowsMinor}, {"build", facts.windowsBuild}};
  machine["ui_language"] = TextOrNull(facts.uiLanguageName);
  machine["ui_language_id"] = facts.uiLanguage;
  machine["message_language"] = facts.messagesFrench ? "French" : "English";
  machine["userprofile_set"] = facts.userProfileSet;
  machine["install_path_length"] = facts.installPathLength;
  machine["install_path_non_ascii"] = facts.installPathNonAscii;
  machine["free_bytes"] = facts.freeSpaceKnown ? Json(facts.freeBytes) : Json(nullptr);
  machine["proxy"] = {{"auto_detect", facts.proxyAutoDetect},
                      {"script", TextOrNull(facts.proxyScript)},
                      {"server", TextOrNull(facts.proxyServer)}};
  object["machine"] = machine;

  object["game"] = report.gameFolder.empty()
                       ? Json(nullptr)
                       : Json({{"folder", report.gameFolder},
                               {"valid", report.configValid},
                               {"refusal", TextOrNull(report.configRefusal)}});
  object["unwritable"] =
      report.unwritableFolder.empty()
          ? Json(nullptr)
          : Json({{"folder", report.unwritableFolder}, {"error", report.unwritableError}});
  object["host"] = report.host;
  object["replay"] = report.replayed ? ReleaseJsonObject(report.replay) : Json(nullptr);
  const CertificateLook& look = report.certificate;
  if (look.made) {
    object["certificate"] = {
        {"url", look.url},
        {"issuer", look.answered ? Json(look.issuer) : Json(nullptr)},
        {"subject", look.answered ? Json(look.subject) : Json(nullptr)},
        {"not_before", look.answered ? Json(UtcText(look.notBefore)) : Json(nullptr)},
        {"not_after", look.answered ? Json(UtcText(look.notAfter)) : Json(nullptr)},
        {"server_date", look.serverDateKnown ? Json(UtcText(look.serverDate)) : Json(nullptr)},
        {"local_date", look.localDate != 0 ? Json(UtcText(look.localDate)) : Json(nullptr)}};
  } else {
    object["certificate"] = nullptr;
  }
  object["seconds"] = report.seconds;
  object["verdict"] = {{"code", report.verdict.code}, {"message", report.verdict.message}};
  // Every string is valid UTF-8 already; replacing keeps dump() from ever throwing.
  return object.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
