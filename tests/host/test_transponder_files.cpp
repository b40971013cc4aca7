// The transponder files as ListSatellites and LoadTransponderList read them:
// names, labels, entries, and what damaged files give.
#include "transponders/transponder_files.h"
#include "tuner/transponder_text.h"
#include <gtest/gtest.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

static std::string Label(uint32_t key, const char* name, int sortByName) {
    char label[SATELLITE_LABEL_SIZE];
    size_t length = FormatSatelliteLabel(key, name, sortByName, label, sizeof label);
    EXPECT_EQ(strlen(label), length);
    return label;
}

static std::string Name(const std::string& file) {
    char name[SATELLITE_NAME_SIZE];
    ParseSatelliteName(file.data(), file.size(), name, sizeof name);
    return name;
}

static std::vector<std::string> Entries(const std::string& file) {
    TransponderEntryScan scan;
    StartTransponderEntryScan(file.data(), file.size(), &scan);
    std::vector<std::string> entries;
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) entries.push_back(entry);
    return entries;
}

static const std::string HEADER = "[SATTYPE]\r\n1=0192\r\n2=Astra 1KR/1L\r\n\r\n[DVB]\r\n0=2\r\n";

TEST(SatelliteLabel, ByPositionAndByName) {
    EXPECT_EQ(" 13.0e - A ", Label(130, "A", 0));
    EXPECT_EQ(" 19.2e - B ", Label(192, "B", 0));
    EXPECT_EQ(" 30.0w - C ", Label(3300, "C", 0));
    EXPECT_EQ("A  13.0e", Label(130, "A", 1));
    EXPECT_EQ("B  19.2e", Label(192, "B", 1));
    EXPECT_EQ("C  30.0w", Label(3300, "C", 1));

    EXPECT_EQ("  5.0e - Sirius ", Label(50, "Sirius", 0));
    EXPECT_EQ("  0.0e - X ", Label(0, "X", 0));
    EXPECT_EQ("180.0e - X ", Label(1800, "X", 0));
    EXPECT_EQ("179.9w - X ", Label(1801, "X", 0));
    EXPECT_EQ("  0.1w - X ", Label(3599, "X", 0));
    EXPECT_EQ("X 179.9w", Label(1801, "X", 1));
    EXPECT_EQ("  0.0e -  ", Label(0, "", 0));  // a file without a name is still listed
}

TEST(SatelliteLabel, LongNamesAreCutToTheLabel) {
    // By position the name has 127 - 9 - 1 = 117 characters, by name 127 - 7 = 120.
    std::string fits(117, 'n');
    std::string label = Label(192, fits.c_str(), 0);
    EXPECT_EQ(127u, label.size());
    EXPECT_EQ(" 19.2e - " + fits + " ", label);

    std::string longer(118, 'n');
    label = Label(192, longer.c_str(), 0);
    EXPECT_EQ(127u, label.size());
    EXPECT_EQ(" 19.2e - " + std::string(114, 'n') + "... ", label);

    label = Label(3300, std::string(121, 'n').c_str(), 1);
    EXPECT_EQ(std::string(117, 'n') + "...  30.0w", label);
    EXPECT_EQ(std::string(120, 'n') + "  30.0w", Label(3300, std::string(120, 'n').c_str(), 1));

    // A small buffer cuts the name further; one too small for the position gives nothing.
    char small[16];
    EXPECT_EQ(15u, FormatSatelliteLabel(192, "Astra 1KR/1L/1M", 0, small, sizeof small));
    EXPECT_STREQ(" 19.2e - As... ", small);
    char tiny[9];
    EXPECT_EQ(0u, FormatSatelliteLabel(192, "A", 0, tiny, sizeof tiny));
    EXPECT_STREQ("", tiny);
}

