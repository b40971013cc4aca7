// The sound thread's schedule, followed pass by pass with a recording sink,
// and the clips it plays as the program carries them.
#include "feedback/sound_schedule.h"
#include <gtest/gtest.h>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
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
    uint32_t pausedMs = 0;
};

void Play(void* context, int clip) {
    char name[8];
    ASSERT_TRUE(SoundClipName(clip, name, sizeof name)) << "clip " << clip;
    static_cast<Recorder*>(context)->events.push_back(name);
}

void Pause(void* context, uint32_t ms) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->events.push_back(std::to_string(ms));
    recorder->pausedMs += ms;
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
    EXPECT_EQ(Pass(10, 3, SOUND_MODE_VOICE), (Events{"IT1", "500", "IT0", "800"}));
    // 100 is one, zero; a level above 100 from the driver is cut the same way.
    EXPECT_EQ(Pass(100, 1, SOUND_MODE_VOICE), (Events{"DE1", "500", "DE0", "800"}));
    EXPECT_EQ(Pass(INT32_MAX, 4, SOUND_MODE_VOICE), (Events{"CH2", "500", "CH1", "800"}));
    // The language index picks the clips: 1 is German, 2 Russian, 7 Portuguese.
    EXPECT_EQ(Pass(23, 2, SOUND_MODE_VOICE), (Events{"RU2", "500", "RU3", "800"}));
    EXPECT_EQ(Pass(96, 7, SOUND_MODE_VOICE), (Events{"PR9", "500", "PR6", "800"}));
    EXPECT_EQ(Pass(1, 6, SOUND_MODE_VOICE), (Events{"PL1", "500", "800"}));
}

TEST(SoundSchedule, TurkishGetsLongerPauses) {
    EXPECT_EQ(Pass(58, 8, SOUND_MODE_VOICE), (Events{"TR5", "500", "TR8", "200", "800"}));
    EXPECT_EQ(Pass(85, 8, SOUND_MODE_VOICE), (Events{"TR8", "100", "500", "TR5", "200", "800"}));
    EXPECT_EQ(Pass(88, 8, SOUND_MODE_VOICE), (Events{"TR8", "100", "500", "TR8", "200", "800"}));
    EXPECT_EQ(Pass(7, 8, SOUND_MODE_VOICE), (Events{"TR7", "500", "200", "800"}));
    EXPECT_EQ(Pass(8, 8, SOUND_MODE_VOICE), (Events{"TR8", "100", "500", "200", "800"}));
    // The extra pauses are Turkish only.
    EXPECT_EQ(Pass(88, 0, SOUND_MODE_VOICE), (Events{"EN8", "500", "EN8", "800"}));
}

