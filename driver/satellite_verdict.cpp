// The identification against the choice and the lists. See satellite_verdict.h.
#include "driver/satellite_verdict.h"
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "transponders/transponder_files.h"

constexpr uint32_t LIST_TOLERANCE_KHZ = 2000;
constexpr uint32_t SYMBOL_RATE_PARTS = 50;  // 1/50: the symbol rate within 2 %

const char* const VERDICT_NAMES[] = {"", "right", "wrong", "unlisted", "tentative"};

static bool Vertical(char polarization) {
    return polarization == 'V' || polarization == 'v' || polarization == 'R' || polarization == 'r';
}

bool ListHoldsTransponder(const char* data, size_t size, const TunedTransponder* tp) {
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        uint32_t frequency = TransponderEntryFrequency(entry);
        const char* comma = strchr(entry, ',');
        const char* second = comma && comma[1] ? strchr(comma + 1, ',') : nullptr;
        if (!second) continue;
        uint32_t rate = uint32_t(strtoul(second + 1, nullptr, 10));
        uint32_t apart = frequency > tp->frequencyKhz ? frequency - tp->frequencyKhz : tp->frequencyKhz - frequency;
        uint32_t rateApart = rate > tp->symbolRate ? rate - tp->symbolRate : tp->symbolRate - rate;
        if (apart <= LIST_TOLERANCE_KHZ && Vertical(comma[1]) == Vertical(tp->polarization) &&
            uint64_t(rateApart) * SYMBOL_RATE_PARTS <= rate)
            return true;
    }
    return false;
}

void AddListedPosition(ListedPositions* listed, uint32_t key) {
    for (uint32_t i = 0; i < listed->count; ++i)
        if (listed->keys[i] == key) return;
    if (listed->count < LISTED_POSITIONS_MAX) listed->keys[listed->count++] = key;
}

// "19.2e", "5E", "30.0w" as a whole token of length bytes: the key, or NOT_CHOSEN.
static int32_t TokenPosition(const char* token, size_t length) {
    uint32_t tenths = 0, digits = 0, i = 0;
    for (; i < length && token[i] >= '0' && token[i] <= '9' && digits < 3; ++i, ++digits)
        tenths = tenths * 10 + uint32_t(token[i] - '0');
    tenths *= 10;
    if (i + 2 < length && token[i] == '.' && token[i + 1] >= '0' && token[i + 1] <= '9')
        tenths += uint32_t(token[i + 1] - '0'), i += 2;
    if (digits == 0 || i + 1 != length || tenths > EAST_KEY_MAX) return NOT_CHOSEN;
    char side = char(token[i] | 0x20);
    if (side == 'e') return int32_t(tenths);
    if (side == 'w') return tenths == 0 ? 0 : int32_t(POSITION_KEY_COUNT - tenths);
    return NOT_CHOSEN;
}

int32_t LabelPosition(const char* label) {
    const char* first = label + strspn(label, " \t");
    size_t firstLength = strcspn(first, " \t");
    int32_t key = TokenPosition(first, firstLength);
    if (key != NOT_CHOSEN) return key;
    size_t end = strlen(label);
    while (end && (label[end - 1] == ' ' || label[end - 1] == '\t')) --end;
    size_t start = end;
    while (start && label[start - 1] != ' ' && label[start - 1] != '\t') --start;
    return TokenPosition(label + start, end - start);
}

void PositionName(uint32_t key, bool upper, char* out, size_t size) {
    char text[16];
    FormatPositionText(key, text, sizeof text);
    snprintf(out, size, "%s", text + strspn(text, " "));
    if (upper)
        for (char* c = out; *c; ++c)
            if (*c == 'e' || *c == 'w') *c = char(*c - 'a' + 'A');
}

// The sentence so far; what does not fit is cut, never overrun.
struct Sentence {
    char* text;
    size_t size, used;
    bool upper;
};

__attribute__((format(printf, 2, 3))) static void Put(Sentence* s, const char* format, ...) {
    if (s->used + 1 >= s->size) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(s->text + s->used, s->size - s->used, format, args);
    va_end(args);
    if (n > 0) s->used = s->used + size_t(n) < s->size ? s->used + size_t(n) : s->size - 1;
}

