// The simulated card's scenario text, any bytes, and the signal it gives.
#include "simcard/scenario.h"
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    static Scenario scenario;
    ParseScenario(text.c_str(), &scenario);
    if (scenario.segmentCount > SCENARIO_MAX_SEGMENTS || scenario.loopStart > scenario.segmentCount) __builtin_trap();
    for (uint64_t t : {0ull, 999ull, 123456ull, 86400000ull * 70, ~0ull}) SignalAt(&scenario, t);
    return 0;
}
