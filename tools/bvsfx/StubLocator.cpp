#include "tools/bvsfx/StubLocator.h"

#include <filesystem>
#include <system_error>

#include "core/XString.h"
#include "io/FileSystem.h"

namespace fs = std::filesystem;

namespace {

struct NamedStub {
    const char* request;
    const char* preset;    // build folder of the preset that makes it
    const char* fileName;
};

constexpr NamedStub kNamedStubs[] = {
    {"win32", "win32", "bvsfx-stub.exe"},
    {"win64", "win64", "bvsfx-stub64.exe"},
    {"linux", "linux", "bvsfx-stub"},
};

fs::path executableFolder() {
    XString modulePath;
    getModulePath(modulePath);
    return fs::path(modulePath.getUtf8()).parent_path();
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

}  // namespace

namespace StubLocator {

bool locate(const std::string& request, std::string& path, std::vector<std::string>& tried) {
    tried.clear();
    for (const NamedStub& named : kNamedStubs) {
        if (request != named.request) continue;
        const fs::path folder = executableFolder();
        const fs::path candidates[] = {
            folder / named.fileName,
            folder / ".." / ".." / "app" / named.fileName,
            folder / ".." / ".." / ".." / named.preset / "app" / named.fileName,
        };
        for (const fs::path& candidate : candidates) {
            const fs::path normal = candidate.lexically_normal();
            tried.push_back(normal.string());
            if (isFile(normal)) {
                path = normal.string();
                return true;
            }
        }
        return false;
    }
    tried.push_back(request);
    if (!isFile(request)) return false;
    path = request;
    return true;
}

}  // namespace StubLocator
