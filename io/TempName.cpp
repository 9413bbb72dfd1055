// Generated names for temporary files and folders.
#include <string>

#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/BrivaneRand.h"
#include "io/FileSystem.h"

namespace {

constexpr const char* kDefaultPrefix = "x";
constexpr const char* kDefaultExtension = ".tmp";
constexpr uint32_t kRandomChars = 4;
constexpr int32_t kLetters = 26;
constexpr int32_t kLettersAndDigits = 36;

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '/' || text.back() == '\\');
}

// One of A-Z, 0-9.
char randomNameChar() {
    const int32_t v = g_brivaneRand.randomInRange(0, kLettersAndDigits - 1);
    return v < kLetters ? static_cast<char>('A' + v) : static_cast<char>('0' + (v - kLetters));
}

std::string candidateName(const std::string& directory, const std::string& stem,
                          const std::string& extension) {
    std::string name = directory + stem + "_";
    for (uint32_t i = 0; i < kRandomChars; ++i) name += randomNameChar();
    return name + extension;
}

}  // namespace

void makeTempName(XString& prefix, XString& directory, XString& out) {
    std::string prefixText = prefix.getUtf8();
    if (prefixText.empty()) prefixText = kDefaultPrefix;
    // An empty directory stays empty: the name is then relative to the current
    // directory rather than placed in the root.
    std::string directoryText = directory.getUtf8();
    if (!directoryText.empty() && !endsWithSeparator(directoryText)) directoryText += '/';

    const std::string pattern =
        prefixText.find('.') == std::string::npos ? prefixText + kDefaultExtension : prefixText;
    const size_t lastDot = pattern.rfind('.');
    const std::string stem = pattern.substr(0, lastDot);
    const std::string extension = pattern.substr(lastDot);

    g_brivaneRand.reseed(GetTickCount());
    std::string candidate = candidateName(directoryText, stem, extension);
    while (fileExists(candidate.c_str(), nullptr)) {
        candidate = candidateName(directoryText, stem, extension);
    }
    out.setFromUtf8(candidate.c_str());
}

void tempNameInTempDir(const char* utf8Prefix, StringBuffer& out) {
    XString prefix;
    prefix.setFromUtf8(utf8Prefix);
    XString directory;
    getTempDir(directory);
    XString name;
    makeTempName(prefix, directory, name);
    out.append(name.getUtf8());
}

void tempNameIn(const char* utf8Directory, const char* utf8Prefix, StringBuffer& out) {
    XString prefix;
    prefix.setFromUtf8(utf8Prefix);
    XString directory;
    directory.setFromUtf8(utf8Directory);
    XString name;
    makeTempName(prefix, directory, name);
    out.append(name.getUtf8());
}
