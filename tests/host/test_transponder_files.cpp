// The transponder files as ListSatellites and LoadTransponderList read them:
// names, labels, entries, and what damaged files give.
#include "transponders/transponder_files.h"
#include "tuner/transponder_text.h"
#include <gtest/gtest.h>
#include <algorithm>
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

TEST(SatelliteLabel, ByPositionAndByNameAndCutToFit) {
    EXPECT_EQ(" 19.2e - B ", Label(192, "B", 0));
    EXPECT_EQ("C  30.0w", Label(3300, "C", 1));
    EXPECT_EQ("  5.0e - Sirius ", Label(50, "Sirius", 0));
    EXPECT_EQ("180.0e - X ", Label(1800, "X", 0));
    EXPECT_EQ("  0.1w - X ", Label(3599, "X", 0));
    EXPECT_EQ("  0.0e -  ", Label(0, "", 0));  // a file without a name is still listed
    // By position the name has 127 - 9 - 1 = 117 characters, by name 127 - 7 = 120.
    EXPECT_EQ(" 19.2e - " + std::string(117, 'n') + " ", Label(192, std::string(117, 'n').c_str(), 0));
    EXPECT_EQ(" 19.2e - " + std::string(114, 'n') + "... ", Label(192, std::string(118, 'n').c_str(), 0));
    EXPECT_EQ(std::string(117, 'n') + "...  30.0w", Label(3300, std::string(121, 'n').c_str(), 1));
    // A small buffer cuts the name further; one too small for the position gives nothing.
    char small[16];
    EXPECT_EQ(15u, FormatSatelliteLabel(192, "Astra 1KR/1L/1M", 0, small, sizeof small));
    EXPECT_STREQ(" 19.2e - As... ", small);
    EXPECT_EQ(0u, FormatSatelliteLabel(192, "A", 0, small, 9));
}

TEST(SatelliteName, FromTheSecondEquals) {
    EXPECT_EQ("Astra 1KR/1L", Name(HEADER));
    EXPECT_EQ("Name", Name("1=0130\r\n2=Name"));               // no line end: to the end
    EXPECT_EQ("A", Name("1=0\r\n2=A=B\r\n0=1\r\n1=x\r\n"));    // a 3rd '=' ends it
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
    EXPECT_EQ(15000u, TransponderEntryFrequency("15000 H 27500"));  // never 15,000,000
    EXPECT_EQ(11719500u, TransponderEntryFrequency(" 11719500,H,27500"));
    EXPECT_EQ(0u, TransponderEntryFrequency("V 27500"));
    EXPECT_EQ((uint32_t)INT32_MAX, TransponderEntryFrequency("99999999999"));
}

static std::string Rewrite(const std::string& old, const std::vector<std::string>& entries) {
    std::vector<const char*> texts;
    for (const std::string& e : entries) texts.push_back(e.c_str());
    std::string out(TransponderFileBound(old.size(), texts.size()), '\0');
    out.resize(BuildTransponderFile(old.data(), old.size(), 192, texts.data(), texts.size(),
                                    out.data(), out.size()));
    return out;
}

