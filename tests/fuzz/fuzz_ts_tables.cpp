// The stream's tables from any bytes: packets, sections, names, then the
// identification and its texts. None may read past the data, and what is
// read must stay within its bounds.
#include "driver/satellite_verdict.h"
#include "driver/ts_writer.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TsTables tables;
    std::vector<uint8_t> copy(data, data + size);  // exactly size bytes: ASan sees any overread
    ResetTsTables(&tables);
    ReadTsPackets(&tables, copy.data(), size);
    if (tables.streamCount > TS_STREAMS_MAX || tables.serviceCount > TS_SERVICES_MAX ||
        strlen(tables.network) >= TS_NAME_MAX)
        __builtin_trap();
    TsIdentity identity;
    IdentifyTables(&tables, TS_NO_POSITION_MS, &identity);
    char line[512];
    if (FormatIdentity(&identity, line, sizeof line) >= sizeof line) __builtin_trap();
    ListedPositions listed = {{130, 235}, 2};
    TunedTransponder tp = {12302000, 'v', 27500};
    int32_t chosen = size % 3 == 0 ? NOT_CHOSEN : int32_t(size % 3600);
    JudgeIdentity(&identity, &listed, chosen, &tp, true, line, sizeof line);
    if (strlen(line) >= sizeof line) __builtin_trap();
    size_t cut = 1 + size % 96;  // every sentence cut short somewhere
    JudgeIdentity(&identity, &listed, chosen, &tp, false, line, cut);
    if (strlen(line) >= cut) __builtin_trap();
    char name[TS_NAME_MAX];
    if (DecodeDvbText(copy.data(), size, name, sizeof name) != strlen(name)) __builtin_trap();
    size_t offset, length;
    if (RtpPayload(copy.data(), size, &offset, &length) && offset + length > size) __builtin_trap();
    ListHoldsTransponder(reinterpret_cast<const char*>(copy.data()), size, &tp);
    copy.push_back(0);
    LabelPosition(reinterpret_cast<const char*>(copy.data()));
    return 0;
}
