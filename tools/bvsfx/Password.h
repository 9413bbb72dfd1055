#pragma once
// Password: where a command's password comes from, in this order:
// --password TEXT, --password-file FILE (its first line, without the line
// end), or the environment variable BVSFX_PASSWORD. None of them: no
// password.

#include <cstdint>
#include <string>

namespace Password {

constexpr const char* kEnvironmentVariable = "BVSFX_PASSWORD";

// The installer's password dialog reads at most 500 characters including
// the terminator, so a longer password could never be typed in.
constexpr uint32_t kMaxInstallerPasswordBytes = 499;

struct Sources {
    bool optionGiven = false;
    std::string option;
    bool fileGiven = false;
    std::string file;
};

enum class Result { None, Found, FileUnreadable, Empty };

// Fills password and origin ("--password", "the file F", "BVSFX_PASSWORD").
Result resolve(const Sources& sources, std::string& password, std::string& origin);

}  // namespace Password
