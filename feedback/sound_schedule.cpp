// The sound thread's schedule. All pacing comes from the pauses here, never
// from the clips' lengths: a clip that is still playing is cut off by the next.
#include "feedback/sound_schedule.h"
#include <cstdio>
#include <cstdlib>

// Resource prefixes of the digit clips, indexed by the voice language.
static const char* const VOICE_PREFIXES[VOICE_LANGUAGES] = {"EN", "DE", "RU", "IT", "CH", "FR", "PL", "PR", "TR"};

constexpr uint32_t AUTO_TONES = 3;        // tones before the voice takes over
constexpr uint32_t NO_SIGNAL_PAUSE = 50;  // level 0: poll about 20 times a second
constexpr uint32_t ALARM_PAUSE = 500;
constexpr uint32_t SILENT_PAUSE = 100;  // Mute and Alarm modes with a signal
constexpr uint32_t AUTO_TONE_PAUSE = 1400;
constexpr uint32_t TONE_PAUSE = 1500;
constexpr uint32_t BIRD_PAUSE_MIN = 1000;  // plus 0..999 at random
constexpr uint32_t FIRST_DIGIT_PAUSE = 500;
constexpr uint32_t SECOND_DIGIT_PAUSE = 800;
constexpr uint32_t TURKISH_EIGHT_PAUSE = 100;  // "sekiz" needs a little longer
constexpr uint32_t TURKISH_SECOND_PAUSE = 200;
// Our own choices where nothing is to be played: a level below 0 can only come
// from a misbehaving driver and a mode above 5 from a damaged settings file.
// Both stay silent, and both pause so that the thread never spins on the lock.
constexpr uint32_t NEGATIVE_LEVEL_PAUSE = NO_SIGNAL_PAUSE;
constexpr uint32_t UNKNOWN_MODE_PAUSE = SILENT_PAUSE;

bool SoundClipName(int clip, char* buffer, int size) {
    if (!buffer || size <= 0) return false;
    int written;
    if (clip >= 0 && clip < TONE_CLIP)
        written = snprintf(buffer, (size_t)size, "%s%d", VOICE_PREFIXES[clip / 10], clip % 10);
    else if (clip == TONE_CLIP)
        written = snprintf(buffer, (size_t)size, "TONE");
    else if (clip >= FIRST_BIRD_CLIP && clip < FIRST_BIRD_CLIP + BIRD_CALLS)
        written = snprintf(buffer, (size_t)size, "BIRD%d", clip - FIRST_BIRD_CLIP);
    else if (clip == ALARM_CLIP)
        written = snprintf(buffer, (size_t)size, "ALARM");
    else
        return false;
    return written > 0 && written < size;
}

static uint32_t Random(const SoundSink& sink) { return (uint32_t)(sink.random ? sink.random(sink.context) : rand()); }

// Speaks the first two digits of a level above 0: 100 is "1", "0".
static void SpeakLevel(int32_t level, uint32_t language, const SoundSink& sink) {
    if (language >= VOICE_LANGUAGES) {
        sink.pause(sink.context, SECOND_DIGIT_PAUSE);
        return;
    }
    char digits[12];
    snprintf(digits, sizeof digits, "%d", (int)level);

    uint32_t first = (uint32_t)(digits[0] - '0');
    sink.play(sink.context, VoiceClip(language, first));
    if (language == VOICE_TURKISH && first == 8) sink.pause(sink.context, TURKISH_EIGHT_PAUSE);
    sink.pause(sink.context, FIRST_DIGIT_PAUSE);

    if (digits[1] >= '0' && digits[1] <= '9') sink.play(sink.context, VoiceClip(language, (uint32_t)(digits[1] - '0')));
    if (language == VOICE_TURKISH) sink.pause(sink.context, TURKISH_SECOND_PAUSE);
    sink.pause(sink.context, SECOND_DIGIT_PAUSE);
}

bool RunSoundPass(const SoundInputs& inputs, std::atomic<uint32_t>* counter, const SoundSink& sink) {
    if (inputs.level == 0) {
        if (inputs.mode == SOUND_MODE_ALARM) {
            sink.play(sink.context, ALARM_CLIP);
            sink.pause(sink.context, ALARM_PAUSE);
        }
        // No signal: the next rise starts Auto mode again with its tones.
        counter->store(0, std::memory_order_relaxed);
        sink.pause(sink.context, NO_SIGNAL_PAUSE);
    } else if (inputs.level < 0) {
        sink.pause(sink.context, NEGATIVE_LEVEL_PAUSE);
    } else {
        switch (inputs.mode) {
            case SOUND_MODE_MUTE:
            case SOUND_MODE_ALARM:
                sink.pause(sink.context, SILENT_PAUSE);
                break;
            case SOUND_MODE_AUTO:
                // The main window may zero the counter between the test and the
                // increment; that only shortens the next run of tones by one.
                if ((int32_t)counter->load(std::memory_order_relaxed) < (int32_t)AUTO_TONES) {
                    sink.play(sink.context, TONE_CLIP);
                    counter->fetch_add(1, std::memory_order_relaxed);
                    sink.pause(sink.context, AUTO_TONE_PAUSE);
                } else {
                    SpeakLevel(inputs.level, inputs.language, sink);
                }
                break;
            case SOUND_MODE_TONE:
                sink.play(sink.context, TONE_CLIP);
                sink.pause(sink.context, TONE_PAUSE);
                break;
            case SOUND_MODE_BIRDS: {
                uint32_t bird = Random(sink) % BIRD_CALLS;
                sink.play(sink.context, FIRST_BIRD_CLIP + (int)bird);
                sink.pause(sink.context, BIRD_PAUSE_MIN + Random(sink) % 1000);
                break;
            }
            case SOUND_MODE_VOICE:
                SpeakLevel(inputs.level, inputs.language, sink);
                break;
            default:
                sink.pause(sink.context, UNKNOWN_MODE_PAUSE);
                break;
        }
    }
    return inputs.finderRunning != 0;
}

void RunSoundLoop(void (*copyInputs)(void* context, SoundInputs* inputs), std::atomic<uint32_t>* counter,
                  const SoundSink& sink) {
    SoundInputs inputs;
    do {
        copyInputs(sink.context, &inputs);
    } while (RunSoundPass(inputs, counter, sink));
}
