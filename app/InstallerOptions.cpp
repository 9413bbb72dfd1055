#include "app/InstallerOptions.h"

#include <cstring>

#include "app/SetupArguments.h"

namespace {

constexpr char kTargetWord[] = "--target";
constexpr char kTargetPrefix[] = "--target=";
constexpr char kEndOfOptions[] = "--";

bool is(const char* argument, const char* word) { return std::strcmp(argument, word) == 0; }

bool startsWith(const char* argument, const char* prefix) {
    return std::strncmp(argument, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

void InstallerOptions::parse(int32_t count, const char* const* arguments) {
    for (int32_t i = 0; i < count; ++i) {
        const char* argument = arguments[i];
        if (is(argument, kEndOfOptions)) {
            hasPassthrough = true;
            for (++i; i < count; ++i) appendSetupArgument(passthrough, arguments[i]);
            return;
        }
        if (is(argument, "--help")) {
            help = true;
        } else if (is(argument, "--list")) {
            list = true;
        } else if (is(argument, "--check")) {
            check = true;
        } else if (is(argument, "--noexec")) {
            noexec = true;
        } else if (is(argument, "--quiet")) {
            quiet = true;
        } else if (is(argument, kTargetWord) || startsWith(argument, kTargetPrefix)) {
            // The folder is the next argument, whatever it looks like.
            const char* folder = nullptr;
            if (startsWith(argument, kTargetPrefix)) {
                folder = argument + std::strlen(kTargetPrefix);
            } else if (i + 1 < count) {
                folder = arguments[++i];
            }
            hasTarget = true;
            target.setString(folder);
            if (folder == nullptr || *folder == 0) error = Error::TargetWithoutFolder;
        }
    }
}

bool InstallerOptions::anyGiven() const {
    return help || list || check || noexec || quiet || hasTarget || hasPassthrough || error != Error::None;
}

bool InstallerOptions::writesText() const {
    return help || list || check || hasTarget || error != Error::None;
}