TEST(SatelliteName, FromTheSecondEquals) {
    EXPECT_EQ("Astra 1KR/1L", Name(HEADER));
    EXPECT_EQ("Hotbird", Name("1=0130\r\n2=Hotbird\r\n0=0\r\n"));
    EXPECT_EQ("", Name("1=0130\r\n2=\r\n"));
    EXPECT_EQ("Name", Name("1=0130\r\n2=Name"));               // no line end: to the end
    EXPECT_EQ("A", Name("1=0\r\n2=A=B\r\n0=1\r\n1=x\r\n"));    // a 3rd '=' ends it
    EXPECT_EQ("Unix", Name("1=0130\n2=Unix\n0=0\n"));
    EXPECT_EQ("Old", Name("1=0\r2=Old\r0=0\r"));
    EXPECT_EQ("a?b?c", Name(std::string("1=0\r\n2=a\tb\0c\r\n", 15)));

    // The copy stops at the buffer; the length says how long the name was.
    char name[8];
    EXPECT_EQ(12u, ParseSatelliteName("1=0\r\n2=Astra 1KR/1L\r\n", 21, name, sizeof name));
    EXPECT_STREQ("Astra 1", name);
}

TEST(TransponderEntries, ReadAsTheListShowsThem) {
    EXPECT_EQ((std::vector<std::string>{"10729,V,22000", "10744,H,22000"}),
              Entries(HEADER + "1=10729,V,22000\r\n2=10744,H,22000\r\n"));
    // Keys are not read; only what follows a '=' on the line is kept.
    EXPECT_EQ((std::vector<std::string>{"11778 V 27500", "ab"}),
              Entries(HEADER + "0001=11778 V 27500\r\nkey=a=b\r\n"));
    // A blank line after the entries adds an empty one; a line without '='
    // adds an empty one; the last line counts only when it ends in CR.
    EXPECT_EQ((std::vector<std::string>{"12000,H,27500", ""}),
              Entries(HEADER + "1=12000,H,27500\r\n\r\n"));
    EXPECT_EQ((std::vector<std::string>{"12000,H,27500", ""}),
              Entries(HEADER + "1=12000,H,27500\r\nno equals\r\n3=12100,V,27500"));
    // Section headings and blank lines before the 4th '=' are passed over.
    EXPECT_EQ((std::vector<std::string>{"3400,H,1000"}),
              Entries("1=1\r\n\r\n[a]\r\n2=n\r\n\r\n[b]\r\n\r\n0=1\r\n1=3400,H,1000\r\n"));
}

TEST(TransponderEntries, TheBufferWrapsEvery23Characters) {
    std::string s22(22, 'a'), s23(23, 'b'), s24 = std::string(23, 'c') + "d",
        s46(46, 'e'), s50 = std::string(46, 'f') + "tail";
    EXPECT_EQ((std::vector<std::string>{s22, "", "d", "", "tail"}),
              Entries(HEADER + "1=" + s22 + "\r\n2=" + s23 + "\r\n3=" + s24 + "\r\n4=" + s46 +
                      "\r\n5=" + s50 + "\r\n"));
}

TEST(TransponderEntries, FrequencyAsTheListComparesIt) {
    EXPECT_EQ(10744000u, TransponderEntryFrequency("10744,H,22000"));
    EXPECT_EQ(14999000u, TransponderEntryFrequency("14999 H 27500"));
    EXPECT_EQ(15000u, TransponderEntryFrequency("15000 H 27500"));  // never 15,000,000
    EXPECT_EQ(11778000u, TransponderEntryFrequency("11778000 h 27500000"));
    EXPECT_EQ(11719500u, TransponderEntryFrequency(" 11719500,H,27500"));
    EXPECT_EQ(0u, TransponderEntryFrequency(""));
    EXPECT_EQ(0u, TransponderEntryFrequency("V 27500"));
    EXPECT_EQ((uint32_t)-5000, TransponderEntryFrequency("-5,H,27500"));
    EXPECT_EQ((uint32_t)INT32_MIN * 1000u, TransponderEntryFrequency("-99999999999"));
    EXPECT_EQ((uint32_t)INT32_MAX, TransponderEntryFrequency("99999999999"));

    // The last of several entries with the current frequency is the one selected.
    std::string file = HEADER + "1=10744,H,22000\r\n2=10729,V,22000\r\n3=10744000 H 27500\r\n";
    int selected = -1, index = 0;
    for (const std::string& e : Entries(file)) {
        if (TransponderEntryFrequency(e.c_str()) == 10744000u) selected = index;
        ++index;
    }
    EXPECT_EQ(2, selected);
}

