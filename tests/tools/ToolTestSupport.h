#pragma once
// Helpers of the bvsfx tests: a scratch folder per test, running bvsfx (and
// other programs) with their exit code and output, small trees of files,
// and reading files back.
//
// The tests run the bvsfx built beside them (BVSFX_TOOL_PATH) and, when the
// Linux stub is part of the build, that stub (BVSFX_LINUX_STUB_PATH). Both
// are defined only in native builds, where bvsfx exists; tools/bvsfx wires
// them up.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <algorithm>
#include <vector>

#include "support/TestSupport.h"

namespace tool_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

using test_support::RunResult;

inline std::string quote(const std::string& text) { return test_support::shellQuote(text); }
inline std::string readText(const fs::path& path) { return test_support::readFileText(path); }
inline Bytes readBytes(const fs::path& path) { return test_support::readFileBytes(path); }
inline void writeBytes(const fs::path& path, const Bytes& bytes) { test_support::writeFileBytes(path, bytes); }
inline void writeText(const fs::path& path, const std::string& text) {
    writeBytes(path, Bytes(text.begin(), text.end()));
}

// Deterministic bytes that do not compress.
// A bare Windows i386 GUI image header: enough for bvsfx to take a stub for
// a Windows one.
inline Bytes peStub() {
    Bytes pe(0x200, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x40;
    const uint8_t signature[] = {'P', 'E', 0, 0, 0x4C, 0x01};
    std::copy(std::begin(signature), std::end(signature), pe.begin() + 0x40);
    pe[0x40 + 24 + 68] = 2;  // GUI subsystem
    return pe;
}

inline Bytes noise(size_t length, uint32_t seed) {
    Bytes out(length);
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = uint8_t(x >> 24);
    }
    return out;
}

// Text-like bytes that deflate well.
inline Bytes text(size_t length, uint32_t seed) {
    std::string line = "line " + std::to_string(seed) + ": the quick brown fox jumps over the lazy dog\n";
    Bytes out;
    while (out.size() < length) out.insert(out.end(), line.begin(), line.end());
    out.resize(length);
    return out;
}

// A scratch folder for one test, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::make_unique<test_support::ScratchFolder>("bvsfx-" + test_support::currentTestLabel());
        scratch = m_folder->path();
    }
    void TearDown() override { m_folder.reset(); }

    // Runs a shell command line in the scratch folder.
    RunResult runShell(const std::string& commandLine) { return test_support::runShell(scratch, commandLine); }

    // Runs bvsfx with the arguments (each quoted).
    RunResult bvsfx(const std::vector<std::string>& args) {
        std::string line = quote(BVSFX_TOOL_PATH);
        for (const std::string& arg : args) line += " " + quote(arg);
        return runShell(line);
    }

    fs::path scratch;

private:
    std::unique_ptr<test_support::ScratchFolder> m_folder;
};

// "exit 3; stderr: ..." for assertion messages.
inline std::string describe(const RunResult& result) {
    return "exit " + std::to_string(result.exitCode) + "; stdout: " + result.out + "; stderr: " + result.err;
}

}  // namespace tool_test
