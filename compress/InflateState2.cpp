#include "compress/InflateState2.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "compress/DataSink.h"
#include "crypto/CpuFeatures.h"
#include "io/DataSource.h"

namespace {

// First-level widths of the decoding tables. Wider tables decode more codes
// in one lookup but cost more to build for every dynamic block.
constexpr uint32_t kLiteralLengthRootBits = 9;
constexpr uint32_t kDistanceRootBits = 6;
constexpr uint32_t kCodeLengthRootBits = 7;
constexpr uint32_t kFixedLiteralLengthRootBits = 7;
constexpr uint32_t kFixedDistanceRootBits = 5;

// The fast loop tops up its bit buffer with unaligned 8-byte loads, at most
// two per pass, so it runs only while this many input bytes remain.
constexpr ptrdiff_t kFastInputMarginBytes = 16;
// Bits a literal/length code with its extra bits and a distance code with its
// extra bits can take together: 15 + 5 + 15 + 13.
constexpr uint32_t kMaxSymbolPairBits = 48;

inline uint64_t loadLittleEndian64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

inline void copy8(uint8_t* dst, const uint8_t* src) {
    uint64_t chunk;
    std::memcpy(&chunk, src, sizeof chunk);
    std::memcpy(dst, &chunk, sizeof chunk);
}

inline void copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t chunk[16];
    std::memcpy(chunk, src, sizeof chunk);
    std::memcpy(dst, chunk, sizeof chunk);
}

inline uint32_t lowBits(uint64_t bits, uint32_t count) {
    return static_cast<uint32_t>(bits) & ((1u << count) - 1);
}

// The codes of block type 1, built once for the whole process.
struct FixedCodeTables {
    InflateTable literalLength;
    InflateTable distance;

    FixedCodeTables() {
        uint8_t lengths[kDeflateFixedLiteralLengths];
        uint32_t symbol = 0;
        for (const auto& range : kDeflateFixedRanges)
            for (; symbol <= range[0]; ++symbol) lengths[symbol] = static_cast<uint8_t>(range[1]);
        literalLength.build(lengths, kDeflateFixedLiteralLengths, kFixedLiteralLengthRootBits,
                            InflateTable::Alphabet::LiteralLength);
        uint8_t distanceLengths[kDeflateFixedDistances];
        std::memset(distanceLengths, kDeflateFixedDistanceBits, sizeof distanceLengths);
        distance.build(distanceLengths, kDeflateFixedDistances, kFixedDistanceRootBits,
                       InflateTable::Alphabet::Distance);
    }
};

const FixedCodeTables& fixedCodeTables() {
    static const FixedCodeTables tables;
    return tables;
}

}  // namespace

const char* inflateResultName(InflateResult result) {
    switch (result) {
        case InflateResult::NotFinished: return "not finished";
        case InflateResult::Complete: return "complete";
        case InflateResult::BadBlockType: return "bad block type";
        case InflateResult::BadStoredLength: return "bad stored block length";
        case InflateResult::BadCodeLengthCode: return "bad code-length code";
        case InflateResult::BadCodeLengthRepeat: return "code-length repeat past the end";
        case InflateResult::BadLiteralLengthCode: return "bad literal/length code";
        case InflateResult::InvalidLiteralLength: return "invalid literal/length symbol";
        case InflateResult::InvalidDistance: return "invalid distance symbol";
        case InflateResult::InputExhausted: return "input exhausted";
        case InflateResult::SinkRefused: return "sink refused the output";
        case InflateResult::OutOfMemory: return "out of memory";
        case InflateResult::Aborted: return "aborted by an exception";
    }
    return "unknown";
}

InflateState2::InflateState2() : m_inputWindow(nullptr), m_historyWritten(true) {
    // The state of a new stream, the history zeroed: only the history in
    // front of the first window must start as zeros; every byte behind it is
    // written before it is read.
    reset();
    fixedCodeTables();
}

InflateState2::~InflateState2() { delete[] m_inputWindow; }

