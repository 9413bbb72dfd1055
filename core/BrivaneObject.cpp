#include "core/BrivaneObject.h"

namespace {
// Process-wide serial counter; single-threaded by design.
int32_t g_nextSerial = 100;
}  // namespace

BrivaneObject::BrivaneObject() : m_serial(g_nextSerial++) {}

BrivaneObject::BrivaneObject(const BrivaneObject&) : m_serial(g_nextSerial++) {}

BrivaneObject& BrivaneObject::operator=(const BrivaneObject&) {
    return *this;  // the serial number stays with the object
}

BrivaneObject::~BrivaneObject() = default;
