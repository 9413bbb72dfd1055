#include "tools/bvsfx/CommandLine.h"

#include <cstring>

namespace {

const OptionSpec* findLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& optionSpec : specs) {
        if (name == optionSpec.longName) return &optionSpec;
    }
    return nullptr;
}

const OptionSpec* findShort(const std::vector<OptionSpec>& specs, char name) {
    for (const OptionSpec& optionSpec : specs) {
        if (optionSpec.shortName != 0 && optionSpec.shortName == name) return &optionSpec;
    }
    return nullptr;
}

// "--name" or "--name=value".
bool takeLongOption(const std::vector<std::string>& args, size_t& i, const std::vector<OptionSpec>& specs,
                    ParsedCommandLine& out, std::string& error) {
    const std::string& word = args[i];
    const size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* optionSpec = findLong(specs, name);
    if (optionSpec == nullptr) {
        error = "unknown option --" + name;
        return false;
    }
    ParsedOption option{optionSpec->id, std::string(), "--" + name};
    if (optionSpec->arity == OptionArity::Flag) {
        if (equals != std::string::npos) {
            error = "option --" + name + " takes no value";
            return false;
        }
    } else if (equals != std::string::npos) {
        option.value = word.substr(equals + 1);
    } else if (i + 1 < args.size()) {
        option.value = args[++i];
    } else {
        error = "option --" + name + " needs a value";
        return false;
    }
    out.options.push_back(option);
    return true;
}

// "-x", "-x VALUE" or "-xVALUE".
bool takeShortOption(const std::vector<std::string>& args, size_t& i, const std::vector<OptionSpec>& specs,
                     ParsedCommandLine& out, std::string& error) {
    const std::string& word = args[i];
    const OptionSpec* optionSpec = findShort(specs, word[1]);
    if (optionSpec == nullptr) {
        error = "unknown option " + word.substr(0, 2);
        return false;
    }
    ParsedOption option{optionSpec->id, std::string(), word.substr(0, 2)};
    if (optionSpec->arity == OptionArity::Flag) {
        if (word.size() > 2) {
            error = "unknown option " + word;
            return false;
        }
    } else if (word.size() > 2) {
        option.value = word.substr(2);
    } else if (i + 1 < args.size()) {
        option.value = args[++i];
    } else {
        error = "option " + word + " needs a value";
        return false;
    }
    out.options.push_back(option);
    return true;
}

}  // namespace

bool parseCommandLine(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                      ParsedCommandLine& out, std::string& error) {
    out = ParsedCommandLine();
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            out.operands.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word[1] == '-') {
            if (!takeLongOption(args, i, specs, out, error)) return false;
        } else if (!takeShortOption(args, i, specs, out, error)) {
            return false;
        }
    }
    return true;
}

bool parseBoundedInt(const std::string& text, long minimum, long maximum, long& value) {
    if (text.empty() || text.size() > 18) return false;
    long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
    }
    if (result < minimum || result > maximum) return false;
    value = result;
    return true;
}
