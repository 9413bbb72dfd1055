#include "core/BrivaneBzip2.h"

#include <bzlib.h>

#include "core/ByteOrder.h"
#include "core/DataBuffer.h"

namespace {

// Decompressor settings: the fast (not small-memory) algorithm, silent.
constexpr int kSmallMemoryOff = 0;
constexpr int kVerbositySilent = 0;

}  // namespace

BrivaneBzip2::BrivaneBzip2() = default;

BrivaneBzip2::~BrivaneBzip2() = default;

bool BrivaneBzip2::unpackBuffer(const DataBuffer& input, DataBuffer& output) const {
    output.clear();
    if (input.getSize() == 0) {
        return true;
    }
    if (input.getSize() < kFrameHeaderBytes) {
        return false;
    }
    const uint8_t* frame = input.getData();
    if (loadLittleEndian32(frame) != kFrameMagic) {
        return false;
    }
    const uint32_t storedLength = loadLittleEndian32(frame + 4);
    if (storedLength > UINT32_MAX - kOutputSlackBytes) {
        return false;
    }
    const uint32_t room = storedLength + kOutputSlackBytes;
    output.ensureCapacity(room);

    unsigned int producedLength = room;
    const int result = BZ2_bzBuffToBuffDecompress(
        reinterpret_cast<char*>(output.getData()), &producedLength,
        const_cast<char*>(reinterpret_cast<const char*>(frame + kFrameHeaderBytes)),
        input.getSize() - kFrameHeaderBytes, kSmallMemoryOff, kVerbositySilent);
    // A damaged stream, or one that does not unpack to the length its frame
    // announces, is refused rather than handed on half-decoded.
    if (result != BZ_OK || producedLength != storedLength) {
        return false;
    }
    output.setSize(producedLength);
    return true;
}

bool BrivaneBzip2::unpackFrame(const DataBuffer& input, DataBuffer& output) {
    return BrivaneBzip2().unpackBuffer(input, output);
}
