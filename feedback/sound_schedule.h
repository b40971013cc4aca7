// The sound thread's schedule: which clip to play and how long to wait, pass
// by pass, for each sound mode. No windows.h here: the Win32 thread copies its
// values under the state lock and hands the playing and sleeping in as
// callbacks, so the host tests can follow the exact sequence without sleeping.
#pragma once
#include <atomic>
#include <cstdint>

// Sound modes, as the Sound button steps through them.
constexpr uint32_t SOUND_MODE_AUTO = 0;
constexpr uint32_t SOUND_MODE_TONE = 1;
constexpr uint32_t SOUND_MODE_VOICE = 2;
constexpr uint32_t SOUND_MODE_MUTE = 3;
constexpr uint32_t SOUND_MODE_BIRDS = 4;
constexpr uint32_t SOUND_MODE_ALARM = 5;

constexpr uint32_t VOICE_LANGUAGES = 9;  // 0 English .. 8 Turkish
constexpr uint32_t VOICE_TURKISH = 8;
constexpr int BIRD_CALLS = 4;

// Clip numbers: the spoken digit d of language L is L * 10 + d (0..89), then
// the tone, the four bird calls and the alarm.
constexpr int TONE_CLIP = 90;
constexpr int FIRST_BIRD_CLIP = 91;
constexpr int ALARM_CLIP = 95;
constexpr int SOUND_CLIP_COUNT = 96;

constexpr int VoiceClip(uint32_t language, uint32_t digit) { return (int)(language * 10 + digit); }

// The resource name of a clip ("EN0" .. "TR9", "TONE", "BIRD0" .. "BIRD3",
// "ALARM") into a buffer of at least 6 characters; false for a number outside
// 0..SOUND_CLIP_COUNT-1 or a buffer too small.
bool SoundClipName(int clip, char* buffer, int size);

// The values one pass works from, copied together under the state lock.
struct SoundInputs {
    uint32_t finderRunning;
    int32_t level;      // the signal level in percent, compared as signed
    uint32_t language;  // voice language
    uint32_t mode;      // sound mode
};

// What a pass does with the world. play and pause are required; random may be
// null, which means the C library's rand() (never seeded by the program).
struct SoundSink {
    void (*play)(void* context, int clip);
    void (*pause)(void* context, uint32_t milliseconds);
    int (*random)(void* context);
    void* context;
};

// One pass of the sound thread: plays and pauses for the copied values and
// keeps the Auto mode's tone counter (the number of tones played since the
// level was last 0; the main window zeroes it when the mode changes). Returns
// whether another pass follows, that is whether the copied run flag was set.
bool RunSoundPass(const SoundInputs& inputs, std::atomic<uint32_t>* counter, const SoundSink& sink);

// The thread's whole loop: copy the values (copyInputs takes the state lock),
// run a pass, and again while the copied run flag was set. The pass that copies
// the cleared flag is the last.
void RunSoundLoop(void (*copyInputs)(void* context, SoundInputs* inputs), std::atomic<uint32_t>* counter,
                  const SoundSink& sink);
