#include "tools/bvsfx/StubLocator.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/XString.h"
#include "io/FileSystem.h"
#include "tools/bvsfx/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

struct NamedStub {
    const char* request;
    const char* preset;  // build folder of the preset that makes it
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
    return utf8Path(modulePath.getUtf8()).parent_path();
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
            folder / ".." / "lib" / "bvsfx" / named.fileName,
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
    if (!isFile(utf8Path(request))) return false;
    path = request;
    return true;
}

std::string describeNamedStubs() {
    std::string text;
    for (const NamedStub& named : kNamedStubs) {
        std::string path;
        std::vector<std::string> tried;
        text += std::string("  ") + named.request + std::string(7 - std::strlen(named.request), ' ');
        text += locate(named.request, path, tried) ? path : std::string("not found");
        text += "\n";
    }
    return text;
}

}  // namespace StubLocator
