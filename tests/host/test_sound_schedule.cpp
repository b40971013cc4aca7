// The sound thread's schedule, followed pass by pass with a recording sink,
// and the clips it plays as the program carries them.
#include "feedback/sound_schedule.h"
#include <gtest/gtest.h>
#include <climits>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Records clip names and pauses ("EN5", "500", ...) and serves scripted inputs.
struct Recorder {
    std::vector<std::string> events;
    std::vector<int> randoms;         // served in turn by the sink's random
    size_t nextRandom = 0;
    std::vector<SoundInputs> script;  // served in turn to RunSoundLoop
    size_t nextInput = 0;
    std::vector<uint32_t> resetBeforePass;  // passes before which the main window zeroes the counter
    std::atomic<uint32_t>* counter = nullptr;
};

void Play(void* context, int clip) {
    char name[8];
    ASSERT_TRUE(SoundClipName(clip, name, sizeof name)) << "clip " << clip;
    static_cast<Recorder*>(context)->events.push_back(name);
}

void Pause(void* context, uint32_t ms) {
    static_cast<Recorder*>(context)->events.push_back(std::to_string(ms));
}

int ScriptedRandom(void* context) {
    auto* recorder = static_cast<Recorder*>(context);
    return recorder->randoms.at(recorder->nextRandom++);
}

void CopyScripted(void* context, SoundInputs* inputs) {
    auto* recorder = static_cast<Recorder*>(context);
    for (uint32_t pass : recorder->resetBeforePass)
        if (pass == recorder->nextInput) recorder->counter->store(0);
    *inputs = recorder->script.at(recorder->nextInput++);
}

SoundSink SinkFor(Recorder* recorder, bool scriptedRandom = false) {
    return {Play, Pause, scriptedRandom ? ScriptedRandom : nullptr, recorder};
}

using Events = std::vector<std::string>;

// One pass with the finder running; returns what it played and paused.
Events Pass(int32_t level, uint32_t language, uint32_t mode, std::atomic<uint32_t>* counter,
            bool* more = nullptr) {
    Recorder recorder;
    bool again = RunSoundPass({1, level, language, mode}, counter, SinkFor(&recorder));
    if (more) *more = again;
    return recorder.events;
}

Events Pass(int32_t level, uint32_t language, uint32_t mode) {
    std::atomic<uint32_t> counter{3};  // Auto past its tones
    return Pass(level, language, mode, &counter);
}

}  // namespace

TEST(SoundSchedule, VoiceSpeaksTheFirstTwoDigits) {
    EXPECT_EQ(Pass(7, 0, SOUND_MODE_VOICE), (Events{"EN7", "500", "800"}));
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_VOICE), (Events{"EN5", "500", "EN7", "800"}));
    // 100 is one, zero; a level above 100 from the driver is cut the same way.
    EXPECT_EQ(Pass(100, 1, SOUND_MODE_VOICE), (Events{"DE1", "500", "DE0", "800"}));
    EXPECT_EQ(Pass(INT32_MAX, 4, SOUND_MODE_VOICE), (Events{"CH2", "500", "CH1", "800"}));
    // The language index picks the clips: 1 is German, 2 Russian.
    EXPECT_EQ(Pass(23, 2, SOUND_MODE_VOICE), (Events{"RU2", "500", "RU3", "800"}));
    // Turkish gets longer pauses after an 8 and after the second position.
    EXPECT_EQ(Pass(58, 8, SOUND_MODE_VOICE), (Events{"TR5", "500", "TR8", "200", "800"}));
    EXPECT_EQ(Pass(85, 8, SOUND_MODE_VOICE), (Events{"TR8", "100", "500", "TR5", "200", "800"}));
    EXPECT_EQ(Pass(8, 8, SOUND_MODE_VOICE), (Events{"TR8", "100", "500", "200", "800"}));
    EXPECT_EQ(Pass(88, 0, SOUND_MODE_VOICE), (Events{"EN8", "500", "EN8", "800"}));
}