TEST(SoundSchedule, UnknownLanguageIsSilentForOneAnnouncement) {
    for (uint32_t language : {9u, 10u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(Pass(57, language, SOUND_MODE_VOICE), (Events{"800"})) << language;
        EXPECT_EQ(Pass(100, language, SOUND_MODE_AUTO), (Events{"800"})) << language;
        // Tones do not depend on the language.
        std::atomic<uint32_t> counter{0};
        EXPECT_EQ(Pass(57, language, SOUND_MODE_AUTO, &counter), (Events{"TONE", "1400"}));
    }
}

TEST(SoundSchedule, EachModeWithASignal) {
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_TONE), (Events{"TONE", "1500"}));
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_MUTE), (Events{"100"}));
    EXPECT_EQ(Pass(57, 0, SOUND_MODE_ALARM), (Events{"100"}));
    // A mode from a damaged settings file: silent, with a short pause.
    for (uint32_t mode : {6u, 7u, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(Pass(57, 0, mode), (Events{"100"})) << mode;
}

TEST(SoundSchedule, NoSignalIsSilentButForTheAlarmAndResetsTheCounter) {
    for (uint32_t mode : {0u, 1u, 2u, 3u, 4u, 6u, 0xFFFFFFFFu}) {
        std::atomic<uint32_t> counter{3};
        EXPECT_EQ(Pass(0, 0, mode, &counter), (Events{"50"})) << mode;
        EXPECT_EQ(counter.load(), 0u) << mode;
    }
    std::atomic<uint32_t> counter{2};
    EXPECT_EQ(Pass(0, 0, SOUND_MODE_ALARM, &counter), (Events{"ALARM", "500", "50"}));
    EXPECT_EQ(counter.load(), 0u);
    // The language plays no part without a signal.
    EXPECT_EQ(Pass(0, 99, SOUND_MODE_ALARM), (Events{"ALARM", "500", "50"}));
}

TEST(SoundSchedule, NegativeLevelIsSilentAndKeepsTheCounter) {
    for (int32_t level : {-1, -57, INT32_MIN}) {
        for (uint32_t mode : {0u, 1u, 2u, 3u, 4u, 5u, 9u}) {
            std::atomic<uint32_t> counter{2};
            bool more = false;
            EXPECT_EQ(Pass(level, 0, mode, &counter, &more), (Events{"50"}))
                << level << " mode " << mode;
            EXPECT_EQ(counter.load(), 2u);
            EXPECT_TRUE(more);
        }
    }
}

TEST(SoundSchedule, BirdsPickACallAndAPauseAtRandom) {
    Recorder recorder;
    recorder.randoms = {5, 1999, 32767, 32767, 0, 0, 2, 1000, -3, -1};
    std::atomic<uint32_t> counter{0};
    SoundSink sink = SinkFor(&recorder, true);
    for (int pass = 0; pass < 5; ++pass)
        RunSoundPass({1, 57, 0, SOUND_MODE_BIRDS}, &counter, sink);
    EXPECT_EQ(recorder.events, (Events{"BIRD1", "1999", "BIRD3", "1767", "BIRD0", "1000",
                                       "BIRD2", "1000",
                                       // a negative draw still picks a call in range
                                       "BIRD1", "1295"}));
    EXPECT_EQ(counter.load(), 0u);

    // Without a random function the C library's generator is used; whatever
    // it yields stays within the four calls and 1000..1999 ms.
    Recorder library;
    SoundSink librarySink = SinkFor(&library);
    bool seen[BIRD_CALLS] = {};
    for (int pass = 0; pass < 400; ++pass) {
        library.events.clear();
        RunSoundPass({1, 57, 0, SOUND_MODE_BIRDS}, &counter, librarySink);
        ASSERT_EQ(library.events.size(), 2u);
        ASSERT_EQ(library.events[0].substr(0, 4), "BIRD");
        seen[library.events[0][4] - '0'] = true;
        int ms = std::stoi(library.events[1]);
        ASSERT_GE(ms, 1000);
        ASSERT_LE(ms, 1999);
    }
    for (int bird = 0; bird < BIRD_CALLS; ++bird) EXPECT_TRUE(seen[bird]) << bird;
}

TEST(SoundSchedule, AutoPlaysThreeTonesPerRiseThenSpeaks) {
    Recorder recorder;
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    const SoundInputs rise = {1, 40, 0, SOUND_MODE_AUTO};
    const SoundInputs none = {1, 0, 0, SOUND_MODE_AUTO};
    recorder.script = {none, rise, rise, rise, rise, rise, none, rise, rise,
                       {0, 40, 0, SOUND_MODE_AUTO}};
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.nextInput, recorder.script.size());
    EXPECT_EQ(recorder.events, (Events{"50",                                 // no signal
                                       "TONE", "1400", "TONE", "1400", "TONE", "1400",
                                       "EN4", "500", "EN0", "800",           // 4, 0
                                       "EN4", "500", "EN0", "800",
                                       "50",                                 // lost: reset
                                       "TONE", "1400", "TONE", "1400", "TONE", "1400"}));
    EXPECT_EQ(counter.load(), 3u);
}

TEST(SoundSchedule, ModeChangeRestartsTheTones) {
    // The main window zeroes the counter with the mode under the lock; the
    // next pass then sees the new mode with the counter already reset.
    Recorder recorder;
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    const SoundInputs voice = {1, 7, 0, SOUND_MODE_VOICE};
    const SoundInputs autoMode = {1, 7, 0, SOUND_MODE_AUTO};
    recorder.script = {autoMode, autoMode, autoMode, autoMode, voice, autoMode, autoMode,
                       {0, 7, 0, SOUND_MODE_AUTO}};
    recorder.resetBeforePass = {4, 5};  // Auto -> Voice, then Voice -> Auto
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.events,
              (Events{"TONE", "1400", "TONE", "1400", "TONE", "1400", "EN7", "500", "800",
                      "EN7", "500", "800",                                   // Voice
                      "TONE", "1400", "TONE", "1400", "TONE", "1400"}));    // Auto again
}

