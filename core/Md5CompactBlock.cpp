#include "core/Md5CompactBlock.h"

#include "core/Md5Steps.h"

namespace {

constexpr int kStepsPerRound = 16;

// The rotations of the four steps that repeat in each round (RFC 1321, 3.4).
constexpr uint8_t kRotations[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

}  // namespace

void md5CompressCompact(uint32_t state[4], const uint8_t* block) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int step = 0; step < 4 * kStepsPerRound; ++step) {
        const int round = step / kStepsPerRound;
        uint32_t mixed;
        int word;  // X[k]: the message word of this step
        if (round == 0) {
            mixed = md5::auxF(b, c, d);
            word = step;
        } else if (round == 1) {
            mixed = md5::auxG(b, c, d);
            word = (5 * step + 1) % kStepsPerRound;
        } else if (round == 2) {
            mixed = md5::auxH(b, c, d);
            word = (3 * step + 5) % kStepsPerRound;
        } else {
            mixed = md5::auxI(b, c, d);
            word = (7 * step) % kStepsPerRound;
        }
        // a = b + ((a + aux(b,c,d) + X[k] + T[i]) <<< s), then the words
        // move one place: (a, b, c, d) becomes (d, a', b, c).
        const uint32_t sum = a + mixed + md5::messageWord(block, word) + md5::kSineTable[step];
        a = d;
        d = c;
        c = b;
        b += md5::rotateLeft(sum, kRotations[round][step % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}
