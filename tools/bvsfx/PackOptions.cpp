#include "tools/bvsfx/PackOptions.h"

#include <thread>

#include "tools/bvsfx/ChunkEncoder.h"
#include "tools/bvsfx/CommandLine.h"
#include "tools/bvsfx/StubLocator.h"
#include "tools/bvsfx/VersionInfoResource.h"

namespace {

enum PackOptionId {
    kOutput,
    kStub,
    kTitle,
    kCaption,
    kSetup,
    kSetupParamsOption,
    kDir,
    kTemp,
    kSilent,
    kSet,
    kLevel,
    kPassword,
    kPasswordFile,
    kKeyBits,
    kClassicEncryption,
    kKdfIterations,
    kJobs,
    kKeepRoot,
    kDereference,
    kAllowChanging,
    kStrict,
    kQuiet,
    kHelp,
    kWait,
    kCleanup,
    kNoInstallerOptions,
    kIcon,
    kVersionInfo,
};

const std::vector<OptionSpec> kPackSpecs = {
    {"output", 'o', OptionArity::Value, kOutput},
    {"stub", 0, OptionArity::Value, kStub},
    {"icon", 0, OptionArity::Value, kIcon},
    {"version-info", 0, OptionArity::Value, kVersionInfo},
    {"title", 0, OptionArity::Value, kTitle},
    {"caption", 0, OptionArity::Value, kCaption},
    {"setup", 0, OptionArity::Value, kSetup},
    {"setup-params", 0, OptionArity::Value, kSetupParamsOption},
    {"dir", 0, OptionArity::Value, kDir},
    {"temp", 0, OptionArity::Flag, kTemp},
    {"silent", 0, OptionArity::Flag, kSilent},
    {"wait", 0, OptionArity::Flag, kWait},
    {"cleanup", 0, OptionArity::Flag, kCleanup},
    {"no-installer-options", 0, OptionArity::Flag, kNoInstallerOptions},
    {"set", 0, OptionArity::Value, kSet},
    {"level", 'l', OptionArity::Value, kLevel},
    {"password", 'p', OptionArity::Value, kPassword},
    {"password-file", 0, OptionArity::Value, kPasswordFile},
    {"key-bits", 0, OptionArity::Value, kKeyBits},
    {"classic-encryption", 0, OptionArity::Flag, kClassicEncryption},
    {"kdf-iterations", 0, OptionArity::Value, kKdfIterations},
    {"jobs", 'j', OptionArity::Value, kJobs},
    {"keep-root", 0, OptionArity::Flag, kKeepRoot},
    {"dereference", 'L', OptionArity::Flag, kDereference},
    {"allow-changing", 0, OptionArity::Flag, kAllowChanging},
    {"strict", 0, OptionArity::Flag, kStrict},
    {"quiet", 'q', OptionArity::Flag, kQuiet},
    {"help", 'h', OptionArity::Flag, kHelp},
};

// Installer settings named by the options, in the order they are written.
constexpr const char* kAppTitle = "appTitle";
constexpr const char* kAppCaption = "appCaption";
constexpr const char* kSetupFilename = "setupFilename";
constexpr const char* kSetupParams = "setupParams";
constexpr const char* kUnzipDir = "unzipDir";
constexpr const char* kNoInterface = "noInterface";
constexpr const char* kUnzipToTemp = "unzipToTemp";
constexpr const char* kWaitForSetup = "waitForSetup";
constexpr const char* kCleanupAfterSetup = "cleanupAfterSetup";
constexpr const char* kAllowCommandLine = "allowCommandLine";

void putSetting(std::vector<std::pair<std::string, std::string>>& settings, const std::string& name,
                const std::string& value) {
    for (auto& setting : settings) {
        if (setting.first == name) {
            setting.second = value;
            return;
        }
    }
    settings.emplace_back(name, value);
}

uint32_t defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : (cores > kMaxJobs ? kMaxJobs : cores);
}