TEST(SoundSchedule, StoppingEndsAfterOneMorePass) {
    // The pass that copies the cleared flag is the last; in Birds mode the
    // thread is gone at most about 2 s after the stop.
    Recorder recorder;
    recorder.randoms = {1, 999, 2, 999};
    std::atomic<uint32_t> counter{0};
    recorder.counter = &counter;
    recorder.script = {{1, 57, 0, SOUND_MODE_BIRDS}, {1, 57, 0, SOUND_MODE_BIRDS},
                       {0, 0, 0, SOUND_MODE_BIRDS}, {1, 57, 0, SOUND_MODE_BIRDS}};
    RunSoundLoop(CopyScripted, &counter, SinkFor(&recorder, true));
    EXPECT_EQ(recorder.nextInput, 3u);
    EXPECT_EQ(recorder.events, (Events{"BIRD1", "1999", "BIRD2", "1999", "50"}));

    // The stopping pass may still play one sound.
    Recorder last;
    bool more = true;
    std::atomic<uint32_t> tones{0};
    more = RunSoundPass({0, 0, 0, SOUND_MODE_ALARM}, &tones, SinkFor(&last));
    EXPECT_FALSE(more);
    EXPECT_EQ(last.events, (Events{"ALARM", "500", "50"}));
    EXPECT_TRUE(RunSoundPass({5, 0, 0, SOUND_MODE_MUTE}, &tones, SinkFor(&last)));
}

TEST(SoundSchedule, VoiceRhythm) {
    // A two-digit level is announced every 1.3 s, in Turkish every 1.5 s.
    Recorder recorder;
    std::atomic<uint32_t> counter{0};
    RunSoundPass({1, 42, 5, SOUND_MODE_VOICE}, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.pausedMs, 1300u);
    recorder.pausedMs = 0;
    RunSoundPass({1, 42, 8, SOUND_MODE_VOICE}, &counter, SinkFor(&recorder));
    EXPECT_EQ(recorder.pausedMs, 1500u);
}

TEST(SoundClipNames, EveryClipHasItsResourceName) {
    const char* prefixes[] = {"EN", "DE", "RU", "IT", "CH", "FR", "PL", "PR", "TR"};
    char name[8];
    for (uint32_t language = 0; language < VOICE_LANGUAGES; ++language) {
        for (uint32_t digit = 0; digit < 10; ++digit) {
            ASSERT_TRUE(SoundClipName(VoiceClip(language, digit), name, sizeof name));
            EXPECT_EQ(std::string(name), prefixes[language] + std::to_string(digit));
        }
    }
    ASSERT_TRUE(SoundClipName(TONE_CLIP, name, sizeof name));
    EXPECT_STREQ(name, "TONE");
    ASSERT_TRUE(SoundClipName(FIRST_BIRD_CLIP + 3, name, sizeof name));
    EXPECT_STREQ(name, "BIRD3");
    ASSERT_TRUE(SoundClipName(ALARM_CLIP, name, 6));
    EXPECT_STREQ(name, "ALARM");
    EXPECT_EQ(ALARM_CLIP + 1, SOUND_CLIP_COUNT);

    EXPECT_FALSE(SoundClipName(-1, name, sizeof name));
    EXPECT_FALSE(SoundClipName(SOUND_CLIP_COUNT, name, sizeof name));
    EXPECT_FALSE(SoundClipName(ALARM_CLIP, name, 5));  // no room for the terminator
    EXPECT_FALSE(SoundClipName(TONE_CLIP, nullptr, 8));
    EXPECT_FALSE(SoundClipName(TONE_CLIP, name, 0));
}

#ifdef ORVALIS_SOURCE_DIR
namespace {

struct WavFormat {
    bool ok = false;
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, samples = 0;  // samples from the fact chunk, or the data size for PCM
};

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | (uint8_t)b[at + i];
    return value;
}

WavFormat ReadWav(const std::string& path) {
    WavFormat wav;
    std::ifstream file(path, std::ios::binary);
    std::string b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || b.compare(0, 4, "RIFF") || b.compare(8, 4, "WAVE")) return wav;
    if (Le(b, 4, 4) + 8 != b.size()) return wav;
    bool haveFormat = false, haveData = false;
    uint32_t dataBytes = 0;
    for (size_t at = 12; at + 8 <= b.size();) {
        std::string id = b.substr(at, 4);
        uint32_t size = Le(b, at + 4, 4);
        if (at + 8 + size > b.size()) return wav;
        if (id == "fmt " && size >= 16) {
            wav.tag = (uint16_t)Le(b, at + 8, 2);
            wav.channels = (uint16_t)Le(b, at + 10, 2);
            wav.rate = Le(b, at + 12, 4);
            wav.blockAlign = (uint16_t)Le(b, at + 20, 2);
            wav.bits = (uint16_t)Le(b, at + 22, 2);
            haveFormat = true;
        } else if (id == "fact" && size >= 4) {
            wav.samples = Le(b, at + 8, 4);
        } else if (id == "data") {
            dataBytes = size;
            haveData = true;
        }
        at += 8 + size + (size & 1);
    }
    if (wav.tag == 1 && wav.blockAlign) wav.samples = dataBytes / wav.blockAlign;
    wav.ok = haveFormat && haveData && wav.samples > 0;
    return wav;
}