TEST(TransponderEntries, WrittenLinesReadBack) {
    char line[TRANSPONDER_LINE_SIZE];
    EXPECT_EQ(18u, FormatTransponderEntryLine(13, "11778 V 27500", line, sizeof line));
    EXPECT_STREQ("13=11778 V 27500\r\n", line);
    EXPECT_EQ(0u, FormatTransponderEntryLine(1000, "11778 V 27500", line, sizeof line));
    EXPECT_EQ(0u, FormatTransponderEntryLine(0, "11778 V 27500", line, sizeof line));
    char small[10];
    EXPECT_EQ(0u, FormatTransponderEntryLine(1, "11778 V 27500", small, sizeof small));
    EXPECT_STREQ("", small);

    std::vector<std::string> entries = {"11778 V 27500", "3400,L,1000", "12345678901234567890ab"};
    std::string file = "[SATTYPE]\r\n1=0192\r\n2=Name\r\n[DVB]\r\n0=3\r\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_NE(0u, FormatTransponderEntryLine((int)i + 1, entries[i].c_str(), line, sizeof line));
        file += line;
    }
    EXPECT_EQ(entries, Entries(file));
}

TEST(DamagedFiles, GiveWhatCanBeReadAndNothingElse) {
    // Empty, and null data of size 0.
    EXPECT_EQ("", Name(""));
    EXPECT_TRUE(Entries("").empty());
    char name[SATELLITE_NAME_SIZE] = "x";
    EXPECT_EQ(0u, ParseSatelliteName(nullptr, 0, name, sizeof name));
    EXPECT_STREQ("", name);
    TransponderEntryScan scan;
    StartTransponderEntryScan(nullptr, 0, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    EXPECT_FALSE(NextTransponderEntry(&scan, entry, sizeof entry));

    // No '=' at all, one, three: no name or no entries, never header pieces.
    EXPECT_EQ("", Name("just text\r\nmore\r\n"));
    EXPECT_TRUE(Entries("just text\r\nmore\r\n").empty());
    EXPECT_EQ("", Name("1=0192\r\nAstra\r\n"));
    EXPECT_EQ("Emptied", Name("[SATTYPE]\r\n1=0192\r\n2=Emptied\r\n[DVB]\r\n0=0\r\n"));
    EXPECT_TRUE(Entries("[SATTYPE]\r\n1=0192\r\n2=Emptied\r\n[DVB]\r\n0=0\r\n").empty());
    size_t offset = 99;
    EXPECT_FALSE(FindAfterEquals("a=b=c", 5, 4, &offset));
    EXPECT_EQ(2u, offset);

    // No count line: the first entry's line stands where the count stands.
    EXPECT_EQ((std::vector<std::string>{"12000,H,27500"}),
              Entries("1=0192\r\n2=Name\r\n1=11778,V,27500\r\n2=12000,H,27500\r\n"));

    // CR-only line ends read like CR LF; LF-only ones give their entries too.
    std::string crOnly = "[SATTYPE]\r1=0192\r2=Old Mac\r[DVB]\r0=2\r1=10744,H,22000\r2=10758,V,22000\r";
    EXPECT_EQ("Old Mac", Name(crOnly));
    EXPECT_EQ((std::vector<std::string>{"10744,H,22000", "10758,V,22000"}), Entries(crOnly));
    std::string lfOnly = "[SATTYPE]\n1=0192\n2=Unix\n[DVB]\n0=2\n1=10744,H,22000\n2=10758,V,22000\n";
    EXPECT_EQ("Unix", Name(lfOnly));
    EXPECT_EQ((std::vector<std::string>{"10744,H,22000", "10758,V,22000"}), Entries(lfOnly));

    // A name line of 10,000 characters: the start of it, cut in the label,
    // and the entries after it are all there.
    std::string huge = "1=0192\r\n2=" + std::string(10000, 'N') + "\r\n0=1\r\n1=11778 V 27500\r\n";
    char longName[SATELLITE_NAME_SIZE];
    EXPECT_EQ(10000u, ParseSatelliteName(huge.data(), huge.size(), longName, sizeof longName));
    EXPECT_EQ(std::string(SATELLITE_NAME_SIZE - 1, 'N'), longName);
    std::string label = Label(192, longName, 0);
    EXPECT_EQ(127u, label.size());
    EXPECT_EQ("... ", label.substr(123));
    EXPECT_EQ((std::vector<std::string>{"11778 V 27500"}), Entries(huge));
}

TEST(DamagedFiles, BinaryJunkNeverOverrunsAnything) {
    // Random bytes with many '=', CR and NUL: names stay in their buffer and
    // printable, entries stay under 23 characters, every scan ends.
    uint32_t seed = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string junk;
        size_t length = round * 37 % 4000;
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            uint8_t b = (uint8_t)(seed >> 16);
            if (b < 24) b = "=\r\n"[b % 3];
            junk.push_back((char)b);
        }
        std::vector<char> exact(junk.begin(), junk.end());  // exact size for ASan
        char name[SATELLITE_NAME_SIZE];
        size_t full = ParseSatelliteName(exact.data(), exact.size(), name, sizeof name);
        ASSERT_LT(strlen(name), sizeof name);
        ASSERT_EQ(full < sizeof name ? full : sizeof name - 1, strlen(name));
        for (const char* p = name; *p; ++p) ASSERT_GE((unsigned char)*p, 0x20);
        char label[SATELLITE_LABEL_SIZE];
        ASSERT_LE(FormatSatelliteLabel(1801, name, round & 1, label, sizeof label), 127u);

        TransponderEntryScan scan;
        StartTransponderEntryScan(exact.data(), exact.size(), &scan);
        char entry[TRANSPONDER_ENTRY_SIZE];
        size_t count = 0;
        while (NextTransponderEntry(&scan, entry, sizeof entry)) {
            ASSERT_LT(strlen(entry), TRANSPONDER_ENTRY_GROUP);
            ASSERT_LE(++count, exact.size());
            TransponderEntryFrequency(entry);
        }
    }
}

