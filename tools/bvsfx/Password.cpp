#include "tools/bvsfx/Password.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tools/bvsfx/Utf8Path.h"

namespace Password {

namespace {

bool readFirstLine(const std::string& file, std::string& line) {
    std::ifstream in(utf8Path(file), std::ios::binary);
    if (!in) return false;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    const size_t end = text.find('\n');
    line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace

Result resolve(const Sources& sources, std::string& password, std::string& origin) {
    password.clear();
    if (sources.optionGiven) {
        password = sources.option;
        origin = "--password";
    } else if (sources.fileGiven) {
        origin = "the file " + sources.file;
        if (!readFirstLine(sources.file, password)) return Result::FileUnreadable;
    } else if (const char* variable = std::getenv(kEnvironmentVariable)) {
        password = variable;
        origin = kEnvironmentVariable;
        // An empty variable is taken for an unset one.
        if (password.empty()) return Result::None;
    } else {
        return Result::None;
    }
    return password.empty() ? Result::Empty : Result::Found;
}

}  // namespace Password