double Seconds(const WavFormat& wav) { return (double)wav.samples / wav.rate; }

}  // namespace

TEST(SoundClipFiles, EncodingAndLengthOfEveryClip) {
    const std::string folder = std::string(ORVALIS_SOURCE_DIR) + "/resources/sounds/";
    char name[8];
    double longest = 0;
    std::string longestName;
    for (int clip = 0; clip < TONE_CLIP; ++clip) {
        ASSERT_TRUE(SoundClipName(clip, name, sizeof name));
        WavFormat wav = ReadWav(folder + name + ".wav");
        ASSERT_TRUE(wav.ok) << name;
        EXPECT_EQ(wav.tag, 2) << name;  // Microsoft ADPCM
        EXPECT_EQ(wav.channels, 1) << name;
        EXPECT_EQ(wav.rate, 22050u) << name;
        EXPECT_EQ(wav.bits, 4) << name;
        EXPECT_EQ(wav.blockAlign, 512) << name;
        EXPECT_GE(Seconds(wav), 0.195) << name;
        EXPECT_LE(Seconds(wav), 0.695) << name;
        // The first digit has 500 ms before the second cuts it off.
        if (clip != VoiceClip(VOICE_TURKISH, 8)) {
            EXPECT_LE(Seconds(wav), 0.505) << name;
        }
        if (Seconds(wav) > longest) {
            longest = Seconds(wav);
            longestName = name;
        }
    }
    EXPECT_EQ(longestName, "TR8");

    WavFormat tone = ReadWav(folder + "TONE.wav");
    ASSERT_TRUE(tone.ok);
    EXPECT_EQ(tone.tag, 1);
    EXPECT_EQ(tone.channels, 1);
    EXPECT_EQ(tone.rate, 8000u);
    EXPECT_EQ(tone.bits, 16);
    EXPECT_NEAR(Seconds(tone), 0.88, 0.005);

    const double birdSeconds[BIRD_CALLS] = {0.37, 0.69, 0.43, 0.58};
    for (int bird = 0; bird < BIRD_CALLS; ++bird) {
        ASSERT_TRUE(SoundClipName(FIRST_BIRD_CLIP + bird, name, sizeof name));
        WavFormat wav = ReadWav(folder + name + ".wav");
        ASSERT_TRUE(wav.ok) << name;
        EXPECT_EQ(wav.tag, 2) << name;
        EXPECT_EQ(wav.channels, 1) << name;
        EXPECT_EQ(wav.rate, 22050u) << name;
        EXPECT_NEAR(Seconds(wav), birdSeconds[bird], 0.005) << name;
    }

    WavFormat alarm = ReadWav(folder + "ALARM.wav");
    ASSERT_TRUE(alarm.ok);
    EXPECT_EQ(alarm.tag, 2);
    EXPECT_EQ(alarm.channels, 2);
    EXPECT_EQ(alarm.rate, 22050u);
    EXPECT_NEAR(Seconds(alarm), 0.52, 0.005);
    EXPECT_LT(Seconds(alarm), 0.55);  // over before the next one starts
}

TEST(SoundClipFiles, ResourceScriptNamesEveryClipOnce) {
    std::ifstream file(std::string(ORVALIS_SOURCE_DIR) + "/resources/sounds/sounds.rc");
    ASSERT_TRUE(file) << "resources/sounds/sounds.rc";
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line.compare(0, 2, "//")) lines.push_back(line);
    ASSERT_EQ(lines.size(), (size_t)SOUND_CLIP_COUNT);
    char name[8];
    for (int clip = 0; clip < SOUND_CLIP_COUNT; ++clip) {
        ASSERT_TRUE(SoundClipName(clip, name, sizeof name));
        std::string expected =
            std::string(name) + " RCDATA \"sounds/" + name + ".wav\"";
        int found = 0;
        for (const std::string& line : lines) found += line == expected;
        EXPECT_EQ(found, 1) << expected;
    }
}
#endif