bool takeNumber(const ParsedOption& option, long minimum, long maximum, long& value, std::string& error) {
    if (parseBoundedInt(option.value, minimum, maximum, value)) return true;
    error = option.spelling + " takes a whole number from " + std::to_string(minimum) + " to " +
            std::to_string(maximum) + ", not \"" + option.value + "\"";
    return false;
}

}  // namespace

const char* const kPackHelp =
    "Usage: bvsfx pack -o OUT [options] INPUT...\n"
    "\n"
    "Writes an installer: a copy of a stub followed by a payload holding the\n"
    "INPUT files and folders. A lone folder is packed as its contents;\n"
    "otherwise each input is packed under its own name.\n"
    "\n"
    "Output and stub:\n"
    "  -o, --output OUT        the installer to write (replaced when it exists)\n"
    "  --stub win32|win64|linux|PATH\n"
    "                          the stub to copy (default win32, the 32-bit\n"
    "                          Windows stub), looked up next to bvsfx and in\n"
    "                          the build tree\n"
    "  --icon FILE.ico         the installer's icon: replaces the Windows stub's\n"
    "                          icon by every image of FILE.ico\n"
    "  --version-info KEY=VALUE\n"
    "                          version information of the Windows installer (its\n"
    "                          file properties), repeatable; KEY is one of\n"
    "                          CompanyName, FileDescription, FileVersion,\n"
    "                          LegalCopyright, OriginalFilename, ProductName,\n"
    "                          ProductVersion; a FileVersion or ProductVersion\n"
    "                          of the form a.b.c.d is also the numeric version\n"
    "Installer settings:\n"
    "  --title TEXT            window title (appTitle)\n"
    "  --caption TEXT          dialog caption (appCaption)\n"
    "  --setup NAME            program to start after extraction (setupFilename),\n"
    "                          a name inside the package\n"
    "  --setup-params TEXT     its parameters (setupParams)\n"
    "  --dir FOLDER            destination folder (unzipDir); %temp% stands for\n"
    "                          the temporary-files folder\n"
    "  --temp                  extract to a new temporary folder (unzipToTemp)\n"
    "  --silent                no dialog (noInterface); needs --dir or --temp\n"
    "  --wait                  wait for the setup program to end; a silent run\n"
    "                          then exits with its exit code (waitForSetup)\n"
    "  --cleanup               after the setup program ended, remove the\n"
    "                          temporary folder the installer made for itself\n"
    "                          (cleanupAfterSetup); needs --wait\n"
    "  --no-installer-options  the installer ignores its own command-line\n"
    "                          options (--help, --list, --check, --target,\n"
    "                          --noexec, --quiet, --) (allowCommandLine)\n"
    "  --set NAME=VALUE        any setting (names are case-sensitive; at most\n"
    "                          200 settings in all); a name the installer does\n"
    "                          not read, or a flag value other than true or\n"
    "                          false, is warned about\n"
    "Data:\n"
    "  -l, --level N           deflate level 1..12 or max (= 12), 0 to store (default 6)\n"
    "  -p, --password TEXT     encrypt with AES under this password: key from\n"
    "                          PBKDF2-HMAC-SHA256 with a random salt, settings,\n"
    "                          names and data authenticated (HMAC-SHA256)\n"
    "  --password-file FILE    the password is the file's first line\n"
    "                          (or set BVSFX_PASSWORD in the environment)\n"
    "  --key-bits 128|192|256  AES key length (default 256; needs a password)\n"
    "  --kdf-iterations N      PBKDF2 iterations, 1000..10000000 (default 600000)\n"
    "  --classic-encryption    the old, weak mode (unsalted MD5 key, nothing\n"
    "                          authenticated) for installers of older versions\n"
    "  --keep-root             keep a lone folder's own name in front\n"
    "  -L, --dereference       pack what symbolic links point to instead of the\n"
    "                          links (links to folders are skipped); without\n"
    "                          it links are packed as links, which Linux\n"
    "                          installers recreate and Windows ones leave out\n"
    "  --allow-changing        pack a file that changes while it is read as it\n"
    "                          was read, with a warning (otherwise: exit 3)\n"
    "Running:\n"
    "  --strict                every warning is an error: nothing is written\n"
    "  -j, --jobs N            encoding threads (default: all cores)\n"
    "  -q, --quiet             no progress bar, no notes\n"
    "  -h, --help              this text\n";

