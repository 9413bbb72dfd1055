#pragma once
// Helpers of the stub's dialog tests on the POSIX layer, where a dialog is
// rendered in the terminal: scripted answers on standard input, and what
// the terminal showed (standard error) captured for the checks.
#ifndef _WIN32

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace dialog_test {

// Puts a temporary file with the given text on a standard descriptor for
// the life of the object (stdin for the answers, stderr to capture), then
// restores the descriptor.
class RedirectedDescriptor {
public:
    RedirectedDescriptor(int descriptor, const std::string& text) : m_descriptor(descriptor) {
        m_file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), m_file);
        std::fflush(m_file);
        std::rewind(m_file);
        std::fflush(stderr);
        m_saved = ::dup(descriptor);
        ::dup2(::fileno(m_file), descriptor);
    }
    ~RedirectedDescriptor() {
        std::fflush(stderr);
        ::dup2(m_saved, m_descriptor);
        ::close(m_saved);
        std::fclose(m_file);
    }
    RedirectedDescriptor(const RedirectedDescriptor&) = delete;
    RedirectedDescriptor& operator=(const RedirectedDescriptor&) = delete;

    // Everything written to the descriptor so far.
    std::string contents() {
        std::fflush(stderr);
        const off_t end = ::lseek(::fileno(m_file), 0, SEEK_END);
        std::string text(static_cast<size_t>(end > 0 ? end : 0), '\0');
        if (::pread(::fileno(m_file), text.data(), text.size(), 0) < 0) text.clear();
        return text;
    }

private:
    int m_descriptor;
    int m_saved = -1;
    std::FILE* m_file = nullptr;
};

// Answers on standard input and the terminal captured, for one dialog run.
class ScriptedTerminal {
public:
    explicit ScriptedTerminal(const std::string& answers)
        : m_input(STDIN_FILENO, answers), m_output(STDERR_FILENO, "") {}
    std::string shown() { return m_output.contents(); }

private:
    RedirectedDescriptor m_input;
    RedirectedDescriptor m_output;
};

// The values the terminal showed for edit fields, as "  [value]" lines, in
// the order they were shown.
inline std::vector<std::string> shownFields(const std::string& shown) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start < shown.size()) {
        size_t end = shown.find('\n', start);
        if (end == std::string::npos) end = shown.size();
        const std::string line = shown.substr(start, end - start);
        if (line.size() >= 4 && line.compare(0, 3, "  [") == 0 && line.back() == ']') {
            fields.push_back(line.substr(3, line.size() - 4));
        }
        start = end + 1;
    }
    return fields;
}

// The percentages the progress bar was drawn at ("] NN%" lines).
inline std::vector<int> drawnPercents(const std::string& shown) {
    std::vector<int> percents;
    size_t at = 0;
    while ((at = shown.find("%\n", at)) != std::string::npos) {
        size_t begin = shown.rfind(']', at);
        if (begin != std::string::npos) percents.push_back(std::stoi(shown.substr(begin + 1, at - begin - 1)));
        at += 2;
    }
    return percents;
}

}  // namespace dialog_test

#endif  // _WIN32
