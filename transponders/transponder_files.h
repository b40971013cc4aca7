// Reading the transponder files "Transponders\NNNN.ini": the satellite name,
// the entries, the satellite list's labels and the paths. No windows.h: the
// scans are checked on the host; ListSatellites and LoadTransponderList do the
// file and list work and call these.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int SATELLITE_FILES_MAX = 500;        // files listed at most
constexpr size_t TRANSPONDER_PATH_SIZE = 256;   // 255 characters and the zero
constexpr size_t LOAD_PATH_SIZE = 24;           // "Transponders\%04d.ini" buffer
constexpr size_t SATELLITE_LABEL_SIZE = 128;    // 127 characters and the zero
constexpr size_t SATELLITE_NAME_SIZE = 128;     // more than a label can show
constexpr size_t TRANSPONDER_ENTRY_GROUP = 23;  // the entry buffer wraps after this many
constexpr size_t TRANSPONDER_ENTRY_SIZE = TRANSPONDER_ENTRY_GROUP + 1;
constexpr size_t TRANSPONDER_LINE_SIZE = 64;   // "999=" entry CR LF, with room
constexpr uint32_t POSITION_KEY_COUNT = 3600;  // keys 0..3599
constexpr uint32_t EAST_KEY_MAX = 1800;        // 1800 and below are east

constexpr const char* TRANSPONDER_FOLDER = "Transponders\\";
constexpr const char* TRANSPONDER_SEARCH = "Transponders\\*.ini";

// Offset just after the n-th '=' of the data (n from 1). False when the data
// holds fewer than n of them; *offset is then the number found.
bool FindAfterEquals(const char* data, size_t size, int n, size_t* offset);

// The satellite name: after the 2nd '=', up to the CR (or LF) that ends that
// line or a 3rd '=' on it. Writes at most nameSize - 1 bytes and the zero;
// returns the name's full length in the file, so a longer result means it was
// cut. Control bytes come out as '?'. No 2nd '=': empty name, 0.
size_t ParseSatelliteName(const char* data, size_t size, char* name, size_t nameSize);

// The position key a file name gives, with the C strtol rules as the 32-bit
// program has them ("0192.ini" gives 192, "x.ini" 0).
int32_t PositionKeyFromFileName(const char* fileName);

// True for the names the satellite list shows: four digits and ".ini" (any
// case), key 0..3599. Only such a file is the one LoadTransponderList opens
// for its key; any other would have the list show one file and load another.
bool IsTransponderFileName(const char* fileName);

// " 19.2e", "  5.0e", " 30.0w", "180.0e": %5.1f degrees and e or w.
// Returns the length, 0 (and an empty text) when it does not fit.
size_t FormatPositionText(uint32_t key, char* text, size_t textSize);

// The satellite list's label: by position " 19.2e - Name " (sortByName 0),
// by name "Name  19.2e" (sortByName 1). At most 127 characters: a longer name
// is cut and ends in "...". Returns the length, 0 when nothing fits.
size_t FormatSatelliteLabel(uint32_t key, const char* name, int sortByName, char* label, size_t labelSize);

// "Transponders\" and a found file name. False when longer than 255
// characters or than the buffer; path is then empty.
bool FormatListedFilePath(const char* fileName, char* path, size_t pathSize);

// "Transponders\%04d.ini" for a key, as LoadTransponderList and the writer
// form it. False for a key outside 0..3599 or a buffer too small.
bool FormatTransponderFilePath(uint32_t key, char* path, size_t pathSize);

// Walks the entries of a file, from just after its 4th '=' to its end.
// Start it, then call NextTransponderEntry until it returns false.
struct TransponderEntryScan {
    const char* data;
    size_t size;
    size_t position;
    bool collecting;
};
void StartTransponderEntryScan(const char* data, size_t size, TransponderEntryScan* scan);

// The next entry, at most entrySize - 1 bytes and the zero (the program's
// buffer is TRANSPONDER_ENTRY_SIZE and holds every entry whole). False when
// no line ending in CR (or LF) is left.
bool NextTransponderEntry(TransponderEntryScan* scan, char* entry, size_t entrySize);

// The frequency of an entry as the list compares it with the current
// frequency (kHz): strtol, and below 15000 (signed) times 1000.
uint32_t TransponderEntryFrequency(const char* entry);

// "13=11778 V 27500\r\n", the line the writer puts in the file. Returns the
// length, 0 when it does not fit or the number is outside 1..999.
size_t FormatTransponderEntryLine(int number, const char* entry, char* line, size_t lineSize);

// The count and the entry numbers have three digits: a list holds 999 at most.
constexpr size_t TRANSPONDER_ENTRIES_MAX = 999;

// Room the rewritten file needs at most: the old bytes, a header the writer
// may add, the count line and count entry lines.
size_t TransponderFileBound(size_t oldSize, size_t count);

// The rewritten file: the old file's bytes up to and including its 3rd '='
// unchanged, the count, CR LF, and "k=entry" CR LF for k = 1 .. count. A file
// with fewer than three '=' keeps all its bytes and gets the header lines it
// lacks ("1=NNNN" for its key, "2=" and "[DVB]" "0="), so nothing in it is
// lost and it reads back as written. Returns the length; 0 when the result
// does not fit, the list is longer than 999 or an entry has no room.
size_t BuildTransponderFile(const char* old, size_t oldSize, uint32_t key, const char* const* entries, size_t count,
                            char* out, size_t outSize);