namespace {

// --version-info KEY=VALUE, KEY one of the version resource's string keys.
bool takeVersionInfo(const std::string& value, PackOptions& options, std::string& error) {
    const size_t equals = value.find('=');
    const std::string key = value.substr(0, equals);
    if (equals == std::string::npos || !VersionInfoResource::isKnownKey(key)) {
        std::string keys;
        for (const char* known : VersionInfoResource::kKeys) keys += std::string(" ") + known;
        error = "--version-info takes KEY=VALUE with KEY one of" + keys + ", not \"" + value + "\"";
        return false;
    }
    putSetting(options.branding.versionStrings, key, value.substr(equals + 1));
    return true;
}

// --set NAME=VALUE, NAME not empty.
bool takeSet(const std::string& value, std::vector<std::pair<std::string, std::string>>& extra,
             std::string& error) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0) {
        error = "--set takes NAME=VALUE with a name that is not empty, not \"" + value + "\"";
        return false;
    }
    putSetting(extra, value.substr(0, equals), value.substr(equals + 1));
    return true;
}

// --level 0..12 or max.
bool takeLevel(const ParsedOption& option, PackOptions& options, std::string& error) {
    if (option.value == "max") {
        options.level = ChunkEncoder::kMaxLevel;
        return true;
    }
    long number = 0;
    if (!takeNumber(option, ChunkEncoder::kStoreLevel, ChunkEncoder::kMaxLevel, number, error)) return false;
    options.level = static_cast<int32_t>(number);
    return true;
}

// --key-bits 128, 192 or 256.
bool takeKeyBits(const std::string& value, PackOptions& options, std::string& error) {
    if (value != "128" && value != "192" && value != "256") {
        error = "--key-bits takes 128, 192 or 256, not \"" + value + "\"";
        return false;
    }
    options.keyBits = std::stoi(value);
    options.keyBitsGiven = true;
    return true;
}

// What the options say together: contradictions and what pack needs.
bool checkPackOptions(const PackOptions& options, const ParsedCommandLine& parsed, std::string& error) {
    if (options.classicEncryption && options.kdfIterationsGiven) {
        error = "--kdf-iterations sets the strong mode's derivation; the classic mode has none";
        return false;
    }
    if (options.password.optionGiven && options.password.fileGiven) {
        error = "give --password or --password-file, not both";
        return false;
    }
    if (options.output.empty()) {
        error = "pack needs -o OUT";
        return false;
    }
    if (parsed.operands.empty()) {
        error = "pack needs at least one INPUT";
        return false;
    }
    return true;
}

// Named settings in their fixed order, then --set ones; --set may override
// a named one.
void orderSettings(const std::vector<std::pair<std::string, std::string>>& named,
                   const std::vector<std::pair<std::string, std::string>>& extra, PackOptions& options) {
    for (const char* name : kInstallerSettings) {
        for (const auto& setting : named) {
            if (setting.first == name) options.settings.push_back(setting);
        }
    }
    for (const auto& setting : extra) putSetting(options.settings, setting.first, setting.second);
}

}  // namespace

