#pragma once
// InflateState2: the raw deflate (RFC 1951) decoder. It hands the decoded
// bytes to a DataSink in whole 32,768-byte windows, then one final partial
// window when the stream ends.
//
// Two modes:
// - one-shot, inflateRange: the whole compressed stream lies in one memory
//   range and is decoded in one call, without copying the input;
// - streaming, inflateFromSource: the compressed bytes are pulled from a
//   DataSource through a 4,000,000-byte input window that is topped up
//   whenever most of it has been consumed.
//
// Faults stop decoding at once: the bytes decoded since the last full window
// are dropped (no final flush), the windows already handed over stay with the
// sink, and result() tells which fault it was. Bytes behind the end of the
// final block are never read.
//
// Format notes:
// - The decoder keeps the last 32,768 output bytes behind the current
//   window so that every back-reference (at most 32,768 bytes) reads from
//   one contiguous range; a reference that reaches before the first byte
//   ever decoded reads zeros, since the history starts zero-filled.
// - Overlapping back-references (distance < length) repeat recent output:
//   the copy must behave as if it went byte by byte.
// - Input is never read past its end: the end of the data is exact, so a
//   stream that needs even one bit more than it has is truncated.
//
// Deliberate differences from zlib's inflate (zlib is the stricter reader in
// all but the last; the differential tests and the fuzz target accept
// exactly these and nothing else):
// - HLIT above 286 or HDIST above 30: counts up to 288 and 32 are taken;
//   only a use of literal/length symbols 286/287 or distances 30/31 is a
//   fault (zlib: "too many length or distance symbols");
// - an incomplete or over-subscribed distance code is accepted; a length
//   that then needs a distance code the code lacks is the fault (zlib:
//   "invalid distances set");
// - a distance reaching before the start of the output copies zeros from
//   the zero-filled history (zlib: "invalid distance too far back");
// - code-length symbol 16 first in a dynamic header repeats the length 0
//   (zlib: "invalid bit length repeat");
// - a literal/length code made of one 1-bit code is refused like every
//   incomplete literal/length code (BadLiteralLengthCode), where zlib takes
//   it as a block that holds only its end.

#include <cstdint>

#include "compress/DeflateFormat.h"
#include "compress/InflateTable.h"

class DataSink;
class DataSource;

// How a decoding run ended.
enum class InflateResult : int32_t {
    NotFinished = 0,       // no decoding run yet
    Complete,              // the final block ended; everything was delivered
    BadBlockType,          // BTYPE 3
    BadStoredLength,       // NLEN is not the one's complement of LEN
    BadCodeLengthCode,     // the code-length code is over-subscribed, incomplete or empty
    BadCodeLengthRepeat,   // a repeat code runs past HLIT + HDIST lengths
    BadLiteralLengthCode,  // the literal/length code is over-subscribed, incomplete or empty
    InvalidLiteralLength,  // symbol 286 or 287, or a code the literal/length code leaves unused
    InvalidDistance,       // distance 30 or 31, an unused code, or no usable distance code
    InputExhausted,        // the input ended before the final block did
    SinkRefused,           // the sink reported less free space than a window needs
    OutOfMemory,           // the streaming input window could not be allocated
    Aborted,               // an exception raised by the sink or source stopped decoding
};

// Readable name of a result, for logs and test messages.
const char* inflateResultName(InflateResult result);

class InflateState2 {
public:
    // Output leaves in windows of this size.
    static constexpr uint32_t kWindowBytes = kDeflateWindowBytes;
    // Streaming input window: filled with up to 4,000,000 bytes and topped up
    // once more than 3,850,000 of them are consumed, which leaves at least
    // 150,000 bytes of lookahead at the start of every block.
    static constexpr uint32_t kStreamInputBytes = 4000000;
    static constexpr uint32_t kStreamRefillAfterBytes = 3850000;

    // Whether the hot loop runs its BMI2 build (compiled for BMI1 and BMI2):
    // by default whenever the processor has both. useBmi2Loop(false) makes
    // every InflateState2 of the process run the baseline build from now on,
    // useBmi2Loop(true) the BMI2 one (tests compare the two); asking for BMI2
    // where the processor or the build lacks it changes nothing and returns
    // false.
    static bool usesBmi2Loop();
    static bool useBmi2Loop(bool use);

    // mode = block header expected, no sink, zeroed history. Builds the
    // process-wide fixed-code tables on first use.
    InflateState2();
    ~InflateState2();

    // Back to the state of a new object, for the next stream, keeping the
    // memory of the code tables (a new object would allocate it again for
    // every stream) and zeroing the history only where a stream wrote it.
    void reset();

    InflateState2(const InflateState2&) = delete;
    InflateState2& operator=(const InflateState2&) = delete;

    // The sink is borrowed; null discards the output. Also resets the bit
    // position.
    void setSink(DataSink* sink);

    // Decodes the stream in data[0..size) into the sink. A null range does
    // nothing. Never throws; the outcome is result().
    void inflateRange(const uint8_t* data, uint32_t size);

