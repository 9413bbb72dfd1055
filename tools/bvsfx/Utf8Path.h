#pragma once
// Utf8Path: a path made from a UTF-8 string, the form every name and argument
// takes inside bvsfx.
//
// On POSIX the bytes are the path. On Windows the C++ library turns a char
// string into the wide path through the C runtime's code page, which is never
// UTF-8 there (é would become two characters); a char8_t string is converted
// as UTF-8. The way back, path::string(), gives UTF-8 on both systems.

#include <filesystem>
#include <string>

inline std::filesystem::path utf8Path(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}
