// A settings file of any bytes: every value is used as it was read, so each
// part that takes one must cope with the whole range.
#include "app/settings_block.h"
#include "calculator/look_angles.h"
#include "feedback/sound_schedule.h"
#include "transponders/transponder_files.h"
#include <cstdio>
#include <cstring>

static void Play(void*, int clip) {
    char name[8];
    if (!SoundClipName(clip, name, sizeof name)) __builtin_trap();
}
static void Pause(void*, uint32_t ms) {
    if (ms > 2000) __builtin_trap();
}
static int Random(void*) { return 12345; }

// The value a dialog list attaches to an entry; no such entry gives -1.
static int32_t Attached(uint32_t index, uint32_t count, int32_t first, int32_t step) {
    return index < count ? first + step * (int32_t)index : -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingsBlock s = {};
    memcpy(&s, data, size < sizeof s ? size : sizeof s);

    std::atomic<uint32_t> counter{0};
    for (int32_t level : {0, 7, 57, 100, -1, 1000})
        RunSoundPass({1, level, s.voiceLanguage, s.soundMode}, &counter, {Play, Pause, Random, nullptr});

    char text[LOAD_PATH_SIZE];
    FormatTransponderFilePath(s.satellitePosition, text, sizeof text);
    FormatPositionText(s.satellitePosition, text, sizeof text);

    LookEntries e = {Attached(s.latitudeDegreeIndex, 181, 90, -1), Attached(s.latitudeMinuteIndex, 60, 0, 1),
                     Attached(s.longitudeDegreeIndex, 361, 180, -1), Attached(s.longitudeMinuteIndex, 60, 0, 1),
                     (int32_t)s.satellitePosition};
    LookResults r = {};
    AimAtSatellite(e, &r);
    char width[16], height[16];
    snprintf(width, sizeof width, "%d", (int)s.dishWidth);
    snprintf(height, sizeof height, "%d", (int)s.dishHeight);
    TakeDishSize(width, height, &r);
    LookTexts texts;
    FormatLookTexts(r, &texts);
    return 0;
}