// The rewrite keeps the bytes through the 3rd '=', renumbers from 1, gives a
// file without a header one of its own, and reads back as the list it wrote.
TEST(TransponderRewrite, KeepsTheHeaderAndReadsBack) {
    const std::vector<std::string> two = {"11778 V 27500", "12345678901234567890ab"};
    const struct {
        std::string old, expectedStart;
    } cases[] = {
        {HEADER + "1=10744,H,22000\r\n2=10758,V,22000\r\n", HEADER.substr(0, HEADER.size() - 3)},
        {"[DVB]\r\n1=0\r\n2=N\r\n0003=9\r\n0001=a\r\n", "[DVB]\r\n1=0\r\n2=N\r\n0003="},
        {"", "[SATTYPE]\r\n1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"notes", "notes\r\n[SATTYPE]\r\n1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"1=0192\r\n", "1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"1=0192\r\n2=Astra", "1=0192\r\n2=Astra\r\n[DVB]\r\n0="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.old);
        std::string file = Rewrite(c.old, two);
        EXPECT_EQ(c.expectedStart + "2\r\n1=11778 V 27500\r\n2=12345678901234567890ab\r\n", file);
        EXPECT_EQ(two, Entries(file));
        if (std::count(c.old.begin(), c.old.end(), '=') >= 2) {
            EXPECT_EQ(Name(c.old), Name(file));
        }
    }
    EXPECT_EQ(HEADER.substr(0, HEADER.size() - 3) + "0\r\n", Rewrite(HEADER, {}));
    std::vector<std::string> full(999, "11778 V 27500");
    EXPECT_EQ(full, Entries(Rewrite(HEADER, full)));
    full.push_back("11778 V 27500");
    EXPECT_EQ("", Rewrite(HEADER, full));  // 1000 cannot be numbered in three digits
    char small[16];
    const char* one[] = {"11778 V 27500"};
    EXPECT_EQ(0u, BuildTransponderFile(HEADER.data(), HEADER.size(), 192, one, 1, small, sizeof small));
}

TEST(DamagedFiles, GiveWhatCanBeReadAndNothingElse) {
    char name[SATELLITE_NAME_SIZE] = "x";
    EXPECT_EQ(0u, ParseSatelliteName(nullptr, 0, name, sizeof name));
    EXPECT_STREQ("", name);
    EXPECT_TRUE(Entries("").empty());
    // No '=' at all, or too few: no name or no entries, never header pieces.
    EXPECT_EQ("", Name("just text\r\nmore\r\n"));
    EXPECT_EQ("", Name("1=0192\r\nAstra\r\n"));
    EXPECT_TRUE(Entries("[SATTYPE]\r\n1=0192\r\n2=Emptied\r\n[DVB]\r\n0=0\r\n").empty());
    // No count line: the first entry's line stands where the count stands.
    EXPECT_EQ((std::vector<std::string>{"12000,H,27500"}),
              Entries("1=0192\r\n2=Name\r\n1=11778,V,27500\r\n2=12000,H,27500\r\n"));
    // CR-only and LF-only line ends give their name and entries too.
    for (const char* end : {"\r", "\n"}) {
        std::string file = std::string("[SATTYPE]") + end + "1=0192" + end + "2=Old" + end + "[DVB]" + end +
                           "0=2" + end + "1=10744,H,22000" + end + "2=10758,V,22000" + end;
        EXPECT_EQ("Old", Name(file));
        EXPECT_EQ((std::vector<std::string>{"10744,H,22000", "10758,V,22000"}), Entries(file));
    }
    // A name line of 10,000 characters: the start of it, and the entries after it.
    std::string huge = "1=0192\r\n2=" + std::string(10000, 'N') + "\r\n0=1\r\n1=11778 V 27500\r\n";
    EXPECT_EQ(std::string(SATELLITE_NAME_SIZE - 1, 'N'), Name(huge));
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
    EXPECT_TRUE(IsTransponderFileName("0000.INI"));
    for (const char* name : {"3600.ini", "192.ini", "00192.ini", "0192.ini.bak", "-192.ini", "Astra.ini", ""})
        EXPECT_FALSE(IsTransponderFileName(name)) << name;
    char path[LOAD_PATH_SIZE];
    EXPECT_TRUE(FormatTransponderFilePath(3599, path, sizeof path));
    EXPECT_STREQ("Transponders\\3599.ini", path);
    EXPECT_FALSE(FormatTransponderFilePath(3600, path, sizeof path));
    EXPECT_STREQ("", path);
    char listed[TRANSPONDER_PATH_SIZE + 20];
    EXPECT_TRUE(FormatListedFilePath(std::string(242, 'x').c_str(), listed, sizeof listed));
    EXPECT_EQ(255u, strlen(listed));
    EXPECT_FALSE(FormatListedFilePath(std::string(243, 'x').c_str(), listed, sizeof listed));
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
}
#endif