static void PutPosition(Sentence* s, uint32_t key) {
    char text[16];
    PositionName(key, s->upper, text, sizeof text);
    Put(s, "%s", text);
}

// "13.0E", "9.0E or 13.0E", "9.0E, 13.0E or 16.0E".
static void PutPositions(Sentence* s, const ListedPositions* listed, const char* last) {
    for (uint32_t i = 0; i < listed->count; ++i) {
        Put(s, "%s", i == 0 ? "" : i + 1 == listed->count ? last : ", ");
        PutPosition(s, listed->keys[i]);
    }
}

// "12302 V 27500", "11778.5 H 22000": the transponder as the user types it.
static void PutTransponder(Sentence* s, const TunedTransponder* tp) {
    char number[24];
    int n = snprintf(number, sizeof number, "%lu.%03lu", (unsigned long)(tp->frequencyKhz / 1000),
                     (unsigned long)(tp->frequencyKhz % 1000));
    while (n > 0 && (number[n - 1] == '0' || number[n - 1] == '.')) {
        bool point = number[--n] == '.';
        number[n] = 0;
        if (point) break;
    }
    char pol = tp->polarization >= 'a' ? char(tp->polarization - 'a' + 'A') : tp->polarization;
    Put(s, "%s %c %lu", number, pol, (unsigned long)tp->symbolRate);
}

static bool Listed(const ListedPositions* listed, uint32_t key) {
    for (uint32_t i = 0; i < listed->count; ++i)
        if (listed->keys[i] == key) return true;
    return false;
}

// Against the satellite the user chose.
static TsVerdict AgainstChoice(Sentence* s, uint32_t heard, const ListedPositions* listed, uint32_t chosen,
                               const TunedTransponder* tp) {
    if (heard == chosen) {
        Put(s, ", the satellite you chose");
        return VERDICT_RIGHT;
    }
    Put(s, ", not ");
    PutPosition(s, chosen);
    Put(s, ", which you chose: ");
    PutTransponder(s, tp);
    if (!Listed(listed, heard)) {
        Put(s, " is not in your list of ");
        PutPosition(s, heard);
        return VERDICT_UNLISTED;
    }
    if (Listed(listed, chosen)) {
        Put(s, " is on both");
    } else {
        Put(s, " is in your list of ");
        PutPosition(s, heard);
        Put(s, " only");
    }
    return VERDICT_WRONG;
}

// Against every list: a trainee who chose another of them learns where the dish is.
static TsVerdict AgainstEveryList(Sentence* s, uint32_t heard, const ListedPositions* listed,
                                  const TunedTransponder* tp) {
    if (listed->count == 0) {
        Put(s, ": ");
        PutTransponder(s, tp);
        Put(s, " is in none of your lists");
        return VERDICT_UNLISTED;
    }
    TsVerdict verdict = Listed(listed, heard) ? VERDICT_RIGHT : VERDICT_WRONG;
    if (verdict == VERDICT_WRONG) {
        Put(s, ", not ");
        PutPositions(s, listed, " or ");
    }
    Put(s, ": ");
    PutTransponder(s, tp);
    Put(s, " is in your list%s of ", listed->count > 1 ? "s" : "");
    PutPositions(s, listed, " and ");
    return verdict;
}

TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, int32_t chosenKey,
                        const TunedTransponder* transponder, bool upper, char* sentence, size_t size) {
    if (size) sentence[0] = 0;
    if (identity->state != IDENTITY_CONFIRMED && identity->state != IDENTITY_TENTATIVE) return VERDICT_NONE;
    Sentence s = {sentence, size, 0, upper};
    bool tentative = identity->state == IDENTITY_TENTATIVE;
    Put(&s, "the dish %s ", tentative ? "may receive" : "receives");
    PutPosition(&s, identity->positionKey);
    if (identity->network[0]) Put(&s, " (%s)", identity->network);
    TsVerdict verdict = chosenKey >= 0 && uint32_t(chosenKey) < POSITION_KEY_COUNT
                            ? AgainstChoice(&s, identity->positionKey, listed, uint32_t(chosenKey), transponder)
                            : AgainstEveryList(&s, identity->positionKey, listed, transponder);
    return tentative ? VERDICT_TENTATIVE : verdict;
}