TEST(SoundSchedule, OutOfRangeValuesAreSilent) {
    for (uint32_t language : {9u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Pass(57, language, SOUND_MODE_VOICE), (Events{"800"})) << language;
        // Tones do not depend on the language.
        std::atomic<uint32_t> counter{0};
        EXPECT_EQ(Pass(57, language, SOUND_MODE_AUTO, &counter), (Events{"TONE", "1400"}));
    }
    // A mode from a damaged settings file: silent, with a short pause.
    for (uint32_t mode : {6u, 0xFFFFFFFFu}) EXPECT_EQ(Pass(57, 0, mode), (Events{"100"})) << mode;
    // A negative level: silent in every mode, the Auto counter kept.
    for (uint32_t mode : {0u, 2u, 4u, 5u}) {
        std::atomic<uint32_t> counter{2};
        bool more = false;
        EXPECT_EQ(Pass(INT32_MIN, 0, mode, &counter, &more), (Events{"50"})) << mode;
        EXPECT_EQ(counter.load(), 2u);
        EXPECT_TRUE(more);
    }
}

TEST(SoundSchedule, EachModeWithAndWithoutASignal) {
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_TONE), (Events{"TONE", "1500"}));
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_MUTE), (Events{"100"}));
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_ALARM), (Events{"100"}));
    // Without a signal only the alarm sounds, and the Auto counter starts over.
    for (uint32_t mode : {0u, 1u, 2u, 3u, 4u}) {
        std::atomic<uint32_t> counter{3};
        EXPECT_EQ(Pass(0, 0, mode, &counter), (Events{"50"})) << mode;
        EXPECT_EQ(counter.load(), 0u) << mode;
    }
    std::atomic<uint32_t> counter{2};
    EXPECT_EQ(Pass(0, 99, SOUND_MODE_ALARM, &counter), (Events{"ALARM", "500", "50"}));
    EXPECT_EQ(counter.load(), 0u);
}

TEST(SoundSchedule, BirdsPickACallAndAPauseAtRandom) {
    Recorder recorder;
    recorder.randoms = {5, 1999, 32767, 32767, 0, 0, -3, -1};
    std::atomic<uint32_t> counter{0};
    for (int pass = 0; pass < 4; ++pass)
        RunSoundPass({1, 57, 0, SOUND_MODE_BIRDS}, &counter, SinkFor(&recorder, true));
    EXPECT_EQ(recorder.events, (Events{"BIRD1", "1999", "BIRD3", "1767", "BIRD0", "1000",
                                       // a negative draw still picks a call in range
                                       "BIRD1", "1295"}));

    // The C library's generator: every call is heard, pauses stay in 1000..1999 ms.
    Recorder library;
    bool seen[BIRD_CALLS] = {};
    for (int pass = 0; pass < 400; ++pass) {
        library.events.clear();
        RunSoundPass({1, 57, 0, SOUND_MODE_BIRDS}, &counter, SinkFor(&library));
        ASSERT_EQ(library.events.size(), 2u);
        seen[library.events[0].back() - '0'] = true;
        ASSERT_GE(std::stoi(library.events[1]), 1000);
        ASSERT_LE(std::stoi(library.events[1]), 1999);
    }
    for (int bird = 0; bird < BIRD_CALLS; ++bird) EXPECT_TRUE(seen[bird]) << bird;
}

TEST(SoundSchedule, AutoPlaysThreeTonesPerRiseThenSpeaks) {
    Recorder recorder;
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    const SoundInputs rise = {1, 40, 0, SOUND_MODE_AUTO};
    const SoundInputs none = {1, 0, 0, SOUND_MODE_AUTO};
    recorder.script = {none, rise, rise, rise, rise, none, rise, {0, 40, 0, SOUND_MODE_AUTO}};
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.nextInput, recorder.script.size());
    EXPECT_EQ(recorder.events, (Events{"50",                                 // no signal
                                       "TONE", "1400", "TONE", "1400", "TONE", "1400",
                                       "EN4", "500", "EN0", "800",           // 4, 0
                                       "50",                                 // lost: reset
                                       "TONE", "1400", "TONE", "1400"}));
}

TEST(SoundSchedule, ModeChangeRestartsTheTones) {
    // The main window zeroes the counter with the mode under the lock; the
    // next pass then sees the new mode with the counter already reset.
    Recorder recorder;
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    const SoundInputs voice = {1, 7, 0, SOUND_MODE_VOICE};
    const SoundInputs autoMode = {1, 7, 0, SOUND_MODE_AUTO};
    recorder.script = {autoMode, autoMode, autoMode, autoMode, voice, autoMode, {0, 7, 0, SOUND_MODE_AUTO}};
    recorder.resetBeforePass = {4, 5};  // Auto -> Voice, then Voice -> Auto
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.events,
              (Events{"TONE", "1400", "TONE", "1400", "TONE", "1400", "EN7", "500", "800",
                      "EN7", "500", "800",                        // Voice
                      "TONE", "1400", "TONE", "1400"}));          // Auto again
}

