#pragma once
// StubBranding: the publisher's icon and version information put into the
// copy of a Windows stub, before the payload is appended to it. The stub's
// resource section is read as a tree, its icon group and version resource
// replaced or added, every other resource kept as it was, and the section
// written back (PeImage keeps sizes and checksum right).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct StubBrandingRequest {
    std::string iconFile;                                             // a .ico file, or empty
    std::vector<std::pair<std::string, std::string>> versionStrings;  // known keys only

    bool any() const { return !iconFile.empty() || !versionStrings.empty(); }
};

namespace StubBranding {

// Brands stub (the bytes of stubName) in place. Returns an exit code, with
// the error printed: kExitInput for an unreadable icon file, kExitLimits for
// an icon file that is not valid, for a stub whose resources cannot be
// rewritten, or for branding that would put the payload marker into the
// stub.
int apply(std::vector<uint8_t>& stub, const std::string& stubName, const StubBrandingRequest& request);

}  // namespace StubBranding
