#pragma once

#include <string>

#include "check/file_bytes.h"

// Why a release folder's file gave no bytes: "is missing", "is a folder" or
// "could not be read".
std::string WhyUnreadable(const FileBytes& file);

// Empty when the host served exactly the release folder's file; otherwise
// the message of the finding that says it did not, or that the folder's
// file could not be read to compare. Sources are UTF-8, as reported.
std::string ServedDifference(const std::string& served, const std::string& servedSource,
                             const FileBytes& inFolder, const std::string& folderPath);
