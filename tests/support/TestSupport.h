#pragma once
// What the unit tests of every folder share: a log that records its entries,
// scratch folders, whole-file reads and writes, and running host tools (the
// real programs the tests compare us with).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "core/LogBase.h"

namespace test_support {

using Bytes = std::vector<uint8_t>;

// --- The recording log ---

enum class LogKind { Error, Info, Data };

struct LogEntry {
    LogKind kind;
    std::string tag;   // logData only
    std::string text;  // the message, or the value of logData
};

// Keeps every entry in order. lines() renders them as "E:text", "I:text"
// and "D:tag=value" for whole-log comparisons.
class RecordingLog : public LogBase {
public:
    bool logError(const char* message) override { return record(LogKind::Error, "", message); }
    bool logInfo(const char* message) override { return record(LogKind::Info, "", message); }
    bool logData(const char* tag, const char* value) override {
        return record(LogKind::Data, tag != nullptr ? tag : "(null)", value);
    }

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const LogEntry& entry : entries) out.push_back(line(entry));
        return out;
    }
    // The texts of the error entries, in order.
    std::vector<std::string> errors() const {
        std::vector<std::string> out;
        for (const LogEntry& entry : entries)
            if (entry.kind == LogKind::Error) out.push_back(entry.text);
        return out;
    }
    // True when one entry renders as the line.
    bool has(const std::string& wanted) const {
        for (const LogEntry& entry : entries)
            if (line(entry) == wanted) return true;
        return false;
    }
    // Every line, one per row (for assertion messages).
    std::string all() const {
        std::string text;
        for (const LogEntry& entry : entries) text += line(entry) + "\n";
        return text;
    }

    std::vector<LogEntry> entries;

private:
    bool record(LogKind kind, const std::string& tag, const char* text) {
        entries.push_back({kind, tag, text != nullptr ? text : "(null)"});
        return true;
    }
    static std::string line(const LogEntry& entry) {
        switch (entry.kind) {
            case LogKind::Error: return "E:" + entry.text;
            case LogKind::Info: return "I:" + entry.text;
            case LogKind::Data: return "D:" + entry.tag + "=" + entry.text;
        }
        return "";
    }
};

// --- Files ---

inline Bytes readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readFileText(const std::filesystem::path& path) {
    const Bytes bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Writes the whole file, creating the folders on its way.
inline bool writeFileBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::error_code ignored;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return static_cast<bool>(out);
}

// --- Scratch folders ---

// A fresh folder under the system's temporary folder, named after the label
// and a random number, removed with everything in it when the object goes
// (read-only files and folders are made writable first: they would stop the
// removal on some systems).
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& label = "test") {
        std::random_device seed;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            m_path = base / ("bvtest-" + label + "-" + std::to_string(seed()) + std::to_string(seed()));
            std::error_code error;
            if (std::filesystem::create_directory(m_path, error)) break;
        }
        m_path = std::filesystem::canonical(m_path);
    }
    ~ScratchFolder() { removeAll(m_path); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    // Names of what the folder now holds.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static void removeAll(const std::filesystem::path& path) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(path, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (!it->is_symlink(error))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, error);
        }
        std::filesystem::remove_all(path, error);
    }

private:
    std::filesystem::path m_path;
};

// The label of the running test ("Suite-Name"), for scratch folder names.
inline std::string currentTestLabel() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) return "test";
    std::string label = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : label)
        if (c == '/') c = '_';  // parameterised names
    return label;
}

// --- Host tools (POSIX shell) ---

#if !defined(_WIN32)

// Single-quoted for the POSIX shell.
inline std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

struct RunResult {
    int exitCode = -1;  // 128 + the signal for a program killed by one
    std::string out;
    std::string err;
};

// Runs a shell command line in the folder, standard input empty, its two
// outputs kept in files of the folder.
inline RunResult runShell(const std::filesystem::path& folder, const std::string& commandLine) {
    const std::filesystem::path out = folder / ".out";
    const std::filesystem::path err = folder / ".err";
    const std::string full = "cd " + shellQuote(folder.string()) + " && " + commandLine + " >" +
                             shellQuote(out.string()) + " 2>" + shellQuote(err.string()) + " </dev/null";
    const int status = std::system(full.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFileText(out);
    result.err = readFileText(err);
    return result;
}

// True when the command is on the PATH.
inline bool toolOnPath(const std::string& command) {
    const std::string probe = "command -v " + shellQuote(command) + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

#endif

}  // namespace test_support
