// The call log: one line per call, appended and closed at once so that a test
// reading the file sees every line as soon as the call has returned, and can
// delete the file between runs.
#include "simcard/simcard.h"
#include <cstdarg>

void DriverLog(uint32_t ms, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendDriverLog("SIMCARD_LOG", "simcard.log", ms, format, args);
    va_end(args);
}
