#include "check/release/served_file.h"

std::string WhyUnreadable(const FileBytes& file) {
  if (!file.exists) return "is missing";
  return file.isFolder ? "is a folder" : "could not be read";
}

std::string ServedDifference(const std::string& served, const std::string& servedSource,
                             const FileBytes& inFolder, const std::string& folderPath) {
  if (!inFolder.readable) {
    return folderPath + " " + WhyUnreadable(inFolder) +
           ", so what the host serves cannot be compared with it";
  }
  if (inFolder.bytes == served) return {};
  return servedSource + " is not the release's " + folderPath + " (" +
         std::to_string(served.size()) + " bytes served, " + std::to_string(inFolder.size) +
         " in the release)";
}
