#pragma once
// DataProcessor: one stage of a DataPipeline. It takes its input either
// straight from a DataSource (the first stage) or from its own ring buffer,
// which an upstream stage fills through the MemoryDataSink side of this
// object; it pushes its output into the `next` sink.
//
// A run calls begin() once, step() until the pipeline has drained, then
// end(). Subclasses: DeflateProcessor, ZipDecodeProcessor, CrcProcessor.

#include <cstdint>

#include "compress/MemoryDataSink.h"
#include "core/BrivaneObject.h"
#include "core/StringBuffer.h"
#include "crypto/ZipCryptParams.h"

class DataSource;

class DataProcessor : public MemoryDataSink, public BrivaneObject, public ZipCryptParams {
public:
    // Size of the input ring an upstream stage writes into.
    static constexpr uint32_t kRingBytes = 50000;
    // Result of step().
    static constexpr int32_t kStepOk = 0;
    static constexpr int32_t kStepFailed = -1;

    // Named "processor_<n>" from a process-wide counter; ring of 50,000
    // bytes; no work buffer, source or next.
    DataProcessor();
    ~DataProcessor() override;

    // What kind of stage this is: "nothing" for the base.
    virtual const char* name() const;
    // Resets the stage before a run.
    virtual void begin();
    // Finishes the stage after a run.
    virtual void end();
    // Does one unit of work: kStepOk, or kStepFailed when reading the source
    // or writing to next failed. The base does nothing.
    virtual int32_t step();

    // The borrowed sink this stage writes into.
    void setNext(DataSink* next) { m_next = next; }
    DataSink* getNext() const { return m_next; }
    // The borrowed source this stage reads; null means "read the ring".
    void setSource(DataSource* source) { m_source = source; }
    DataSource* getSource() const { return m_source; }

    // Borrows a work buffer for source reads (releases an owned one first).
    void useWorkBuffer(uint8_t* buffer, uint32_t size);
    // Allocates an owned work buffer of size bytes (plus 4 spare). False
    // when the allocation fails (the stage then has no work buffer).
    bool allocateWorkBuffer(uint32_t size);
    uint8_t* workBuffer() const { return m_workBuffer; }
    uint32_t workBufferSize() const { return m_workBufferSize; }

    // "processor_<n>".
    const char* instanceName() const { return m_name.getString(); }

protected:
    // Reads up to workBufferSize bytes from the source into the work buffer.
    // False when the read fails (or there is no work buffer).
    bool readSourceChunk(uint32_t& got);
    // Asks next how much it takes now, at most `wanted`.
    uint32_t nextTakes(uint32_t wanted);

    StringBuffer m_name;
    bool m_ownsWorkBuffer;
    uint8_t* m_workBuffer;
    uint32_t m_workBufferSize;
    DataSource* m_source;
    DataSink* m_next;

private:
    void releaseWorkBuffer();
};
