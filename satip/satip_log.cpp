// satipcard.log, and the caption of the bridge's own boxes.
#include "satip/satip.h"
#include <cstdarg>

const char DRIVER_BOX_CAPTION[] = "SAT>IP tuner";

void DriverLog(uint32_t ms, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendDriverLog("SATIPCARD_LOG", "satipcard.log", ms, format, args);
    va_end(args);
}
