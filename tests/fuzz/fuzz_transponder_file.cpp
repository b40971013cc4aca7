// A transponder file of any bytes: listed, loaded, and rewritten from what was
// loaded. The rewrite must read back as the same list and keep the name.
#include "transponders/transponder_files.h"
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static std::vector<std::string> Entries(const char* data, size_t size) {
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    std::vector<std::string> entries;
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        entries.push_back(entry);  // as the list holds it: up to a zero byte
        TransponderEntryFrequency(entry);
    }
    return entries;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const char* data = (const char*)bytes;
    char name[SATELLITE_NAME_SIZE], label[SATELLITE_LABEL_SIZE], renamed[SATELLITE_NAME_SIZE];
    ParseSatelliteName(data, size, name, sizeof name);
    uint32_t key = size ? bytes[0] * 15u % POSITION_KEY_COUNT : 0;
    for (int byName = 0; byName < 2; ++byName) {
        size_t length = FormatSatelliteLabel(key, name, byName, label, sizeof label);
        if (length != strlen(label) || length >= SATELLITE_LABEL_SIZE) __builtin_trap();
    }

    std::vector<std::string> entries = Entries(data, size);
    std::vector<const char*> texts;
    for (const std::string& e : entries) texts.push_back(e.c_str());
    std::string file(TransponderFileBound(size, texts.size()), '\0');
    size_t length = BuildTransponderFile(data, size, key, texts.data(), texts.size(), file.data(), file.size());
    if (!length) {
        if (entries.size() <= TRANSPONDER_ENTRIES_MAX) __builtin_trap();
        return 0;
    }
    if (Entries(file.data(), length) != entries) __builtin_trap();
    size_t equals = 0;
    for (size_t i = 0; i < size; ++i) equals += data[i] == '=';
    ParseSatelliteName(file.data(), length, renamed, sizeof renamed);
    if (equals >= 2 && strcmp(name, renamed)) __builtin_trap();
    return 0;
}
