#pragma once
// FileDataSink: a sink that writes everything it accepts to an Output (a
// file or a memory buffer). A short write marks the sink failed and drops the
// Output, so nothing more is written; the caller checks failed() after the
// work is done.

#include <cstdint>

#include "compress/DataSink.h"

class Output;

class FileDataSink : public DataSink {
public:
    // No output yet.
    FileDataSink();
    explicit FileDataSink(Output* output);
    ~FileDataSink() override;

    // The Output is borrowed.
    void setOutput(Output* output) { m_output = output; }
    bool failed() const { return m_failed; }

    // No output: false. size 0: true. Null data: false. Otherwise writes the
    // bytes; fewer written than asked sets failed, drops the output and
    // returns false.
    bool write(const uint8_t* data, uint32_t size) override;
    uint32_t bytesIn() override;
    uint32_t pendingBytes() override;
    // Always kUnlimitedSpace and true.
    bool freeSpace(uint32_t& count) override;

private:
    Output* m_output;
    bool m_failed;
};
