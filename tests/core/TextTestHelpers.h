// Helpers shared by the text and code-page tests: byte vectors, UTF-16LE
// packing, one-call conversions and running an external tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/DataBuffer.h"
#include "core/EncodingConvert.h"

#include "support/TestSupport.h"

namespace texttest {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// UTF-16LE bytes of the given units.
inline Bytes utf16le(const std::vector<uint16_t>& units)
{
    Bytes out;
    for (uint16_t u : units) {
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

inline Bytes bufferBytes(const DataBuffer& buffer)
{
    return Bytes(buffer.getData(), buffer.getData() + buffer.getSize());
}

inline std::string hex(const Bytes& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

struct Converted {
    bool complete;
    Bytes bytes;
};

// One conversion on a fresh converter into an empty buffer.
inline Converted convert(uint32_t from, uint32_t to, const Bytes& input)
{
    EncodingConvert converter;
    DataBuffer out;
    const bool complete = converter.convert(from, to, input.empty() ? nullptr : input.data(),
                                            static_cast<uint32_t>(input.size()), out);
    return {complete, bufferBytes(out)};
}

inline bool readWholeFile(const std::string& path, Bytes& contents)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    contents.clear();
    uint8_t chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        contents.insert(contents.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return true;
}

inline bool writeWholeFile(const std::string& path, const Bytes& contents)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    return std::fclose(file) == 0 && written;
}

#ifndef _WIN32
// True when the command exists on the PATH of this machine.
inline bool toolAvailable(const std::string& tool) { return test_support::toolOnPath(tool); }

// Runs "tool args < input > output" in the build folder and returns the
// output bytes; the exit status is not examined (iconv -c exits 1 when it
// omitted characters).
inline Bytes runFilter(const std::string& commandLine, const Bytes& input, const std::string& tag)
{
    const std::string inPath = std::string(BRIVANE_BUILD_DIR) + "/text-" + tag + ".in";
    const std::string outPath = std::string(BRIVANE_BUILD_DIR) + "/text-" + tag + ".out";
    Bytes output;
    if (!writeWholeFile(inPath, input)) return output;
    const std::string full = commandLine + " < '" + inPath + "' > '" + outPath + "' 2> /dev/null";
    (void)std::system(full.c_str());
    readWholeFile(outPath, output);
    std::remove(inPath.c_str());
    std::remove(outPath.c_str());
    return output;
}
#endif

}  // namespace texttest
