// Scans of the transponder files. The files are single-byte text with CR LF
// line ends; every item is found by counting '=' from the start of the file:
// after the 1st the position (not read), after the 2nd the satellite name,
// after the 3rd the entry count (never read), from the 4th on the entries,
// one per line, the text after the line's '='.
//
// What these routines do where the files are not what we write:
//
// - Fewer than four '=': no entries. A file whose list was emptied ("0=0")
//   has exactly three, and reading on from some header byte would only show
//   pieces of the header as transponders.
// - Fewer than two '=': the name is empty; the label still shows the position,
//   so the satellite can be chosen and its file read.
// - No count line ("1=..." right after the name): the first entry's line
//   stands where the count stands and is not listed. The writer counts the
//   same '=' and keeps that line as the header, so reading and writing agree.
// - A name longer than the label can show (117 characters by position, 120
//   by name), up to a name line of any length: the label shows the start of
//   the name and "..."; the satellite is listed all the same. The name is
//   copied into a fixed buffer; the rest of the line is only counted.
// - A name runs to the CR ending its line; a bare LF ends it too, and so does
//   a 3rd '=' on the name line (then the count and entries start there, as
//   the '=' count says). Control bytes in a name (binary junk, NUL, TAB) are
//   shown as '?', so that a label is one line and is not cut at a zero byte.
// - Entries end at CR, as the format has it; a bare LF (a file saved by an
//   editor with LF line ends) ends the entry being collected too, so that such
//   a file shows its entries and an add or remove, which writes back what the
//   list holds, does not drop them. In a CR LF file the LF follows the CR,
//   when nothing is being collected, and is skipped as before.
// - Entries longer than 22 characters wrap in the 23-character buffer, as the
//   format says; binary bytes in entries are kept as they are (they come back
//   unchanged when the file is written).
// - Listed file names: only "NNNN.ini" with a key 0..3599. The transponder
//   list is loaded from "Transponders\%04d.ini" of the chosen key, so a file
//   "192.ini" or "Astra.ini" would show as a satellite and then load another
//   file (or none, leaving the previous satellite's transponders on screen).
//   Such files are passed over, not counted against the 500, and do not stop
//   the listing.
// - A path longer than 255 characters cannot come from a listed name; if it
//   did, that file alone would be passed over.
// - Empty files: no name, no entries. Data may be null when the size is 0.
#include "transponders/transponder_files.h"
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr int NAME_EQUALS = 2;
constexpr int ENTRY_EQUALS = 4;
constexpr int32_t MHZ_BELOW = 15000;  // smaller entry frequencies are MHz
constexpr size_t POSITION_TEXT_SIZE = 32;
constexpr size_t LABEL_TEXT_MAX = SATELLITE_LABEL_SIZE - 1;
constexpr int ENTRY_NUMBER_MAX = 999;  // the count and numbers have three digits
static const char ELLIPSIS[] = "...";

bool FindAfterEquals(const char* data, size_t size, int n, size_t* offset) {
    int seen = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '=' && ++seen == n) {
            *offset = i + 1;
            return true;
        }
    }
    *offset = (size_t)seen;
    return false;
}

static char Shown(char c) {
    unsigned char u = (unsigned char)c;
    return (u < 0x20 || u == 0x7F) ? '?' : c;
}

size_t ParseSatelliteName(const char* data, size_t size, char* name, size_t nameSize) {
    if (nameSize == 0) return 0;
    name[0] = 0;
    size_t start;
    if (!FindAfterEquals(data, size, NAME_EQUALS, &start)) return 0;
    size_t length = 0;
    for (size_t i = start; i < size; ++i) {
        char c = data[i];
        if (c == CR || c == LF || c == '=') break;
        if (length + 1 < nameSize) name[length] = Shown(c);
        ++length;
    }
    name[length < nameSize ? length : nameSize - 1] = 0;
    return length;
}

