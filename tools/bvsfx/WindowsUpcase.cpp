#include "tools/bvsfx/WindowsUpcase.h"

#include <algorithm>
#include <iterator>

namespace WindowsUpcase {

namespace {

struct Pair {
    uint16_t from;
    uint16_t to;
};

// Sorted by from.
constexpr Pair kPairs[] = {
#include "tools/bvsfx/WindowsUpcaseTable.inc"
};

}  // namespace

uint16_t unit(uint16_t value) {
    const Pair* end = std::end(kPairs);
    const Pair* found = std::lower_bound(std::begin(kPairs), end, value,
                                         [](const Pair& pair, uint16_t key) { return pair.from < key; });
    return found != end && found->from == value ? found->to : value;
}

std::u16string text(const std::u16string& value) {
    std::u16string mapped = value;
    for (char16_t& c : mapped) c = static_cast<char16_t>(unit(static_cast<uint16_t>(c)));
    return mapped;
}

}  // namespace WindowsUpcase
