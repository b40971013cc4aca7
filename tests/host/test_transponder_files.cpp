// The transponder files as the lists read them and the editor writes them. That no bytes
// overrun anything and a rewrite reads back as written, the fuzzer holds; that the
// shipped files read whole, the e2e dish test sees in the card's sky.
#include "transponders/transponder_files.h"
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>

using List = std::vector<std::string>;

static std::string Label(uint32_t key, const std::string& name, int sortByName) {
    char label[SATELLITE_LABEL_SIZE];
    size_t length = FormatSatelliteLabel(key, name.c_str(), sortByName, label, sizeof label);
    EXPECT_EQ(strlen(label), length);
    return label;
}

static std::string Name(const std::string& file) {
    char name[SATELLITE_NAME_SIZE];
    ParseSatelliteName(file.data(), file.size(), name, sizeof name);
    return name;
}

static List Entries(const std::string& file) {
    TransponderEntryScan scan;
    StartTransponderEntryScan(file.data(), file.size(), &scan);
    List entries;
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) entries.push_back(entry);
    return entries;
}

static const std::string HEADER = "[SATTYPE]\r\n1=0192\r\n2=Astra 1KR/1L\r\n\r\n[DVB]\r\n0=2\r\n";

TEST(SatelliteLabel, ByPositionAndByNameAndCutToFit) {
    EXPECT_EQ("  5.0e - Sirius ", Label(50, "Sirius", 0));
    EXPECT_EQ("180.0e - X ", Label(1800, "X", 0));
    EXPECT_EQ("  0.1w - X ", Label(3599, "X", 0));
    EXPECT_EQ("  0.0e -  ", Label(0, "", 0));  // a file without a name is still listed
    // By position the name has 127 - 9 - 1 = 117 characters, by name 127 - 7 = 120.
    const std::string n(121, 'n');
    EXPECT_EQ(" 19.2e - " + n.substr(4) + " ", Label(192, n.substr(4), 0));
    EXPECT_EQ(" 19.2e - " + n.substr(7) + "... ", Label(192, n.substr(3), 0));
    EXPECT_EQ(n.substr(4) + "...  30.0w", Label(3300, n, 1));
}

TEST(SatelliteName, FromTheSecondEquals) {
    EXPECT_EQ("Astra 1KR/1L", Name(HEADER));
    EXPECT_EQ("Name", Name("1=0130\r\n2=Name"));             // no line end: to the end
    EXPECT_EQ("A", Name("1=0\r\n2=A=B\r\n0=1\r\n1=x\r\n"));  // a 3rd '=' ends it
    EXPECT_EQ("a?b?c", Name(std::string("1=0\r\n2=a\tb\0c\r\n", 15)));
}

TEST(TransponderEntries, ReadAndComparedAsTheListDoes) {
    // Keys are not read; only what follows a '=' on the line is kept.
    EXPECT_EQ((List{"10729,V,22000", "11778 V 27500", "ab"}),
              Entries(HEADER + "1=10729,V,22000\r\n0002=11778 V 27500\r\nkey=a=b\r\n"));
    // A blank line or one without '=' adds an empty entry; a last line without CR none.
    EXPECT_EQ((List{"12000,H,27500", "", ""}), Entries(HEADER + "1=12000,H,27500\r\n\r\nno equals\r\n3=12100,V,27500"));
    // Section headings and blank lines before the 4th '=' are passed over.
    EXPECT_EQ((List{"3400,H,1000"}), Entries("1=1\r\n\r\n[a]\r\n2=n\r\n\r\n[b]\r\n\r\n0=1\r\n1=3400,H,1000\r\n"));
    // The buffer wraps every 23 characters.
    const std::string a(22, 'a'), b(23, 'b'), c = b + "c", d(46, 'd'), e = d + "tail";
    EXPECT_EQ((List{a, "", "c", "", "tail"}),
              Entries(HEADER + "1=" + a + "\r\n2=" + b + "\r\n3=" + c + "\r\n4=" + d + "\r\n5=" + e + "\r"));
    EXPECT_EQ(10744000u, TransponderEntryFrequency("10744,H,22000"));
    EXPECT_EQ(15000u, TransponderEntryFrequency("15000 H 27500"));  // never 15,000,000
    EXPECT_EQ(11719500u, TransponderEntryFrequency(" 11719500,H,27500"));
    EXPECT_EQ(0u, TransponderEntryFrequency("V 27500"));
    EXPECT_EQ((uint32_t)INT32_MAX, TransponderEntryFrequency("99999999999"));
}

static std::string Rewrite(const std::string& old, const List& entries) {
    std::vector<const char*> texts;
    for (const std::string& e : entries) texts.push_back(e.c_str());
    std::string out(TransponderFileBound(old.size(), texts.size()), '\0');
    out.resize(BuildTransponderFile(old.data(), old.size(), 192, texts.data(), texts.size(), out.data(), out.size()));
    return out;
}

// The rewrite keeps the bytes through the 3rd '=', renumbers, and adds a missing header.
TEST(TransponderRewrite, KeepsTheHeaderAndNumbersFromOne) {
    const std::string kept = HEADER.substr(0, HEADER.size() - 3), longest = "12345678901234567890ab";
    const List two = {"11778 V 27500", longest};
    const std::string cases[][2] = {
        {HEADER + "1=10744,H,22000\r\n2=10758,V,22000\r\n", kept},
        {"[DVB]\r\n1=0\r\n2=N\r\n0003=9\r\n0001=a\r\n", "[DVB]\r\n1=0\r\n2=N\r\n0003="},
        {"", "[SATTYPE]\r\n1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"notes", "notes\r\n[SATTYPE]\r\n1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"1=0192\r\n", "1=0192\r\n2=\r\n[DVB]\r\n0="},
        {"1=0192\r\n2=Astra", "1=0192\r\n2=Astra\r\n[DVB]\r\n0="},
    };
    for (const auto& [old, start] : cases)
        EXPECT_EQ(start + "2\r\n1=11778 V 27500\r\n2=" + longest + "\r\n", Rewrite(old, two)) << old;
    EXPECT_EQ(kept + "0\r\n", Rewrite(HEADER, {}));
    List full(999, "11778 V 27500");
    EXPECT_EQ(full, Entries(Rewrite(HEADER, full)));
    full.push_back("11778 V 27500");
    EXPECT_EQ("", Rewrite(HEADER, full));  // 1000 cannot be numbered in three digits
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
    EXPECT_EQ((List{"12000,H,27500"}), Entries("1=0192\r\n2=Name\r\n1=11778,V,27500\r\n2=12000,H,27500\r\n"));
    // CR-only and LF-only line ends give their name and entries too.
    for (const std::string end : {"\r", "\n"}) {
        std::string file = "[SATTYPE]" + end + "1=0192" + end + "2=Old" + end + "[DVB]" + end + "0=2" + end +
                           "1=10744,H,22000" + end + "2=10758,V,22000" + end;
        EXPECT_EQ("Old", Name(file));
        EXPECT_EQ((List{"10744,H,22000", "10758,V,22000"}), Entries(file));
    }
}

TEST(FileNames, FourDigitKeysOnly) {
    EXPECT_TRUE(IsTransponderFileName("0000.INI"));
    for (const char* name : {"3600.ini", "192.ini", "00192.ini", "0192.ini.bak", "-192.ini", "Astra.ini", ""})
        EXPECT_FALSE(IsTransponderFileName(name)) << name;
}