// strtol as the 32-bit product sees it: long is 32 bits there, so a number
// out of range saturates the same way on every build.
static int32_t ReadNumber(const char* text) {
    long value = strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

int32_t PositionKeyFromFileName(const char* fileName) { return ReadNumber(fileName); }

bool IsTransponderFileName(const char* fileName) {
    for (int i = 0; i < 4; ++i)
        if (fileName[i] < '0' || fileName[i] > '9') return false;
    const char* extension = fileName + 4;
    if (extension[0] != '.') return false;
    static const char INI[] = "ini";
    for (int i = 0; i < 3; ++i) {
        char c = extension[1 + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != INI[i]) return false;
    }
    if (extension[4] != 0) return false;
    int32_t key = PositionKeyFromFileName(fileName);
    return key >= 0 && key < (int32_t)POSITION_KEY_COUNT;
}

size_t FormatPositionText(uint32_t key, char* text, size_t textSize) {
    if (textSize == 0) return 0;
    bool east = key <= EAST_KEY_MAX;
    double degrees = east ? key / 10.0 : ((double)POSITION_KEY_COUNT - key) / 10.0;
    int n = snprintf(text, textSize, "%5.1f%c", degrees, east ? 'e' : 'w');
    if (n < 0 || (size_t)n >= textSize) {
        text[0] = 0;
        return 0;
    }
    return (size_t)n;
}

// Appends count characters of text to label at *length; the caller has made room.
static void Append(char* label, size_t* length, const char* text, size_t count) {
    memcpy(label + *length, text, count);
    *length += count;
}

size_t FormatSatelliteLabel(uint32_t key, const char* name, int sortByName, char* label, size_t labelSize) {
    if (labelSize == 0) return 0;
    label[0] = 0;
    char position[POSITION_TEXT_SIZE];
    size_t positionLength = FormatPositionText(key, position, sizeof position);
    static const char DASH[] = " - ";
    // By position: position " - " name " "; by name: name " " position.
    size_t fixed = sortByName ? 1 + positionLength : positionLength + strlen(DASH) + 1;
    size_t limit = labelSize - 1 < LABEL_TEXT_MAX ? labelSize - 1 : LABEL_TEXT_MAX;
    if (positionLength == 0 || fixed > limit) return 0;

    size_t nameRoom = limit - fixed;
    size_t nameLength = strlen(name);
    size_t shown = nameLength;
    bool cut = nameLength > nameRoom;
    if (cut) shown = nameRoom >= strlen(ELLIPSIS) ? nameRoom - strlen(ELLIPSIS) : 0;

    size_t length = 0;
    if (!sortByName) {
        Append(label, &length, position, positionLength);
        Append(label, &length, DASH, strlen(DASH));
    }
    Append(label, &length, name, shown);
    if (cut) Append(label, &length, ELLIPSIS, nameRoom - shown);
    Append(label, &length, " ", 1);
    if (sortByName) Append(label, &length, position, positionLength);
    label[length] = 0;
    return length;
}

bool FormatListedFilePath(const char* fileName, char* path, size_t pathSize) {
    if (pathSize == 0) return false;
    size_t limit = pathSize < TRANSPONDER_PATH_SIZE ? pathSize : TRANSPONDER_PATH_SIZE;
    int n = snprintf(path, limit, "%s%s", TRANSPONDER_FOLDER, fileName);
    if (n < 0 || (size_t)n >= limit) {
        path[0] = 0;
        return false;
    }
    return true;
}

bool FormatTransponderFilePath(uint32_t key, char* path, size_t pathSize) {
    if (pathSize == 0) return false;
    path[0] = 0;
    if (key >= POSITION_KEY_COUNT) return false;
    int n = snprintf(path, pathSize, "%s%04d.ini", TRANSPONDER_FOLDER, (int)key);
    if (n < 0 || (size_t)n >= pathSize) {
        path[0] = 0;
        return false;
    }
    return true;
}

void StartTransponderEntryScan(const char* data, size_t size, TransponderEntryScan* scan) {
    scan->data = data;
    scan->size = size;
    scan->collecting = true;
    size_t start;
    // Fewer than four '=': nothing to scan (see the top of this file).
    scan->position = FindAfterEquals(data, size, ENTRY_EQUALS, &start) ? start : size;
}

bool NextTransponderEntry(TransponderEntryScan* scan, char* entry, size_t entrySize) {
    char buffer[TRANSPONDER_ENTRY_GROUP];
    size_t length = 0;
    while (scan->position < scan->size) {
        char c = scan->data[scan->position++];
        if (c == CR || (c == LF && scan->collecting)) {
            scan->collecting = false;
            if (entrySize > 0) {
                size_t copied = length < entrySize - 1 ? length : entrySize - 1;
                memcpy(entry, buffer, copied);
                entry[copied] = 0;
            }
            return true;
        }
        if (c == '=') {
            scan->collecting = true;
        } else if (scan->collecting) {
            buffer[length++] = c;
            // Full: collecting starts again at the buffer's first position.
            if (length == TRANSPONDER_ENTRY_GROUP) length = 0;
        }
    }
    return false;  // a last line without CR gives no entry
}

uint32_t TransponderEntryFrequency(const char* entry) {
    int32_t value = ReadNumber(entry);
    // The 32-bit product multiplies in 32 bits; so do we, without overflow.
    if (value < MHZ_BELOW) return (uint32_t)value * 1000u;
    return (uint32_t)value;
}

size_t FormatTransponderEntryLine(int number, const char* entry, char* line, size_t lineSize) {
    if (lineSize == 0) return 0;
    line[0] = 0;
    if (number < 1 || number > ENTRY_NUMBER_MAX) return 0;
    int n = snprintf(line, lineSize, "%d=%s\r\n", number, entry);
    if (n < 0 || (size_t)n >= lineSize) {
        line[0] = 0;
        return 0;
    }
    return (size_t)n;
}

constexpr int COUNT_EQUALS = 3;

size_t TransponderFileBound(size_t oldSize, size_t count) {
    // A line end and the header lines the writer may add (36 bytes), and the
    // count line (5).
    return oldSize + 64 + count * TRANSPONDER_LINE_SIZE;
}

// Appends text when it fits; false when it does not.
static bool Put(char* out, size_t outSize, size_t* length, const char* text, size_t count) {
    if (count > outSize - *length) return false;
    memcpy(out + *length, text, count);
    *length += count;
    return true;
}

size_t BuildTransponderFile(const char* old, size_t oldSize, uint32_t key, const char* const* entries, size_t count,
                            char* out, size_t outSize) {
    if (count > TRANSPONDER_ENTRIES_MAX || key >= POSITION_KEY_COUNT) return 0;
    size_t length = 0;
    size_t header;
    if (FindAfterEquals(old, oldSize, COUNT_EQUALS, &header)) {
        if (!Put(out, outSize, &length, old, header)) return 0;
    } else {
        // header is now the number of '=' found, 0 to 2: keep every byte and
        // add the lines the reader counts on, starting on a line of their own.
        if (!Put(out, outSize, &length, old, oldSize)) return 0;
        if (oldSize && old[oldSize - 1] != LF && !Put(out, outSize, &length, "\r\n", 2)) return 0;
        char missing[48];  // at most "[SATTYPE]\r\n1=3599\r\n2=\r\n[DVB]\r\n0=", 34 bytes
        int n = 0;
        if (header < 1) n += snprintf(missing + n, sizeof missing - n, "[SATTYPE]\r\n1=%04u\r\n", (unsigned)key);
        if (header < 2) n += snprintf(missing + n, sizeof missing - n, "2=\r\n");
        n += snprintf(missing + n, sizeof missing - n, "[DVB]\r\n0=");
        if (!Put(out, outSize, &length, missing, (size_t)n)) return 0;
    }
    char line[TRANSPONDER_LINE_SIZE];
    int n = snprintf(line, sizeof line, "%u\r\n", (unsigned)count);
    if (!Put(out, outSize, &length, line, (size_t)n)) return 0;
    for (size_t k = 1; k <= count; ++k) {
        size_t lineLength = FormatTransponderEntryLine((int)k, entries[k - 1], line, sizeof line);
        if (!lineLength || !Put(out, outSize, &length, line, lineLength)) return 0;
    }
    return length;
}
