// The satellite told from the stream's tables. See satellite_watch.h.
#include "driver/satellite_watch.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include "driver/phone_server.h"
#include "transponders/transponder_files.h"

constexpr DWORD LIST_FILE_MAX = 256 * 1024;  // a list of 999 entries is about 20 KB
constexpr size_t SENTENCE_MAX = sizeof(PhoneSatellite::text);

// The positions whose lists beside the program hold the tuned transponder.
static void ReadLists(const TunedTransponder* transponder, ListedPositions* listed) {
    *listed = ListedPositions{};
    char folder[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* slash = length && length < sizeof folder ? strrchr(folder, '\\') : nullptr;
    if (!slash) return;
    slash[1] = 0;
    char pattern[MAX_PATH + 32];
    snprintf(pattern, sizeof pattern, "%s%s", folder, TRANSPONDER_SEARCH);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    char* data = static_cast<char*>(malloc(LIST_FILE_MAX));
    do {
        char path[MAX_PATH + TRANSPONDER_PATH_SIZE];
        if (!data || !IsTransponderFileName(found.cFileName)) continue;
        snprintf(path, sizeof path, "%s%s%s", folder, TRANSPONDER_FOLDER, found.cFileName);
        HANDLE file =
            CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD size = 0;
        if (ReadFile(file, data, LIST_FILE_MAX, &size, nullptr) && ListHoldsTransponder(data, size, transponder))
            AddListedPosition(listed, uint32_t(PositionKeyFromFileName(found.cFileName)));
        CloseHandle(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    free(data);
}

void WatchTune(SatelliteWatch* watch, uint32_t tune, const TunedTransponder* transponder, int32_t chosenKey) {
    ResetTsTables(&watch->tables);
    watch->tune = tune;
    watch->transponder = *transponder;
    watch->chosenKey = chosenKey;
    watch->locked = watch->warned = watch->listsRead = false;
    watch->logged = watch->current = TsIdentity{};
    PhoneNoteSatellite(nullptr);
}

void WatchLock(SatelliteWatch* watch, bool locked, uint32_t now) {
    if (locked && !watch->locked) watch->lockedAt = now;
    if (!locked && watch->locked) ResetTsTables(&watch->tables);
    if (!locked) watch->current = TsIdentity{};
    watch->locked = locked;
}

// The phone page at the dish says what the log says; nothing known is null.
static void Publish(const TsIdentity* found, TsVerdict verdict, const char* sentence) {
    static const char* const STATES[] = {"", "confirmed", "tentative", "none"};
    if (found->state == IDENTITY_NONE) return PhoneNoteSatellite(nullptr);
    PhoneSatellite shown = {};
    snprintf(shown.position, sizeof shown.position, "%s", found->position);
    snprintf(shown.state, sizeof shown.state, "%s", STATES[found->state]);
    snprintf(shown.network, sizeof shown.network, "%s", found->network);
    for (uint32_t i = 0; i < found->serviceCount && i < PHONE_SERVICES; ++i)
        snprintf(shown.services[i], sizeof shown.services[i], "%s", found->services[i]);
    snprintf(shown.verdict, sizeof shown.verdict, "%s", VERDICT_NAMES[verdict]);
    snprintf(shown.text, sizeof shown.text, "%s", sentence);
    PhoneNoteSatellite(&shown);
}

// One line for the log: the identification, then the verdict; the phone
// page; the box on a confirmed wrong satellite.
static void Tell(SatelliteWatch* watch, const TsIdentity* found, uint32_t now) {
    static const char* const SAY[] = {"", "right satellite", "wrong satellite", "not in the lists", "not yet sure"};
    char line[512], boxed[SENTENCE_MAX], logged[SENTENCE_MAX];
    FormatIdentity(found, line, sizeof line);
    TsVerdict verdict =
        JudgeIdentity(found, &watch->listed, watch->chosenKey, &watch->transponder, true, boxed, sizeof boxed);
    JudgeIdentity(found, &watch->listed, watch->chosenKey, &watch->transponder, false, logged, sizeof logged);
    bool judged = verdict != VERDICT_NONE;
    DriverLog(now, "%s%s%s%s%s (%lu ms after the lock)", line, judged ? "; " : "", SAY[verdict], judged ? ": " : "",
              logged, (unsigned long)(now - watch->lockedAt));
    Publish(found, verdict, boxed);
    if (verdict != VERDICT_WRONG || watch->warned) return;
    watch->warned = true;
    char towards[32] = "the satellite of your list";
    if (watch->chosenKey != NOT_CHOSEN) PositionName(uint32_t(watch->chosenKey), true, towards, sizeof towards);
    DriverMessage(false,
                  "Wrong satellite: %s.\n\nThe stream's own tables name the satellite the dish receives. "
                  "Turn the dish along the arc towards %s and peak it there.",
                  boxed, towards);
}

void WatchJudge(SatelliteWatch* watch, uint32_t now) {
    if (!watch->locked) return;
    IdentifyTables(&watch->tables, now - watch->lockedAt, &watch->current);
    const TsIdentity* found = &watch->current;
    if (found->state == IDENTITY_NONE || SameIdentity(found, &watch->logged)) return;
    if (!watch->listsRead) ReadLists(&watch->transponder, &watch->listed);
    watch->listsRead = true;
    watch->logged = *found;
    Tell(watch, found, now);
}