TEST(FileNames, KeysAndPaths) {
    EXPECT_EQ(192, PositionKeyFromFileName("0192.ini"));
    EXPECT_EQ(3300, PositionKeyFromFileName("3300.ini"));
    EXPECT_EQ(0, PositionKeyFromFileName("Astra.ini"));
    EXPECT_EQ(-5, PositionKeyFromFileName("-5.ini"));
    EXPECT_EQ(INT32_MAX, PositionKeyFromFileName("99999999999.ini"));

    EXPECT_TRUE(IsTransponderFileName("0192.ini"));
    EXPECT_TRUE(IsTransponderFileName("0000.INI"));
    EXPECT_TRUE(IsTransponderFileName("3599.Ini"));
    EXPECT_FALSE(IsTransponderFileName("3600.ini"));
    EXPECT_FALSE(IsTransponderFileName("192.ini"));
    EXPECT_FALSE(IsTransponderFileName("00192.ini"));
    EXPECT_FALSE(IsTransponderFileName("0192.ini.bak"));
    EXPECT_FALSE(IsTransponderFileName("0192.in"));
    EXPECT_FALSE(IsTransponderFileName("-192.ini"));
    EXPECT_FALSE(IsTransponderFileName("Astra.ini"));
    EXPECT_FALSE(IsTransponderFileName(""));

    char path[LOAD_PATH_SIZE];
    EXPECT_TRUE(FormatTransponderFilePath(192, path, sizeof path));
    EXPECT_STREQ("Transponders\\0192.ini", path);
    EXPECT_TRUE(FormatTransponderFilePath(3599, path, sizeof path));
    EXPECT_STREQ("Transponders\\3599.ini", path);
    EXPECT_FALSE(FormatTransponderFilePath(3600, path, sizeof path));
    EXPECT_FALSE(FormatTransponderFilePath(0xFFFFFFFFu, path, sizeof path));
    EXPECT_STREQ("", path);
    char shortPath[21];
    EXPECT_FALSE(FormatTransponderFilePath(192, shortPath, sizeof shortPath));

    char listed[TRANSPONDER_PATH_SIZE + 20];
    std::string name242(242, 'x'), name243(243, 'x');
    EXPECT_TRUE(FormatListedFilePath(name242.c_str(), listed, sizeof listed));
    EXPECT_EQ(255u, strlen(listed));
    EXPECT_FALSE(FormatListedFilePath(name243.c_str(), listed, sizeof listed));
    EXPECT_STREQ("", listed);
    EXPECT_TRUE(FormatListedFilePath("0130.ini", listed, sizeof listed));
    EXPECT_STREQ("Transponders\\0130.ini", listed);
}