    // Decodes the stream that source delivers, until the final block ends, a
    // fault, or the source ends (a read that delivers no bytes or fails).
    // False when the input window cannot be allocated or an exception stopped
    // decoding; true otherwise (result() tells whether the stream was whole).
    bool inflateFromSource(DataSource* source);

    InflateResult result() const { return m_result; }
    bool isComplete() const { return m_result == InflateResult::Complete; }
    // Bytes handed to the sink so far.
    uint64_t bytesDelivered() const { return m_bytesDelivered; }

private:
    // Where the block state machine stands between steps. Together with the
    // last-block flag, the bit position and the window it is the whole state
    // between blocks, which is what lets streaming refill its input there.
    enum class BlockState : int32_t {
        Header = -1,        // a block header is expected
        StoredHeader = 0,   // BTYPE 0 read: LEN and NLEN follow
        FixedHeader = 1,    // BTYPE 1 read: the fixed codes apply
        DynamicHeader = 2,  // BTYPE 2 read: the code lengths follow
        StoredCopy = 10,    // copying the bytes of a stored block
        FixedCodes = 11,    // decoding with the fixed codes
        DynamicCodes = 12,  // decoding with the block's own codes
    };

    // Why the fast decoding loop stopped.
    enum class FastExit { InputLow, WindowFull, EndOfBlock, InvalidLiteralLength, InvalidDistance };

    // Main loop and block steps.
    void decodeStream();
    void readBlockHeader();
    void readStoredHeader();
    void copyStoredBytes();
    void readDynamicHeader();
    bool readCodeLengths(uint32_t total);
    void decodeCompressedBlock();
    // The hot loop, compiled twice: for the baseline of the target and, on
    // x86, for processors with BMI1 and BMI2; decodeFast picks one at run
    // time.
    FastExit decodeFast();
    FastExit decodeFastBaseline();
    FastExit decodeFastBmi2();
    FastExit decodeFastLoop();
    bool decodeOneSymbol();
    void finishStream();

    // Bit input (least-significant bit first).
    void fillBits(uint32_t count);
    uint32_t takeBits(uint32_t count);
    bool usedMissingBits() const { return m_missingBytes * 8 > m_bitCount; }
    uint32_t realBitCount() const;

    // Output window.
    bool flushFullWindow();
    // flushFullWindow when the output position has reached the window's end.
    bool flushIfFull();
    bool deliver(const uint8_t* data, uint32_t size);
    uint8_t* windowStart() { return m_window + m_windowOffset; }

    // Streaming input.
    bool canRefillInput() const;
    void refillInput();
    void fillInputWindow();

    void fault(InflateResult result);

    // Block state.
    BlockState m_mode;
    bool m_lastBlock;
    uint32_t m_storedRemaining;
    const InflateTable* m_litTable;   // fixed or m_dynamicLit
    const InflateTable* m_distTable;  // fixed or m_dynamicDist
    InflateTable m_dynamicLit;
    InflateTable m_dynamicDist;
    InflateTable m_codeLengthTable;
    uint8_t m_codeLengths[kDeflateLiteralLengthMax + kDeflateDistanceMax];

    // Input: m_bitCount valid bits in m_bitBuffer, then the bytes from
    // m_inPos to m_inEnd. Bits above m_bitCount are either zero or the true
    // next input bits. m_missingBytes counts zero bytes that were added
    // behind the end of the input: consuming any of them means truncation.
    const uint8_t* m_inPos;
    const uint8_t* m_inEnd;
    uint64_t m_bitBuffer;
    uint32_t m_bitCount;
    uint32_t m_missingBytes;

    // Streaming input window and its source (null in one-shot mode).
    DataSource* m_source;
    uint8_t* m_inputWindow;
    bool m_sourceEnded;

    // Output: 32,768 bytes of history, then room for kOutputWindows windows,
    // then room for one back-reference that runs past a window's end plus
    // the over-copy of the fast loop (up to 31 bytes: it copies 32 at a
    // time; 258 + 31 <= kWindowSlackBytes). The current window starts
    // m_windowOffset bytes in (m_windowPos bytes decoded); the bytes in front
    // of it are always the last 32,768 decoded (zeros at first). A flushed
    // window becomes history where it lies, and the next window follows it;
    // only when the room is used up does the last window move to the front,
    // so the history is moved once per kOutputWindows windows, not per window.
    static constexpr uint32_t kOutputWindows = 4;
    static constexpr uint32_t kWindowSlackBytes = 320;
    static_assert(kDeflateMaxMatchBytes + 31 <= kWindowSlackBytes,
                  "the slack holds a match and its over-copy");
    uint32_t m_windowOffset;
    uint32_t m_windowPos;
    // Whether bytes were moved into the first 32,768 (reset zeroes them).
    bool m_historyWritten;
    alignas(16) uint8_t m_window[(1 + kOutputWindows) * kWindowBytes + kWindowSlackBytes];

    DataSink* m_sink;
    InflateResult m_result;
    uint64_t m_bytesDelivered;
};
