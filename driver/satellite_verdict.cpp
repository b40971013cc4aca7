// The identification against the lists. See satellite_verdict.h.
#include "driver/satellite_verdict.h"
#include <cstdio>
#include <cstring>
#include "transponders/transponder_files.h"

constexpr uint32_t LIST_TOLERANCE_KHZ = 2000;

bool ListHoldsTransponder(const char* data, size_t size, uint32_t frequencyKhz, char polarization) {
    bool vertical = polarization == 'v' || polarization == 'r';
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        uint32_t frequency = TransponderEntryFrequency(entry);
        const char* comma = strchr(entry, ',');
        char pol = comma ? comma[1] : 0;
        bool entryVertical = pol == 'V' || pol == 'v' || pol == 'R' || pol == 'r';
        uint32_t apart = frequency > frequencyKhz ? frequency - frequencyKhz : frequencyKhz - frequency;
        if (pol && apart <= LIST_TOLERANCE_KHZ && entryVertical == vertical) return true;
    }
    return false;
}

void AddListedPosition(ListedPositions* listed, uint32_t key) {
    for (uint32_t i = 0; i < listed->count; ++i)
        if (listed->keys[i] == key) return;
    if (listed->count < LISTED_POSITIONS_MAX) listed->keys[listed->count++] = key;
}

// "19.2e" or "19.2E".
static void PositionText(uint32_t key, bool upper, char* out, size_t size) {
    char text[16];
    FormatPositionText(key, text, sizeof text);
    snprintf(out, size, "%s", text + strspn(text, " "));
    if (upper)
        for (char* c = out; *c; ++c)
            if (*c == 'e' || *c == 'w') *c = char(*c - 'a' + 'A');
}

// "13.0E", "9.0E or 13.0E", "9.0E, 13.0E or 16.0E".
static int PutPositions(const ListedPositions* listed, bool upper, const char* last, char* out, size_t size) {
    int used = 0;
    for (uint32_t i = 0; i < listed->count && used >= 0 && size_t(used) < size; ++i) {
        char text[16];
        PositionText(listed->keys[i], upper, text, sizeof text);
        const char* separator = i == 0 ? "" : i + 1 == listed->count ? last : ", ";
        used += snprintf(out + used, size - used, "%s%s", separator, text);
    }
    return used;
}

TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, uint32_t frequencyKhz,
                        char polarization, uint32_t symbolRate, bool upper, char* sentence, size_t size) {
    if (size) sentence[0] = 0;
    if (identity->state != IDENTITY_CONFIRMED && identity->state != IDENTITY_TENTATIVE) return VERDICT_NONE;
    bool found = false;
    for (uint32_t i = 0; i < listed->count; ++i) found = found || listed->keys[i] == identity->positionKey;
    TsVerdict verdict = found ? VERDICT_RIGHT : listed->count ? VERDICT_WRONG : VERDICT_NOT_LISTED;
    char position[16], transponder[48], network[TS_NAME_MAX + 4] = "";
    PositionText(identity->positionKey, upper, position, sizeof position);
    if (identity->network[0]) snprintf(network, sizeof network, " (%s)", identity->network);
    // "12302 V 27500", "11778.5 H 22000": the frequency as the user types it.
    int n = snprintf(transponder, sizeof transponder, "%lu.%03lu", (unsigned long)(frequencyKhz / 1000),
                     (unsigned long)(frequencyKhz % 1000));
    while (n > 0 && (transponder[n - 1] == '0' || transponder[n - 1] == '.')) {
        bool point = transponder[--n] == '.';
        transponder[n] = 0;
        if (point) break;
    }
    snprintf(transponder + n, sizeof transponder - n, " %c %lu",
             polarization >= 'a' ? char(polarization - 'a' + 'A') : polarization, (unsigned long)symbolRate);
    int used = snprintf(sentence, size, "the dish receives %s%s%s", position,
                        identity->state == IDENTITY_TENTATIVE ? "?" : "", network);
    if (used < 0 || size_t(used) >= size) return verdict;
    if (verdict == VERDICT_NOT_LISTED) {
        snprintf(sentence + used, size - used, ": %s is in none of your lists", transponder);
    } else {
        // Every list that holds it: a trainee who chose another of them learns where the dish is.
        if (verdict == VERDICT_WRONG) used += snprintf(sentence + used, size - used, ", not ");
        if (verdict == VERDICT_WRONG && size_t(used) < size)
            used += PutPositions(listed, upper, " or ", sentence + used, size - used);
        if (size_t(used) < size)
            used += snprintf(sentence + used, size - used, ": %s is in your list%s of ", transponder,
                             listed->count > 1 ? "s" : "");
        if (size_t(used) < size) PutPositions(listed, upper, " and ", sentence + used, size - used);
    }
    return verdict;
}
