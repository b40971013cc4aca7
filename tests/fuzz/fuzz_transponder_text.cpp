// The red button's reading of a typed transponder text, on any bytes.
#include "tuner/transponder_text.h"
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char text[64];
    size_t n = size < sizeof text - 1 ? size : sizeof text - 1;
    memcpy(text, data, n);
    text[n] = 0;
    TransponderValues values = {};
    int status = ParseTransponderText(text, &values);
    if (!StatusMessageText(status)) __builtin_trap();
    if (status == 0) {
        if (values.frequency < 3399000 || values.frequency > 15000001 || values.polarization > 1 ||
            values.symbolRate < 1000 || values.symbolRate > 45000)
            __builtin_trap();
        ChooseLnb(values.frequency);
    }
    return 0;
}
