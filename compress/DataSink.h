#pragma once
// DataSink: where a pipeline stage or the inflater puts its output.
//
// Producers ask freeSpace() how much the next write may pass, then write().
// The base sink accepts nothing. The kinds:
// - MemoryDataSink: keeps the bytes in a ring buffer for the next stage;
// - FileDataSink: writes them to an Output;
// - NullDataSink: counts and discards them.

#include <cstdint>

class ProgressMonitor;

class DataSink {
public:
    // The ample answer of freeSpace() for sinks that take any amount, so a
    // producer passes all its output in the step that made it.
    static constexpr uint32_t kUnlimitedSpace = 999999999;

    DataSink();
    virtual ~DataSink();

    DataSink(const DataSink&) = delete;
    DataSink& operator=(const DataSink&) = delete;

    // Accepts size bytes; true when all were accepted. Base: false.
    virtual bool write(const uint8_t* data, uint32_t size);
    // Bytes taken in so far. Base: the bytes accepted.
    virtual uint32_t bytesIn();
    // Work still held inside the sink. Base: 0.
    virtual uint32_t pendingBytes();
    // Sets count to how many bytes the next write may pass; false when none.
    // Base: false.
    virtual bool freeSpace(uint32_t& count);

    // The producer feeding this sink has delivered everything. Stays set.
    void markFinished() { m_finished = true; }
    bool isFinished() const { return m_finished; }
    // Borrowed, may be null: told about every byte accepted.
    void setProgress(ProgressMonitor* progress) { m_progress = progress; }
    ProgressMonitor* getProgress() const { return m_progress; }
    uint32_t totalWritten() const { return m_totalWritten; }

protected:
    // Adds n to totalWritten and tells the progress monitor.
    void noteAccepted(uint32_t n);

    uint32_t m_totalWritten;
    bool m_finished;
    ProgressMonitor* m_progress;
};
