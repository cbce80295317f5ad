#pragma once

#include <string>

// `text` (UTF-8) with every spelling of the user's profile folder `profile`
// (the USERPROFILE value, UTF-8), in any case and also as JSON writes it
// with doubled backslashes, replaced by "%USERPROFILE%", and then the user's
// and the machine's names (`userName`, `machineName`) by "%USERNAME%" and
// "%COMPUTERNAME%" wherever they still stand as words of their own (in any
// case; never inside a longer word or a placeholder). Names shorter than
// three characters are left.
// Players post these reports in public: no name of theirs may be in them.
std::string WithoutUserNames(std::string text, const std::string& profile,
                             const std::string& userName, const std::string& machineName);

// WithoutUserNames with this process's USERPROFILE, USERNAME and
// COMPUTERNAME.
std::string WithoutThisUsersNames(const std::string& text);
