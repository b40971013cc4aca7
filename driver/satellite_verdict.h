#pragma once
// The identified satellite against the one the user chose and the user's
// transponder lists: right, wrong, not listed or tentative, and the sentence
// that tells the user.
#include "driver/satellite_identity.h"

// The transponder tuned, as the user typed it.
struct TunedTransponder {
    uint32_t frequencyKhz;
    char polarization;  // 'h', 'v', 'l' or 'r'
    uint32_t symbolRate;
};

// The lists' positions that hold a transponder.
constexpr uint32_t LISTED_POSITIONS_MAX = 16;
struct ListedPositions {
    uint32_t keys[LISTED_POSITIONS_MAX];
    uint32_t count;
};

// A transponder file's bytes hold the transponder: an entry within 2 MHz, of
// the same polarization ('l' counts as 'h' and 'r' as 'v', as the card is
// told) and within 2 % of its symbol rate. No tuner locks a 4500 kS/s
// carrier at 22000, so a list entry at another rate is another transponder.
bool ListHoldsTransponder(const char* data, size_t size, const TunedTransponder* transponder);
void AddListedPosition(ListedPositions* listed, uint32_t key);

// The position a label of the program's satellite list names: " 19.2e - Name ",
// "Name  19.2e" or "23.5E Astra 3B" give the key (235); NOT_CHOSEN when it
// names none.
constexpr int32_t NOT_CHOSEN = -1;
int32_t LabelPosition(const char* label);

// "19.2e" as the lists write a position, or "19.2E" (upper).
void PositionName(uint32_t key, bool upper, char* out, size_t size);

enum TsVerdict : uint8_t { VERDICT_NONE, VERDICT_RIGHT, VERDICT_WRONG, VERDICT_UNLISTED, VERDICT_TENTATIVE };
// "", "right", "wrong", "unlisted", "tentative": the phone page's words.
extern const char* const VERDICT_NAMES[];

// The identified position against the satellite chosen in the program and
// the lists that hold the transponder, and the sentence that says it.
// With a chosen position: right when the dish receives it; wrong when it
// receives another whose list holds the transponder ("the dish receives 19.2E
// (ASTRA), not 23.5E, which you chose: 11739 V 27500 is on both"); unlisted
// when that other's list does not hold it (a relayed stream names its
// origin). Without one (NOT_CHOSEN), against every list: right when the
// position's list holds it, wrong when only others do, unlisted when none.
// A tentative identification says the same more mildly ("the dish may
// receive ...") and is TENTATIVE. upper: positions as "19.2E" (the box) or as
// the lists write them, "19.2e" (the log). NONE (and an empty sentence)
// without a position.
TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, int32_t chosenKey,
                        const TunedTransponder* transponder, bool upper, char* sentence, size_t size);
