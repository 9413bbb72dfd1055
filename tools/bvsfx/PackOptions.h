#pragma once
// PackOptions: the command line of `bvsfx pack`, parsed and checked for
// form (values in range); the checks that need the inputs or the stub are
// the Packer's.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/bvsfx/Password.h"
#include "tools/bvsfx/StubBranding.h"

struct PackOptions {
    std::string output;
    std::string stub;  // win32, win64, linux or a path
    std::vector<std::string> inputs;
    // The settings table, in the order written: the named options first
    // (appTitle, appCaption, setupFilename, setupParams, unzipDir,
    // noInterface, unzipToTemp), then --set pairs in command-line order. A
    // name is written once: a later value replaces an earlier one in place.
    std::vector<std::pair<std::string, std::string>> settings;
    StubBrandingRequest branding;  // --icon, --version-info
    int32_t level = 6;             // 0 stores, 1..12 deflate (libdeflate)
    int32_t keyBits = 256;
    bool keyBitsGiven = false;        // --key-bits was on the command line
    bool classicEncryption = false;   // --classic-encryption: the weak mode old installers read
    uint32_t kdfIterations = 600000;  // of the strong mode's key derivation
    bool kdfIterationsGiven = false;
    Password::Sources password;
    uint32_t jobs = 1;
    bool keepRoot = false;
    bool dereference = false;    // pack what links point to, not the links
    bool allowChanging = false;  // pack a file that changes while read, as read
    bool strict = false;         // every warning stops the pack
    bool quiet = false;
    bool help = false;
};

constexpr int32_t kDefaultDeflateLevel = 6;
constexpr int32_t kDefaultKeyBits = 256;
constexpr uint32_t kMaxJobs = 256;
// --kdf-iterations: below the lower bound the derivation stops costing a
// guesser anything worth having (it exists so that test suites stay fast);
// above the upper one an installer would take many seconds (the installer
// refuses more than 10,000,000).
constexpr uint32_t kMinKdfIterations = 1000;
constexpr uint32_t kMaxKdfIterations = 10000000;

// The text of `bvsfx pack --help`.
extern const char* const kPackHelp;

// False with a message for unknown options, bad values or missing operands
// (unless --help was given).
bool parsePackOptions(const std::vector<std::string>& args, PackOptions& options, std::string& error);

// The value of a setting, or null when absent.
const std::string* findSetting(const PackOptions& options, const char* name);

// Whether a setting holds "true" in any letter case (how the installer reads
// noInterface and unzipToTemp).
bool settingIsTrue(const PackOptions& options, const char* name);

// The settings the installer reads, in the order the named options write
// them; any other name is carried in the payload and ignored.
constexpr size_t kInstallerSettingCount = 10;
extern const char* const kInstallerSettings[kInstallerSettingCount];

// Whether the installer reads a setting of this exact name (names are
// case-sensitive).
bool isInstallerSetting(const std::string& name);

// Whether the installer reads the setting as an on/off flag (noInterface,
// unzipToTemp): on for "true" in any letter case, off for anything else.
bool isFlagSetting(const std::string& name);
