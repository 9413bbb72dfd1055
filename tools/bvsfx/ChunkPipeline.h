#pragma once
// ChunkPipeline: encodes chunks on worker threads, one ChunkEncoder each,
// while the submitting thread goes on reading. Jobs finish in any order; the
// caller collects them in the order it submitted them (the payload is
// written strictly in order), waiting for the oldest when it must.
//
// Memory stays bounded because the caller never holds more than a fixed
// window of unwritten jobs (see Packer): each job holds one slice of at most
// 2 MB and, once encoded, its chunk of at most the same size.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/bvsfx/ChunkEncoder.h"

struct ChunkJob {
    std::vector<uint8_t> plain;  // released once encoded
    EncodedChunk encoded;
    bool done = false;
    bool ok = false;
};

class ChunkPipeline {
public:
    // Starts one worker per encoder (at least one encoder is required).
    explicit ChunkPipeline(std::vector<std::unique_ptr<ChunkEncoder>> encoders);
    // Stops the workers after the jobs already taken; jobs still queued are
    // dropped.
    ~ChunkPipeline();

    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // Queues a slice for encoding.
    std::shared_ptr<ChunkJob> submit(std::vector<uint8_t> plain);
    // Waits until the job is encoded.
    void wait(const ChunkJob& job);
    // Whether the job is encoded, without waiting.
    bool isDone(const ChunkJob& job);

private:
    void runWorker(ChunkEncoder* encoder);

    std::vector<std::unique_ptr<ChunkEncoder>> m_encoders;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_jobFinished;
    std::deque<std::shared_ptr<ChunkJob>> m_queue;
    bool m_stopping = false;
};
