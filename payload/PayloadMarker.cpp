#include "payload/PayloadMarker.h"

#include "payload/PayloadFormat.h"

namespace {

// Only the high bytes live in data; volatile forces a real load each time, so
// no build can fold them with the immediates below into the full words.
volatile uint32_t s_markerWord1High = PayloadFormat::kMarkerWord1HighByte;
volatile uint32_t s_markerWord2High = PayloadFormat::kMarkerWord2HighByte;

}  // namespace

uint32_t payloadMarkerWord1() { return s_markerWord1High | PayloadFormat::kMarkerWord1Low24; }

uint32_t payloadMarkerWord2() { return s_markerWord2High | PayloadFormat::kMarkerWord2Low24; }
