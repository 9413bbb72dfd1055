#pragma once
// Runs AES tests once per engine the processor offers: the round tables
// always, the SSSE3 vector-permute engine and the AES instructions when
// cpuid reports them. ScopedAesEngine selects one for the scope of a test
// and restores the previous choice.

#include <gtest/gtest.h>

#include <vector>

#include "crypto/AesCore.h"

inline const char* aesEngineName(AesCore::Engine engine)
{
    switch (engine) {
    case AesCore::Engine::CpuInstructions: return "AES instructions";
    case AesCore::Engine::VectorPermute: return "vector permute";
    case AesCore::Engine::Tables: break;
    }
    return "tables";
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

// The engines to test on this processor, the tables first. A processor
// without SSSE3 or AES instructions tests fewer; the cross-engine tests
// then say so.
inline std::vector<AesCore::Engine> availableAesEngines()
{
    std::vector<AesCore::Engine> engines{AesCore::Engine::Tables};
    for (AesCore::Engine engine : {AesCore::Engine::VectorPermute, AesCore::Engine::CpuInstructions}) {
        ScopedAesEngine probe(engine);
        if (probe.selected())
            engines.push_back(engine);
    }
    return engines;
}
