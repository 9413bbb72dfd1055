#include "tools/bvsfx/ChunkPipeline.h"

ChunkPipeline::ChunkPipeline(std::vector<std::unique_ptr<ChunkEncoder>> encoders)
    : m_encoders(std::move(encoders)) {
    for (auto& encoder : m_encoders) {
        m_workers.emplace_back(&ChunkPipeline::runWorker, this, encoder.get());
    }
}

ChunkPipeline::~ChunkPipeline() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers) worker.join();
}

std::shared_ptr<ChunkJob> ChunkPipeline::submit(std::vector<uint8_t> plain) {
    auto job = std::make_shared<ChunkJob>();
    job->plain = std::move(plain);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(job);
    }
    m_workAvailable.notify_one();
    return job;
}

void ChunkPipeline::wait(const ChunkJob& job) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_jobFinished.wait(lock, [&job] { return job.done; });
}

bool ChunkPipeline::isDone(const ChunkJob& job) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return job.done;
}

void ChunkPipeline::runWorker(ChunkEncoder* encoder) {
    for (;;) {
        std::shared_ptr<ChunkJob> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_workAvailable.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) return;
            job = m_queue.front();
            m_queue.pop_front();
        }
        // The job is this worker's alone until it is marked done.
        const bool ok =
            encoder->encode(job->plain.data(), static_cast<uint32_t>(job->plain.size()), job->encoded);
        std::vector<uint8_t>().swap(job->plain);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            job->ok = ok;
            job->done = true;
        }
        m_jobFinished.notify_all();
    }
}