void InflateState2::reset() {
    m_mode = BlockState::Header;
    m_lastBlock = false;
    m_storedRemaining = 0;
    m_litTable = nullptr;
    m_distTable = nullptr;
    std::memset(m_codeLengths, 0, sizeof m_codeLengths);
    m_inPos = nullptr;
    m_inEnd = nullptr;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_missingBytes = 0;
    m_source = nullptr;
    delete[] m_inputWindow;
    m_inputWindow = nullptr;
    m_sourceEnded = true;
    m_windowOffset = kWindowBytes;
    m_windowPos = 0;
    // A stream writes the first 32,768 bytes only when it moves its last
    // window to the front; windows are decoded behind them.
    if (m_historyWritten) std::memset(m_window, 0, kWindowBytes);
    m_historyWritten = false;
    m_sink = nullptr;
    m_result = InflateResult::NotFinished;
    m_bytesDelivered = 0;
}

void InflateState2::setSink(DataSink* sink) {
    m_sink = sink;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_missingBytes = 0;
}

void InflateState2::inflateRange(const uint8_t* data, uint32_t size) {
    if (data == nullptr || m_result != InflateResult::NotFinished) return;
    m_inPos = data;
    m_inEnd = data + size;
#if __cpp_exceptions
    try {
        decodeStream();
    } catch (...) {
        m_result = InflateResult::Aborted;
    }
#else
    // Built without exceptions (the stub): nothing below can throw.
    decodeStream();
#endif
    m_inPos = m_inEnd = nullptr;
}

bool InflateState2::inflateFromSource(DataSource* source) {
    if (m_result != InflateResult::NotFinished) return true;
    m_inputWindow = new (std::nothrow) uint8_t[kStreamInputBytes];
    if (m_inputWindow == nullptr) {
        m_result = InflateResult::OutOfMemory;
        return false;
    }
    m_source = source;
    m_sourceEnded = (source == nullptr);
    m_inPos = m_inEnd = m_inputWindow;
    bool ok = true;
#if __cpp_exceptions
    try {
        fillInputWindow();
        decodeStream();
    } catch (...) {
        m_result = InflateResult::Aborted;
        ok = false;
    }
#else
    fillInputWindow();
    decodeStream();
#endif
    delete[] m_inputWindow;
    m_inputWindow = nullptr;
    m_source = nullptr;
    m_sourceEnded = true;
    m_inPos = m_inEnd = nullptr;
    return ok;
}

// ---------------------------------------------------------------------------
// Main loop: one block step per pass until the final block has ended or a
// fault has been recorded.
// ---------------------------------------------------------------------------
void InflateState2::decodeStream() {
    while (m_result == InflateResult::NotFinished) {
        if (canRefillInput() && m_inPos - m_inputWindow > static_cast<ptrdiff_t>(kStreamRefillAfterBytes))
            refillInput();
        switch (m_mode) {
            case BlockState::Header:
                if (m_lastBlock) {
                    finishStream();
                    return;
                }
                readBlockHeader();
                break;
            case BlockState::StoredHeader: readStoredHeader(); break;
            case BlockState::StoredCopy: copyStoredBytes(); break;
            case BlockState::FixedHeader:
                m_litTable = &fixedCodeTables().literalLength;
                m_distTable = &fixedCodeTables().distance;
                m_mode = BlockState::FixedCodes;
                break;
            case BlockState::DynamicHeader: readDynamicHeader(); break;
            case BlockState::FixedCodes:
            case BlockState::DynamicCodes: decodeCompressedBlock(); break;
        }
    }
}

void InflateState2::fault(InflateResult result) { m_result = result; }

void InflateState2::finishStream() {
    if (m_windowPos > 0 && !deliver(windowStart(), m_windowPos)) return;
    m_windowPos = 0;
    m_result = InflateResult::Complete;
}

// BFINAL (1 bit), BTYPE (2 bits).
void InflateState2::readBlockHeader() {
    fillBits(kDeflateFinalFlagBits + kDeflateBlockTypeBits);
    m_lastBlock = takeBits(kDeflateFinalFlagBits) != 0;
    uint32_t blockType = takeBits(kDeflateBlockTypeBits);
    if (usedMissingBits()) return fault(InflateResult::InputExhausted);
    switch (blockType) {
        case kDeflateBlockStored: m_mode = BlockState::StoredHeader; break;
        case kDeflateBlockFixed: m_mode = BlockState::FixedHeader; break;
        case kDeflateBlockDynamic: m_mode = BlockState::DynamicHeader; break;
        default: fault(InflateResult::BadBlockType); break;
    }
}