bool parsePackOptions(const std::vector<std::string>& args, PackOptions& options, std::string& error) {
    options = PackOptions();
    options.stub = StubLocator::kDefaultStub;
    options.jobs = defaultJobs();
    ParsedCommandLine parsed;
    if (!parseCommandLine(args, kPackSpecs, parsed, error)) return false;

    std::vector<std::pair<std::string, std::string>> named;
    std::vector<std::pair<std::string, std::string>> extra;
    long number = 0;
    for (const ParsedOption& option : parsed.options) {
        switch (option.id) {
            case kOutput: options.output = option.value; break;
            case kStub: options.stub = option.value; break;
            case kIcon: options.branding.iconFile = option.value; break;
            case kVersionInfo:
                if (!takeVersionInfo(option.value, options, error)) return false;
                break;
            case kTitle: putSetting(named, kAppTitle, option.value); break;
            case kCaption: putSetting(named, kAppCaption, option.value); break;
            case kSetup: putSetting(named, kSetupFilename, option.value); break;
            case kSetupParamsOption: putSetting(named, kSetupParams, option.value); break;
            case kDir: putSetting(named, kUnzipDir, option.value); break;
            case kTemp: putSetting(named, kUnzipToTemp, "true"); break;
            case kSilent: putSetting(named, kNoInterface, "true"); break;
            case kWait: putSetting(named, kWaitForSetup, "true"); break;
            case kCleanup: putSetting(named, kCleanupAfterSetup, "true"); break;
            case kNoInstallerOptions: putSetting(named, kAllowCommandLine, "false"); break;
            case kSet:
                if (!takeSet(option.value, extra, error)) return false;
                break;
            case kLevel:
                if (!takeLevel(option, options, error)) return false;
                break;
            case kPassword:
                options.password.optionGiven = true;
                options.password.option = option.value;
                break;
            case kPasswordFile:
                options.password.fileGiven = true;
                options.password.file = option.value;
                break;
            case kKeyBits:
                if (!takeKeyBits(option.value, options, error)) return false;
                break;
            case kClassicEncryption: options.classicEncryption = true; break;
            case kKdfIterations:
                if (!takeNumber(option, kMinKdfIterations, kMaxKdfIterations, number, error)) return false;
                options.kdfIterations = static_cast<uint32_t>(number);
                options.kdfIterationsGiven = true;
                break;
            case kJobs:
                if (!takeNumber(option, 1, kMaxJobs, number, error)) return false;
                options.jobs = static_cast<uint32_t>(number);
                break;
            case kKeepRoot: options.keepRoot = true; break;
            case kDereference: options.dereference = true; break;
            case kAllowChanging: options.allowChanging = true; break;
            case kStrict: options.strict = true; break;
            case kQuiet: options.quiet = true; break;
            case kHelp: options.help = true; break;
        }
    }
    if (options.help) return true;
    if (!checkPackOptions(options, parsed, error)) return false;
    options.inputs = parsed.operands;
    orderSettings(named, extra, options);
    return true;
}

const char* const kInstallerSettings[kInstallerSettingCount] = {
    kAppTitle,    kAppCaption,  kSetupFilename, kSetupParams,       kUnzipDir,
    kNoInterface, kUnzipToTemp, kWaitForSetup,  kCleanupAfterSetup, kAllowCommandLine};

bool isInstallerSetting(const std::string& name) {
    for (const char* known : kInstallerSettings) {
        if (name == known) return true;
    }
    return false;
}

bool isFlagSetting(const std::string& name) {
    return name == kNoInterface || name == kUnzipToTemp || name == kWaitForSetup ||
           name == kCleanupAfterSetup || name == kAllowCommandLine;
}

const std::string* findSetting(const PackOptions& options, const char* name) {
    for (const auto& setting : options.settings) {
        if (setting.first == name) return &setting.second;
    }
    return nullptr;
}

bool settingIsTrue(const PackOptions& options, const char* name) {
    const std::string* value = findSetting(options, name);
    if (value == nullptr || value->size() != 4) return false;
    const char* word = "true";
    for (size_t i = 0; i < 4; ++i) {
        char c = (*value)[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i]) return false;
    }
    return true;
}
