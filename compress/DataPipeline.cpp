#include "compress/DataPipeline.h"

#include <utility>

#include "compress/DataProcessor.h"
#include "io/DataSource.h"
#include "io/ProgressMonitor.h"

namespace {

// Process-wide counter behind the "DataPipeline_<n>" names.
int32_t g_pipelineCounter = 0;

}  // namespace

DataPipeline::DataPipeline() {
    m_name.setString("DataPipeline_");
    m_name.appendDecimal(static_cast<uint32_t>(++g_pipelineCounter));
}

DataPipeline::~DataPipeline() = default;

void DataPipeline::addProcessor(DataProcessor* processor) { m_processors.appendPtr(processor); }

DataProcessor* DataPipeline::processorAt(int32_t i) const {
    return static_cast<DataProcessor*>(m_processors.getPtr(i));
}

std::vector<uint64_t> DataPipeline::progressState() const {
    std::vector<uint64_t> state;
    for (int32_t i = 0; i < m_processors.getCount(); ++i) {
        DataProcessor* processor = processorAt(i);
        state.push_back(processor->bytesIn());
        state.push_back(processor->pendingBytes());
        DataSink* next = processor->getNext();
        if (next != nullptr) {
            state.push_back(next->bytesIn());
            state.push_back(next->isFinished() ? 1 : 0);
        }
    }
    return state;
}

bool DataPipeline::run(ProgressMonitor* progress) {
    int32_t count = m_processors.getCount();
    if (count == 0) return false;
    for (int32_t i = 0; i < count; ++i) processorAt(i)->begin();

    std::vector<uint64_t> lastState = progressState();
    for (;;) {
        bool sourceDone = false;
        uint64_t pending = 0;
        for (int32_t i = 0; i < count; ++i) {
            DataProcessor* processor = processorAt(i);
            if (processor->step() == DataProcessor::kStepFailed) return false;
            if (progress != nullptr && progress->isAborted()) return false;
            if (i == 0) sourceDone = processor->getSource() == nullptr || processor->getSource()->endOfData();
            pending += processor->pendingBytes();
        }
        if (pending == 0 && sourceDone) break;
        // Every stage is deterministic: a pass that changed nothing will be
        // followed by identical ones.
        std::vector<uint64_t> state = progressState();
        if (state == lastState) return false;
        lastState = std::move(state);
    }
    for (int32_t i = 0; i < count; ++i) processorAt(i)->end();
    return true;
}