#ifdef ORVALIS_SOURCE_DIR
// Every shipped file lists under its own key with a whole name, and every
// entry is a transponder text the red button accepts.
TEST(ShippedFiles, ReadAsTheProgramReadsThem) {
    namespace fs = std::filesystem;
    fs::path folder = fs::path(ORVALIS_SOURCE_DIR) / "Transponders";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".ini") files.push_back(e.path());
    EXPECT_GE(files.size(), 100u);
    EXPECT_LE(files.size(), (size_t)SATELLITE_FILES_MAX);

    size_t total = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        std::ifstream in(path, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string fileName = path.filename().string();
        ASSERT_TRUE(IsTransponderFileName(fileName.c_str()));
        uint32_t key = (uint32_t)PositionKeyFromFileName(fileName.c_str());
        char loadPath[LOAD_PATH_SIZE];
        ASSERT_TRUE(FormatTransponderFilePath(key, loadPath, sizeof loadPath));
        EXPECT_EQ("Transponders\\" + fileName, loadPath);

        for (size_t i = 0; i < data.size(); ++i)  // CR LF line ends, single-byte text
            ASSERT_TRUE(data[i] == '\n' ? i > 0 && data[i - 1] == '\r'
                                        : data[i] == '\r' ? i + 1 < data.size() && data[i + 1] == '\n'
                                                          : (unsigned char)data[i] >= 0x20 &&
                                                                (unsigned char)data[i] < 0x7F)
                << "byte " << i;

        char name[SATELLITE_NAME_SIZE];
        size_t nameLength = ParseSatelliteName(data.data(), data.size(), name, sizeof name);
        EXPECT_GT(nameLength, 0u);
        std::string label = Label(key, name, 0);
        EXPECT_EQ(std::string::npos, label.find("...")) << label;  // whole name shown

        size_t countAt = 0;
        ASSERT_TRUE(FindAfterEquals(data.data(), data.size(), 3, &countAt));
        long count = strtol(data.c_str() + countAt, nullptr, 10);
        std::vector<std::string> entries = Entries(data);
        EXPECT_EQ((size_t)count, entries.size());
        EXPECT_GT(entries.size(), 0u);
        EXPECT_LE(entries.size(), 999u);
        uint32_t previous = 0;
        for (const std::string& e : entries) {
            TransponderValues values = {};
            ASSERT_EQ(0, ParseTransponderText(e.c_str(), &values)) << e;
            EXPECT_EQ(values.frequency, TransponderEntryFrequency(e.c_str())) << e;
            EXPECT_GE(values.frequency, previous) << e;  // sorted by frequency
            previous = values.frequency;
        }
        total += entries.size();
    }
    EXPECT_GE(total, 1000u);

    // Positions a user looks for first.
    for (const char* known : {"0192.ini", "0130.ini", "0282.ini", "3300.ini"})
        EXPECT_TRUE(fs::exists(folder / known)) << known;
}
#endif
