#pragma once
// DataPipeline: drives a chain of DataProcessors. The first one reads its
// DataSource; each pushes its output into its `next` sink (the following
// stage's ring, or the final sink). run() steps every stage in order, pass
// after pass, until the first stage's source is at its end and no stage
// holds any work.

#include <cstdint>
#include <vector>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"

class DataProcessor;
class ProgressMonitor;

class DataPipeline {
public:
    // Named "DataPipeline_<n>" from its own process-wide counter.
    DataPipeline();
    ~DataPipeline();

    DataPipeline(const DataPipeline&) = delete;
    DataPipeline& operator=(const DataPipeline&) = delete;

    // Appends a stage; the pipeline borrows it.
    void addProcessor(DataProcessor* processor);

    // Runs the stages: begin() on each, then passes of step() on each in
    // order until the first stage's source has ended (or it has none) and
    // every stage's pendingBytes() is 0, then end() on each and true.
    // False at once, without the end() calls:
    // - when progress (may be null) reports an abort after a step;
    // - when a step fails (a source read or a sink write failed);
    // - when a whole pass changes nothing although work is pending (a stage
    //   whose sink takes nothing more would otherwise be stepped for ever);
    // - when there is no stage.
    bool run(ProgressMonitor* progress);

    const char* name() const { return m_name.getString(); }

private:
    DataProcessor* processorAt(int32_t i) const;
    // Everything a pass can change: per stage the bytes taken in, the work
    // held, and its sink's byte count and finished flag.
    std::vector<uint64_t> progressState() const;

    ExtPtrArray m_processors;
    StringBuffer m_name;
};