// Stored block: skip to the byte boundary, LEN (16 bits), NLEN (16 bits).
void InflateState2::readStoredHeader() {
    uint32_t partialBits = m_bitCount & 7u;  // the rest of the current byte
    m_bitBuffer >>= partialBits;
    m_bitCount -= partialBits;
    uint32_t length = takeBits(kDeflateStoredLengthBits);
    uint32_t lengthComplement = takeBits(kDeflateStoredLengthBits);
    if (usedMissingBits()) return fault(InflateResult::InputExhausted);
    if ((length ^ 0xFFFFu) != lengthComplement) return fault(InflateResult::BadStoredLength);
    m_storedRemaining = length;
    m_mode = BlockState::StoredCopy;
}

// Copies the stored bytes: first the whole bytes still held in the bit
// buffer, then straight from the input, a window at a time.
void InflateState2::copyStoredBytes() {
    while (m_storedRemaining > 0) {
        // A compressed block may have ended with the window full (or a match
        // past its end) and not yet flushed: flush before the first stored
        // byte, since the copy below fills the window only up to its end.
        if (!flushIfFull()) return;
        uint8_t* window = windowStart();
        if (m_bitCount > 0) {
            if (realBitCount() == 0) return fault(InflateResult::InputExhausted);
            window[m_windowPos++] = static_cast<uint8_t>(m_bitBuffer);
            m_bitBuffer >>= 8;
            m_bitCount -= 8;
            --m_storedRemaining;
        } else {
            m_bitBuffer = 0;  // forget look-ahead copies of the bytes about to be copied
            if (m_inPos == m_inEnd) {
                if (!canRefillInput()) return fault(InflateResult::InputExhausted);
                refillInput();
                continue;
            }
            uint32_t count = m_storedRemaining;
            if (static_cast<ptrdiff_t>(count) > m_inEnd - m_inPos)
                count = static_cast<uint32_t>(m_inEnd - m_inPos);
            if (count > kWindowBytes - m_windowPos) count = kWindowBytes - m_windowPos;
            std::memcpy(window + m_windowPos, m_inPos, count);
            m_inPos += count;
            m_windowPos += count;
            m_storedRemaining -= count;
        }
        if (!flushIfFull()) return;
    }
    m_mode = BlockState::Header;
}

// Dynamic block header: HLIT, HDIST, HCLEN, the code-length code, then the
// literal/length and distance code lengths coded with it.
void InflateState2::readDynamicHeader() {
    uint32_t literalLengthCount = takeBits(kDeflateHlitBits) + kDeflateHlitBase;  // up to 288
    uint32_t distanceCount = takeBits(kDeflateHdistBits) + kDeflateHdistBase;     // up to 32
    uint32_t codeLengthCount = takeBits(kDeflateHclenBits) + kDeflateHclenBase;   // up to 19
    uint8_t codeLengthLengths[kDeflateCodeLengthSymbols] = {};
    for (uint32_t i = 0; i < codeLengthCount; ++i)
        codeLengthLengths[kDeflateCodeLengthOrder[i]] =
            static_cast<uint8_t>(takeBits(kDeflateCodeLengthCodeLengthBits));
    if (usedMissingBits()) return fault(InflateResult::InputExhausted);
    if (m_codeLengthTable.build(codeLengthLengths, kDeflateCodeLengthSymbols, kCodeLengthRootBits,
                                InflateTable::Alphabet::CodeLengths) != InflateTableBuild::Complete)
        return fault(InflateResult::BadCodeLengthCode);

    if (!readCodeLengths(literalLengthCount + distanceCount)) return;

    if (m_dynamicLit.build(m_codeLengths, literalLengthCount, kLiteralLengthRootBits,
                           InflateTable::Alphabet::LiteralLength) != InflateTableBuild::Complete)
        return fault(InflateResult::BadLiteralLengthCode);
    // Any distance code is accepted here: an incomplete one decodes the codes
    // it has, an over-subscribed or empty one decodes nothing, and a length
    // that then needs a distance is the fault.
    m_dynamicDist.build(m_codeLengths + literalLengthCount, distanceCount, kDistanceRootBits,
                        InflateTable::Alphabet::Distance);
    m_litTable = &m_dynamicLit;
    m_distTable = &m_dynamicDist;
    m_mode = BlockState::DynamicCodes;
}

