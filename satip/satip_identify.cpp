// Which satellite the dish is on, from the stream itself: the tuner sends
// the PAT, NIT and SDT (pids=0,16,17); the session thread reads them here
// and holds what they say against the transponder lists beside the program.
// A lock on a neighbour that carries a transponder close to the typed one
// is the most common way to tighten the bolts on the wrong satellite.
#include "satip/satip.h"
#include "driver/phone_server.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "transponders/transponder_files.h"

constexpr DWORD LIST_FILE_MAX = 256 * 1024;  // a list of 999 entries is about 20 KB

// The positions whose lists beside the program hold the tuned transponder.
static void ReadLists(const SatipTune* tune, ListedPositions* listed) {
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
        if (ReadFile(file, data, LIST_FILE_MAX, &size, nullptr) &&
            ListHoldsTransponder(data, size, tune->frequencyKhz, tune->polarization))
            AddListedPosition(listed, uint32_t(PositionKeyFromFileName(found.cFileName)));
        CloseHandle(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    free(data);
}

// The phone page at the dish says what the log says; nothing known is null.
static void Publish(const BridgeIdentity* identity) {
    static const char* const STATES[] = {"", "confirmed", "tentative", "none"};
    static const char* const VERDICTS[] = {"", "right", "wrong", "unlisted"};
    const TsIdentity* found = &identity->found;
    if (found->state == IDENTITY_NONE) return PhoneNoteSatellite(nullptr);
    PhoneSatellite shown = {};
    snprintf(shown.position, sizeof shown.position, "%s", found->position);
    snprintf(shown.state, sizeof shown.state, "%s", STATES[found->state]);
    snprintf(shown.network, sizeof shown.network, "%s", found->network);
    for (uint32_t i = 0; i < found->serviceCount && i < PHONE_SERVICES; ++i)
        snprintf(shown.services[i], sizeof shown.services[i], "%s", found->services[i]);
    snprintf(shown.verdict, sizeof shown.verdict, "%s", VERDICTS[identity->verdict]);
    snprintf(shown.text, sizeof shown.text, "%s", identity->sentence);
    PhoneNoteSatellite(&shown);
}

static void StartOver(StreamTables* st, const SatipTune* tune, uint32_t tunedAt) {
    ResetTsTables(&st->tables);
    if (tunedAt == st->tunedAt) return;  // a lost lock: what the log has said stands
    st->tunedAt = tunedAt;
    st->warned = false;
    st->logged = TsIdentity{};
    ReadLists(tune, &st->listed);
    PhoneNoteSatellite(nullptr);
}

// One line for the log: the identification, then the verdict.
static void Tell(StreamTables* st, const TsIdentity* found, const SatipTune* tune, uint32_t now) {
    static const char* const SAY[] = {"", "right satellite", "wrong satellite", "not in the lists"};
    BridgeIdentity identity = {*found, VERDICT_NONE, ""};
    char line[512], sentence[VERDICT_SENTENCE_MAX];
    FormatIdentity(found, line, sizeof line);
    identity.verdict = JudgeIdentity(found, &st->listed, tune->frequencyKhz, tune->polarization, tune->symbolRate, true,
                                     identity.sentence, sizeof identity.sentence);
    JudgeIdentity(found, &st->listed, tune->frequencyKhz, tune->polarization, tune->symbolRate, false, sentence,
                  sizeof sentence);
    bool judged = identity.verdict != VERDICT_NONE;
    BridgeLog("%s%s%s%s%s (%lu ms after the lock)", line, judged ? "; " : "", SAY[identity.verdict], judged ? ": " : "",
              judged ? sentence : "", (unsigned long)(now - st->lockedAt));
    Publish(&identity);
    if (found->state == IDENTITY_CONFIRMED && identity.verdict == VERDICT_WRONG && !st->warned) {
        st->warned = true;
        BridgeMessage(false,
                      "Wrong satellite: %s.\n\nThe stream's own tables name the satellite the dish receives. "
                      "Turn the dish along the arc towards the satellite of your list and peak it there.",
                      identity.sentence);
    }
}

void ReadStreamTables(Bridge* bridge, const uint8_t* rtp, size_t length, const SatipTune* tune, uint32_t tunedAt) {
    StreamTables* st = &bridge->stream;
    bool locked = StatusLock(bridge->status.load());
    uint32_t now = DriverNow();
    if (tunedAt != st->tunedAt || (st->locked && !locked)) {
        StartOver(st, tune, tunedAt);
        st->locked = false;  // the lock is counted from here: the last tune's may not have been seen to end
    }
    if (locked && !st->locked) st->lockedAt = now;
    st->locked = locked;
    size_t offset, payload;
    if (rtp && locked && RtpPayload(rtp, length, &offset, &payload)) ReadTsPackets(&st->tables, rtp + offset, payload);
    if (!locked || rtp) return;  // what the tables say is told once a pass, after its packets
    TsIdentity found;
    IdentifyTables(&st->tables, now - st->lockedAt, &found);
    if (found.state == IDENTITY_NONE || SameIdentity(&found, &st->logged)) return;
    st->logged = found;
    Tell(st, &found, tune, now);
}
