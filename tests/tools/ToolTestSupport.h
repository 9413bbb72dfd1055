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
#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <algorithm>
#include <iterator>
#include <vector>

namespace tool_test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Single-quoted for the POSIX shell.
inline std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

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
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        scratch = fs::temp_directory_path() /
                  ("bvsfx-test-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                   std::to_string(::getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch);
    }
    void TearDown() override {
        std::error_code error;
        // Read-only files and folders come back writable first.
        for (auto it = fs::recursive_directory_iterator(scratch, error);
             it != fs::recursive_directory_iterator(); it.increment(error)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
        }
        fs::remove_all(scratch, error);
    }

    // Runs a shell command line in the scratch folder.
    RunResult runShell(const std::string& commandLine) {
        const fs::path out = scratch / ".out";
        const fs::path err = scratch / ".err";
        const std::string full = "cd " + quote(scratch.string()) + " && " + commandLine + " >" +
                                 quote(out.string()) + " 2>" + quote(err.string()) + " </dev/null";
        const int status = std::system(full.c_str());
        RunResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readText(out);
        result.err = readText(err);
        return result;
    }

    // Runs bvsfx with the arguments (each quoted).
    RunResult bvsfx(const std::vector<std::string>& args) {
        std::string line = quote(BVSFX_TOOL_PATH);
        for (const std::string& arg : args) line += " " + quote(arg);
        return runShell(line);
    }

    fs::path scratch;
};

// "exit 3; stderr: ..." for assertion messages.
inline std::string describe(const RunResult& result) {
    return "exit " + std::to_string(result.exitCode) + "; stdout: " + result.out + "; stderr: " + result.err;
}

}  // namespace tool_test