TEST(SoundSchedule, StoppingEndsAfterOneMorePass) {
    // The pass that copies the cleared flag is the last, and may still sound.
    Recorder recorder;
    recorder.randoms = {1, 999, 2, 999};
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    recorder.script = {{1, 57, 0, SOUND_MODE_BIRDS}, {1, 57, 0, SOUND_MODE_BIRDS},
                       {0, 0, 0, SOUND_MODE_ALARM}, {1, 57, 0, SOUND_MODE_BIRDS}};
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder, true));
    EXPECT_EQ(recorder.nextInput, 3u);
    EXPECT_EQ(recorder.events, (Events{"BIRD1", "1999", "BIRD2", "1999", "ALARM", "500", "50"}));
}

#ifdef ORVALIS_SOURCE_DIR
namespace {

struct Wav {
    uint32_t tag, channels, rate, blockAlign, bits;
    double seconds;  // from the fact chunk, or the data size for PCM
};

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | (uint8_t)b.at(at + i);
    return value;
}

Wav ReadWav(int clip) {
    char name[8];
    EXPECT_TRUE(SoundClipName(clip, name, sizeof name));
    std::ifstream file(std::string(ORVALIS_SOURCE_DIR) + "/resources/sounds/" + name + ".wav",
                       std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Wav wav{};
    if (b.size() < 12 || b.compare(0, 4, "RIFF") || b.compare(8, 4, "WAVE")) return wav;
    uint32_t samples = 0;
    for (size_t at = 12; at + 8 <= b.size(); at += 8 + Le(b, at + 4, 4) + (Le(b, at + 4, 4) & 1)) {
        std::string id = b.substr(at, 4);
        if (id == "fmt ")
            wav = {Le(b, at + 8, 2), Le(b, at + 10, 2), Le(b, at + 12, 4), Le(b, at + 20, 2), Le(b, at + 22, 2), 0};
        if (id == "fact") samples = Le(b, at + 8, 4);
        if (id == "data" && wav.tag == 1) samples = Le(b, at + 4, 4) / wav.blockAlign;
    }
    if (wav.rate) wav.seconds = (double)samples / wav.rate;
    return wav;
}

}  // namespace

TEST(SoundClipFiles, EncodingAndLengthOfEveryClip) {
    for (int clip = 0; clip < TONE_CLIP; ++clip) {
        Wav wav = ReadWav(clip);
        EXPECT_EQ(wav.tag * 1000 + wav.channels, 2001u) << clip;  // Microsoft ADPCM, mono
        EXPECT_EQ(wav.rate, 22050u) << clip;
        EXPECT_EQ(wav.bits * 1000 + wav.blockAlign, 4512u) << clip;
        // The first digit has 500 ms (a Turkish 8 600 ms) before the second cuts it off.
        EXPECT_GE(wav.seconds, 0.195) << clip;
        EXPECT_LE(wav.seconds, clip == VoiceClip(VOICE_TURKISH, 8) ? 0.605 : 0.505) << clip;
    }
    Wav tone = ReadWav(TONE_CLIP);
    EXPECT_EQ(tone.tag * 1000 + tone.channels, 1001u);  // PCM, mono
    EXPECT_EQ(tone.rate * 100 + tone.bits, 800016u);
    EXPECT_NEAR(tone.seconds, 0.88, 0.005);
    const double birdSeconds[BIRD_CALLS] = {0.37, 0.69, 0.43, 0.58};
    for (int bird = 0; bird < BIRD_CALLS; ++bird) {
        Wav wav = ReadWav(FIRST_BIRD_CLIP + bird);
        EXPECT_EQ(wav.tag * 1000 + wav.channels, 2001u) << bird;
        EXPECT_EQ(wav.rate, 22050u);
        EXPECT_NEAR(wav.seconds, birdSeconds[bird], 0.005) << bird;
    }
    Wav alarm = ReadWav(ALARM_CLIP);
    EXPECT_EQ(alarm.tag * 1000 + alarm.channels, 2002u);  // Microsoft ADPCM, stereo
    EXPECT_EQ(alarm.rate, 22050u);
    EXPECT_NEAR(alarm.seconds, 0.52, 0.005);  // over before the next one, 550 ms on
}
#endif