// Decodes `total` code lengths into m_codeLengths. A repeat may cross from the
// literal/length lengths into the distance lengths, but not past the end.
bool InflateState2::readCodeLengths(uint32_t total) {
    uint32_t index = 0;
    uint32_t previous = 0;  // what code 16 repeats; 0 before any length
    while (index < total) {
        fillBits(kDeflateMaxCodeLengthCodeBits);
        uint32_t entry = m_codeLengthTable.lookup(m_bitBuffer);
        if (!InflateTable::isLiteral(entry)) {
            fault(InflateResult::BadCodeLengthCode);
            return false;
        }
        m_bitBuffer >>= InflateTable::codeBits(entry);
        m_bitCount -= InflateTable::codeBits(entry);
        uint32_t symbol = InflateTable::value(entry);
        if (symbol < kDeflateRepeatPrevious) {
            m_codeLengths[index++] = static_cast<uint8_t>(symbol);
            previous = symbol;
            continue;
        }
        uint32_t repeat;
        uint32_t value = 0;
        if (symbol == kDeflateRepeatPrevious) {
            repeat = kDeflateRepeatPreviousBase + takeBits(kDeflateRepeatPreviousExtraBits);
            value = previous;
        } else if (symbol == kDeflateRepeatZeroShort) {
            repeat = kDeflateRepeatZeroShortBase + takeBits(kDeflateRepeatZeroShortExtraBits);
        } else {
            repeat = kDeflateRepeatZeroLongBase + takeBits(kDeflateRepeatZeroLongExtraBits);
        }
        if (symbol != kDeflateRepeatPrevious) previous = 0;
        if (usedMissingBits()) {
            fault(InflateResult::InputExhausted);
            return false;
        }
        if (index + repeat > total) {
            fault(InflateResult::BadCodeLengthRepeat);
            return false;
        }
        std::memset(m_codeLengths + index, static_cast<int>(value), repeat);
        index += repeat;
    }
    if (usedMissingBits()) {
        fault(InflateResult::InputExhausted);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Huffman-coded block data: the fast loop while input and window room allow,
// one careful symbol at a time near the end of the input.
// ---------------------------------------------------------------------------
void InflateState2::decodeCompressedBlock() {
    for (;;) {
        switch (decodeFast()) {
            case FastExit::EndOfBlock: m_mode = BlockState::Header; return;
            case FastExit::WindowFull:
                if (!flushFullWindow()) return;
                continue;
            case FastExit::InvalidLiteralLength: return fault(InflateResult::InvalidLiteralLength);
            case FastExit::InvalidDistance: return fault(InflateResult::InvalidDistance);
            case FastExit::InputLow: break;
        }
        if (canRefillInput()) {
            refillInput();
            continue;
        }
        if (!decodeOneSymbol()) return;
    }
}

// Where the compiler can build single functions for the bit-manipulation
// sets, the hot loop is compiled a second time with them: its shifts by a
// variable count and its masks of the low bits then take one instruction
// each, without tying up the count register.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define BRIVANE_INFLATE_BMI2 1
#define BRIVANE_BMI2_TARGET __attribute__((target("bmi,bmi2")))
#else
#define BRIVANE_INFLATE_BMI2 0
#endif

#if defined(__GNUC__)
#define BRIVANE_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define BRIVANE_ALWAYS_INLINE inline
#endif

namespace {

bool& bmi2LoopSelected() {
    static bool selected = BRIVANE_INFLATE_BMI2 && cpuHasBitManipulation();
    return selected;
}

}  // namespace

bool InflateState2::usesBmi2Loop() { return bmi2LoopSelected(); }

bool InflateState2::useBmi2Loop(bool use) {
    if (use && !(BRIVANE_INFLATE_BMI2 && cpuHasBitManipulation())) return false;
    bmi2LoopSelected() = use;
    return true;
}

InflateState2::FastExit InflateState2::decodeFast() {
    return bmi2LoopSelected() ? decodeFastBmi2() : decodeFastBaseline();
}

InflateState2::FastExit InflateState2::decodeFastBaseline() { return decodeFastLoop(); }

#if BRIVANE_INFLATE_BMI2
BRIVANE_BMI2_TARGET InflateState2::FastExit InflateState2::decodeFastBmi2() { return decodeFastLoop(); }
#else
InflateState2::FastExit InflateState2::decodeFastBmi2() { return decodeFastLoop(); }
#endif

// The hot loop. It keeps the input position, the bit buffer and the output
// position in locals (stores into the window may alias any member) and
// requires, for every pass: at least kFastInputMarginBytes of input, enough
// for two 8-byte top-ups of the bit buffer (each one leaves 56 or more bits,
// enough for a whole length/distance pair); and an output position inside
// the window, since the slack behind it holds the longest match plus the
// over-copy.
//
// Bit budget: a top-up makes all 64 bits of the buffer true input bits, of
// which the count says 56-63; consuming shifts zeros in at the top. So after
// at most 64 - 15 bits have been consumed since the last top-up, the next
// entry can be looked up already (preloaded) while the current symbol is
// still being finished: its bits are real even where the count is low.
//
// Inlined into each of the two builds above, so that each is compiled for
// its own instruction set.
BRIVANE_ALWAYS_INLINE InflateState2::FastExit InflateState2::decodeFastLoop() {
    if (m_inEnd - m_inPos < kFastInputMarginBytes) return FastExit::InputLow;

    const uint32_t* const litEntries = m_litTable->entries();
    const uint32_t litRootMask = (1u << m_litTable->rootBits()) - 1;
    const uint32_t* const distEntries = m_distTable->entries();
    const uint32_t distRootMask = (1u << m_distTable->rootBits()) - 1;

    // The low `count` bits of a value (count below 64).
    auto lowBitsOf = [](uint64_t value, uint32_t count) -> uint64_t {
        return value & ((uint64_t{1} << count) - 1);
    };

    const uint8_t* in = m_inPos;
    const uint8_t* const inLimit = m_inEnd - kFastInputMarginBytes;
    uint64_t bits = m_bitBuffer;
    uint32_t bitCount = m_bitCount;
    uint8_t* out = windowStart() + m_windowPos;
    uint8_t* const outLimit = windowStart() + kWindowBytes;
    FastExit exit = FastExit::InputLow;

    // Only the low 8 bits of bitCount count here: consuming subtracts the
    // whole entry, whose low byte is the bits consumed, and the borrow into
    // the upper bits is never looked at. That saves isolating the byte on
    // every symbol. Shift counts are taken modulo 64 (written "& 63", which
    // the processor's shifts do anyway); the counts involved stay below 64.
    //
    // Top up to 56-63 valid bits; whole bytes only, so the valid bits still
    // end on a byte boundary. Bits above bitCount are the true next input
    // bits, which a later top-up ORs in again unchanged.
    auto topUp = [&] {
        bits |= loadLittleEndian64(in) << (bitCount & 63);
        in += 7 - ((bitCount >> 3) & 7);
        bitCount |= 56;
    };
    static_assert(56 >= kMaxSymbolPairBits, "one top-up must cover a length/distance pair");
    // Bits 0-7 of an entry are the bits it consumes (at most 28, so bits 6-7
    // are clear).
    auto consume = [&](uint32_t entry) {
        bits >>= (entry & 63);
        bitCount -= entry;
    };
    // A base entry's value plus its extra bits. Bits 8-13 of a base entry
    // hold its code length (bits 12-13, the invalid and end-of-block flags,
    // are clear in a base entry).
    auto baseWithExtra = [&](uint32_t entry) {
        return (entry >> 16) + static_cast<uint32_t>(lowBitsOf(bits, entry & 63) >> ((entry >> 8) & 63));
    };
    // The second-level entry behind a link entry for the same bits. A link's
    // low byte is the first-level width, so the shift needs no other operand.
    auto subEntry = [&](const uint32_t* entries, uint32_t link) {
        return entries[InflateTable::value(link) +
                       lowBitsOf(bits >> (link & 63), InflateTable::codeBits(link))];
    };

    topUp();
    uint32_t entry = litEntries[bits & litRootMask];
    while (in <= inLimit) {
        if (out >= outLimit) {
            exit = FastExit::WindowFull;
            break;
        }
        topUp();  // the preloaded entry's bits are the low ones, which stay

        // Literals: up to three per top-up (3 x 15 bits, plus 9 bits for the
        // preload). A length after a literal waits for a second top-up (the
        // margin leaves input for it).
        if (InflateTable::isLiteral(entry)) {
            consume(entry);
            *out++ = static_cast<uint8_t>(entry >> 16);
            entry = litEntries[bits & litRootMask];
            if (InflateTable::isLiteral(entry)) {
                consume(entry);
                *out++ = static_cast<uint8_t>(entry >> 16);
                entry = litEntries[bits & litRootMask];
                if (InflateTable::isLiteral(entry)) {
                    consume(entry);
                    *out++ = static_cast<uint8_t>(entry >> 16);
                    entry = litEntries[bits & litRootMask];
                    continue;
                }
            }
            topUp();
        }
        if (InflateTable::isExceptional(entry)) {
            if (InflateTable::isLink(entry)) {
                entry = subEntry(litEntries, entry);
                if (InflateTable::isLiteral(entry)) {
                    consume(entry);
                    *out++ = static_cast<uint8_t>(entry >> 16);
                    entry = litEntries[bits & litRootMask];
                    continue;
                }
            }
            if (InflateTable::isExceptional(entry)) {
                exit =
                    InflateTable::isEndOfBlock(entry) ? FastExit::EndOfBlock : FastExit::InvalidLiteralLength;
                consume(entry);
                break;
            }
        }

        // Length: one shift consumes the code and its extra bits.
        uint32_t length = baseWithExtra(entry);
        consume(entry);

        // Distance symbol.
        entry = distEntries[bits & distRootMask];
        if (InflateTable::isExceptional(entry)) {
            if (InflateTable::isLink(entry)) entry = subEntry(distEntries, entry);
            if (InflateTable::isExceptional(entry)) {
                exit = FastExit::InvalidDistance;
                break;
            }
        }
        uint32_t distance = baseWithExtra(entry);
        consume(entry);
        entry = litEntries[bits & litRootMask];  // preload: at most 48 bits used since the top-up

        // Copy `length` bytes from `distance` back. The history in front of
        // the window makes the source contiguous. With distance >= 16 (or 8)
        // every 16-byte (8-byte) chunk reads bytes already written; the
        // over-copy lands in bytes not yet decoded.
        const uint8_t* from = out - distance;
        uint8_t* const end = out + length;
        if (distance >= 16) {
            copy16(out, from);
            copy16(out + 16, from + 16);
            while (out + 32 < end) {
                out += 32;
                from += 32;
                copy16(out, from);
                copy16(out + 16, from + 16);
            }
        } else if (distance >= 8) {
            do {
                copy8(out, from);
                out += 8;
                from += 8;
            } while (out < end);
        } else if (distance == 1) {
            // A run of one byte: store it 8 at a time.
            const uint64_t run = out[-1] * 0x0101010101010101ull;
            do {
                std::memcpy(out, &run, sizeof run);
                out += 8;
            } while (out < end);
        } else {
            // Distance 2-7: each 8-byte chunk read from one period back holds
            // `distance` finished bytes; keep those and step on by distance.
            do {
                copy8(out, from);
                out += distance;
                from += distance;
            } while (out < end);
        }
        out = end;
    }

    m_inPos = in;
    m_bitBuffer = bits;
    m_bitCount = bitCount & 0xFFu;
    m_windowPos = static_cast<uint32_t>(out - windowStart());
    return exit;
}

// One symbol read field by field with exact end-of-input checks. Returns
// false at the end of the block or on a fault.
bool InflateState2::decodeOneSymbol() {
    // The hot loop may stop for want of input with a match that ran past the
    // window's end not yet flushed; the slack holds one match, not two.
    if (!flushIfFull()) return false;
    fillBits(kDeflateMaxCodeBits);
    uint32_t entry = m_litTable->lookup(m_bitBuffer);
    if (InflateTable::isInvalid(entry)) {
        fault(InflateTable::codeBits(entry) > realBitCount() ? InflateResult::InputExhausted
                                                             : InflateResult::InvalidLiteralLength);
        return false;
    }
    m_bitBuffer >>= InflateTable::codeBits(entry);
    m_bitCount -= InflateTable::codeBits(entry);
    if (usedMissingBits()) {
        fault(InflateResult::InputExhausted);
        return false;
    }
    if (InflateTable::isLiteral(entry)) {
        windowStart()[m_windowPos++] = static_cast<uint8_t>(InflateTable::value(entry));
        return flushIfFull();
    }
    if (InflateTable::isEndOfBlock(entry)) {
        m_mode = BlockState::Header;
        return false;
    }
    uint32_t length = InflateTable::value(entry) + takeBits(InflateTable::extraBits(entry));

    fillBits(kDeflateMaxCodeBits);
    entry = m_distTable->lookup(m_bitBuffer);
    if (!InflateTable::isBase(entry)) {
        fault(InflateTable::codeBits(entry) > realBitCount() ? InflateResult::InputExhausted
                                                             : InflateResult::InvalidDistance);
        return false;
    }
    m_bitBuffer >>= InflateTable::codeBits(entry);
    m_bitCount -= InflateTable::codeBits(entry);
    uint32_t distance = InflateTable::value(entry) + takeBits(InflateTable::extraBits(entry));
    if (usedMissingBits()) {
        fault(InflateResult::InputExhausted);
        return false;
    }
    uint8_t* out = windowStart() + m_windowPos;
    const uint8_t* from = out - distance;
    for (uint32_t i = 0; i < length; ++i) out[i] = from[i];  // byte by byte: overlaps repeat
    m_windowPos += length;
    return flushIfFull();
}

// ---------------------------------------------------------------------------
// Bit input for the careful paths.
// ---------------------------------------------------------------------------

// Makes at least `count` bits (at most 56) available. Behind the end of the
// input it adds zero bytes and counts them, so that reading on stays
// harmless and usedMissingBits() tells whether any of them was consumed.
void InflateState2::fillBits(uint32_t count) {
    while (m_bitCount < count) {
        if (m_inPos == m_inEnd && canRefillInput()) refillInput();
        if (m_inPos < m_inEnd)
            m_bitBuffer |= static_cast<uint64_t>(*m_inPos++) << m_bitCount;
        else
            ++m_missingBytes;  // the buffer is already zero above m_bitCount here
        m_bitCount += 8;
    }
}

uint32_t InflateState2::takeBits(uint32_t count) {
    fillBits(count);
    uint32_t value = lowBits(m_bitBuffer, count);
    m_bitBuffer >>= count;
    m_bitCount -= count;
    return value;
}

uint32_t InflateState2::realBitCount() const {
    uint32_t missingBits = m_missingBytes * 8;
    return m_bitCount > missingBits ? m_bitCount - missingBits : 0;
}

// ---------------------------------------------------------------------------
// Output window.
// ---------------------------------------------------------------------------

bool InflateState2::flushIfFull() { return m_windowPos < kWindowBytes || flushFullWindow(); }

// Hands the full window to the sink; it becomes the history of the next
// window, which starts behind it with the bytes a back-reference wrote past
// its end. When no room is left for another window, the full window (and
// those bytes) moves to the front first.
bool InflateState2::flushFullWindow() {
    if (!deliver(windowStart(), kWindowBytes)) return false;
    const uint32_t overflow = m_windowPos - kWindowBytes;
    if (m_windowOffset == kOutputWindows * kWindowBytes) {
        std::memmove(m_window, windowStart(), kWindowBytes + overflow);
        m_historyWritten = true;
        m_windowOffset = kWindowBytes;
    } else {
        m_windowOffset += kWindowBytes;
    }
    m_windowPos = overflow;
    return true;
}

// The sink must have room for the whole piece; otherwise decoding stops
// without writing. Without a sink the bytes are discarded.
bool InflateState2::deliver(const uint8_t* data, uint32_t size) {
    if (m_sink != nullptr) {
        uint32_t space = 0;
        if (!m_sink->freeSpace(space) || space < size) {
            fault(InflateResult::SinkRefused);
            return false;
        }
        m_sink->write(data, size);  // a failing sink records its failure itself
    }
    m_bytesDelivered += size;
    return true;
}

// ---------------------------------------------------------------------------
// Streaming input window.
// ---------------------------------------------------------------------------

bool InflateState2::canRefillInput() const { return m_source != nullptr && !m_sourceEnded; }

// Moves the unconsumed tail to the start of the input window and fills the
// rest from the source.
void InflateState2::refillInput() {
    size_t tail = static_cast<size_t>(m_inEnd - m_inPos);
    std::memmove(m_inputWindow, m_inPos, tail);
    m_inPos = m_inputWindow;
    m_inEnd = m_inputWindow + tail;
    fillInputWindow();
}

// Reads until the window holds kStreamInputBytes or the source ends; a read
// that fails or delivers nothing is the end.
void InflateState2::fillInputWindow() {
    uint8_t* const limit = m_inputWindow + kStreamInputBytes;
    while (!m_sourceEnded && m_inEnd < limit) {
        uint8_t* at = m_inputWindow + (m_inEnd - m_inputWindow);
        uint32_t delivered = 0;
        bool ok = m_source->readBytes(at, static_cast<uint32_t>(limit - at), &delivered);
        if (!ok || delivered == 0) {
            m_sourceEnded = true;
            break;
        }
        m_inEnd = at + delivered;
    }
}
