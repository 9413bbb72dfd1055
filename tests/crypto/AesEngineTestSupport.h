#pragma once
// Runs AES tests once per engine the processor offers: the round tables
// always, the AES instructions when cpuid reports them. ScopedAesEngine
// selects one for the scope of a test and restores the previous choice.

#include <gtest/gtest.h>

#include <vector>

#include "crypto/AesCore.h"

inline const char* aesEngineName(AesCore::Engine engine)
{
    return engine == AesCore::Engine::CpuInstructions ? "AES instructions" : "tables";
}

class ScopedAesEngine {
public:
    explicit ScopedAesEngine(AesCore::Engine engine) : m_previous(AesCore::engine())
    {
        m_selected = AesCore::useEngine(engine);
    }
    ~ScopedAesEngine() { AesCore::useEngine(m_previous); }
    ScopedAesEngine(const ScopedAesEngine&) = delete;
    ScopedAesEngine& operator=(const ScopedAesEngine&) = delete;
    bool selected() const { return m_selected; }

private:
    AesCore::Engine m_previous;
    bool m_selected = false;
};

// The engines to test on this processor. A processor without AES
// instructions tests the tables alone; the instruction tests then say so.
inline std::vector<AesCore::Engine> availableAesEngines()
{
    std::vector<AesCore::Engine> engines{AesCore::Engine::Tables};
    ScopedAesEngine probe(AesCore::Engine::CpuInstructions);
    if (probe.selected())
        engines.push_back(AesCore::Engine::CpuInstructions);
    return engines;
}
