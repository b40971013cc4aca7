#pragma once
// The identified satellite against the user's transponder lists: right,
// wrong or not listed, and the sentence that tells the user.
#include "driver/satellite_identity.h"

// The lists' positions that hold a transponder.
constexpr uint32_t LISTED_POSITIONS_MAX = 16;
struct ListedPositions {
    uint32_t keys[LISTED_POSITIONS_MAX];
    uint32_t count;
};

// A transponder file's bytes hold frequencyKhz within 2 MHz on polarization
// ('h' or 'v'; 'l' counts as 'h' and 'r' as 'v', as the card is told).
bool ListHoldsTransponder(const char* data, size_t size, uint32_t frequencyKhz, char polarization);
void AddListedPosition(ListedPositions* listed, uint32_t key);

enum TsVerdict : uint8_t { VERDICT_NONE, VERDICT_RIGHT, VERDICT_WRONG, VERDICT_NOT_LISTED };

// The identified position against the lists, and the sentence that says it:
// "the dish receives 19.2E (ASTRA), not 23.5E: 11597 V 27500 is in your list
// of 23.5E". upper: positions as "19.2E" (the box) or as the lists write
// them, "19.2e" (the log). NONE (and an empty sentence) without a position.
TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, uint32_t frequencyKhz,
                        char polarization, uint32_t symbolRate, bool upper, char* sentence, size_t size);
