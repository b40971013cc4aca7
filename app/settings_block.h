// The user's choices, stored byte for byte in "orv.dat" beside the exe.
// No windows.h here: the layout is checked on the host too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

constexpr size_t SETTINGS_SIZE = 256;

struct SettingsBlock {
    uint32_t voiceLanguage;         // 0 English .. 8 Turkish
    uint32_t soundMode;             // 0 "Auto" .. 5 "0 Signal - Alarm"
    uint32_t diseqc;                // DiSEqC box index, 0xFFFFFFFF = no selection
    uint32_t satellitePosition;     // position key, tenths of a degree eastwards
    uint32_t transponderFrequency;  // kHz
    uint8_t reservedA[60];          // carried through unchanged
    uint32_t latitudeDegreeIndex;
    uint32_t longitudeDegreeIndex;
    uint32_t latitudeMinuteIndex;
    uint32_t longitudeMinuteIndex;
    uint32_t dishWidth;
    uint32_t dishHeight;
    uint8_t reservedB[152];  // carried through unchanged
};

static_assert(std::is_standard_layout_v<SettingsBlock>);
static_assert(sizeof(SettingsBlock) == SETTINGS_SIZE);
static_assert(offsetof(SettingsBlock, voiceLanguage) == 0);
static_assert(offsetof(SettingsBlock, soundMode) == 4);
static_assert(offsetof(SettingsBlock, diseqc) == 8);
static_assert(offsetof(SettingsBlock, satellitePosition) == 12);
static_assert(offsetof(SettingsBlock, transponderFrequency) == 16);
static_assert(offsetof(SettingsBlock, reservedA) == 20);
static_assert(offsetof(SettingsBlock, latitudeDegreeIndex) == 80);
static_assert(offsetof(SettingsBlock, longitudeDegreeIndex) == 84);
static_assert(offsetof(SettingsBlock, latitudeMinuteIndex) == 88);
static_assert(offsetof(SettingsBlock, longitudeMinuteIndex) == 92);
static_assert(offsetof(SettingsBlock, dishWidth) == 96);
static_assert(offsetof(SettingsBlock, dishHeight) == 100);
static_assert(offsetof(SettingsBlock, reservedB) == 104);
