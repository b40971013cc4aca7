// The sound thread's schedule, followed pass by pass with a recording sink.
#include "feedback/sound_schedule.h"
#include <gtest/gtest.h>
#include <climits>
#include <string>
#include <vector>

namespace {

// Records clip names and pauses as "EN5 500 EN7 800"; serves scripted draws and inputs.
struct Recorder {
    std::string events;
    std::vector<int> randoms;
    std::vector<SoundInputs> script;
    size_t nextRandom = 0, nextInput = 0;
    std::atomic<uint32_t> counter{0};
    void Add(const std::string& event) { events += (events.empty() ? "" : " ") + event; }
};

void Play(void* context, int clip) {
    char name[8];
    ASSERT_TRUE(SoundClipName(clip, name, sizeof name)) << "clip " << clip;
    static_cast<Recorder*>(context)->Add(name);
}
void Pause(void* context, uint32_t ms) { static_cast<Recorder*>(context)->Add(std::to_string(ms)); }
int Scripted(void* context) {
    auto* r = static_cast<Recorder*>(context);
    return r->randoms.at(r->nextRandom++);
}
void CopyScripted(void* context, SoundInputs* inputs) {
    auto* r = static_cast<Recorder*>(context);
    *inputs = r->script.at(r->nextInput++);
}
SoundSink SinkFor(Recorder* r) { return {Play, Pause, r->randoms.empty() ? nullptr : Scripted, r}; }

// One pass with the finder running, from an Auto tone counter (3: past its tones).
std::string Pass(int32_t level, uint32_t language, uint32_t mode, uint32_t counter = 3, uint32_t* after = nullptr) {
    Recorder r;
    r.counter = counter;
    EXPECT_TRUE(RunSoundPass({1, level, language, mode}, &r.counter, SinkFor(&r)));
    if (after) *after = r.counter;
    return r.events;
}

std::string Loop(Recorder& r) {
    RunSoundLoop(CopyScripted, &r.counter, SinkFor(&r));
    return r.events;
}

}  // namespace

TEST(SoundSchedule, EachModeWithASignal) {
    constexpr uint32_t VOICE = SOUND_MODE_VOICE;
    const struct {
        int32_t level;
        uint32_t language, mode;
        const char* events;
    } rows[] = {
        // Voice speaks the first two digits; 100, and more from the driver, is cut so.
        {7, 0, VOICE, "EN7 500 800"},
        {57, 0, VOICE, "EN5 500 EN7 800"},
        {88, 0, VOICE, "EN8 500 EN8 800"},
        {100, 1, VOICE, "DE1 500 DE0 800"},
        {INT32_MAX, 4, VOICE, "CH2 500 CH1 800"},
        {23, 2, VOICE, "RU2 500 RU3 800"},
        // Turkish gets longer pauses after an 8 and after the second position.
        {58, 8, VOICE, "TR5 500 TR8 200 800"},
        {85, 8, VOICE, "TR8 100 500 TR5 200 800"},
        {8, 8, VOICE, "TR8 100 500 200 800"},
        // A language or a mode from a damaged settings file: silent, with a pause.
        {57, 9, VOICE, "800"},
        {57, 0xFFFFFFFF, SOUND_MODE_AUTO, "800"},
        {57, 0, 6, "100"},
        {57, 0, 0xFFFFFFFF, "100"},
        {57, 0, SOUND_MODE_TONE, "TONE 1500"},
        {57, 0, SOUND_MODE_MUTE, "100"},
        {57, 0, SOUND_MODE_ALARM, "100"},
    };
    for (auto [level, language, mode, events] : rows)
        EXPECT_EQ(Pass(level, language, mode), events) << level << " " << language << " " << mode;
}

TEST(SoundSchedule, TheAutoCounterWithoutASignal) {
    uint32_t counter = 0;
    EXPECT_EQ(Pass(57, 9, SOUND_MODE_AUTO, 2, &counter), "TONE 1400") << "a tone needs no language";
    EXPECT_EQ(counter, 3u);
    // No signal: only the alarm sounds, and Auto starts over. A negative level
    // (a misbehaving driver): silent in every mode, the counter kept.
    for (uint32_t mode = 0; mode <= SOUND_MODE_ALARM; ++mode) {
        EXPECT_EQ(Pass(0, 99, mode, 2, &counter), mode == SOUND_MODE_ALARM ? "ALARM 500 50" : "50") << mode;
        EXPECT_EQ(counter, 0u) << mode;
        EXPECT_EQ(Pass(INT32_MIN, 0, mode, 2, &counter), "50") << mode;
        EXPECT_EQ(counter, 2u) << mode;
    }
}

TEST(SoundSchedule, AutoPlaysThreeTonesPerRiseThenSpeaks) {
    Recorder r;
    const SoundInputs rise = {1, 40, 0, SOUND_MODE_AUTO}, none = {1, 0, 0, SOUND_MODE_AUTO};
    r.script = {none, rise, rise, rise, rise, none, rise, {0, 40, 0, SOUND_MODE_AUTO}};
    EXPECT_EQ(Loop(r), "50 TONE 1400 TONE 1400 TONE 1400 EN4 500 EN0 800 50 TONE 1400 TONE 1400");
    EXPECT_EQ(r.nextInput, r.script.size());
}

TEST(SoundSchedule, BirdsAtRandomAndTheStopAfterOneMorePass) {
    Recorder r;
    r.randoms = {5, 1999, 32767, 32767, 0, 0, -3, -1};  // a negative draw still picks a call in range
    const SoundInputs birds = {1, 57, 0, SOUND_MODE_BIRDS};
    // The pass that copies the cleared flag is the last, and may still sound.
    r.script = {birds, birds, birds, birds, {0, 0, 0, SOUND_MODE_ALARM}, birds};
    EXPECT_EQ(Loop(r), "BIRD1 1999 BIRD3 1767 BIRD0 1000 BIRD1 1295 ALARM 500 50");
    EXPECT_EQ(r.nextInput, 5u);
}
