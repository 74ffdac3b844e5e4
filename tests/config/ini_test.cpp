// The INI reader on files with every kind of section, key and value line, and on hostile files.
#include "config/ini.h"

#include <cstring>
#include <sstream>

#include "config/config_fixture.h"

const char* const kFile = "test.ini";

using Ini = ScratchDir;

// The value of a key, or "<default>" when it is not found.
static std::string get(const char* section, const char* key) {
    char buf[1024];
    ini_get_string(section, key, "<default>", buf, sizeof buf, kFile);
    return buf;
}

TEST_F(Ini, SectionsKeysAndValues) {
    write("top=0\n[engine]\nHashSize=1\nHashSize=2\nColon: 2\nboth:x=3\n;Commented=4\n"
          "  # Hashed=5\nNoSeparator 6\nHash=7\n  Spaced Key  \t=  8 \r\n"
          "plain=42 ; the answer\nnospace=42# no blank needed\nempty=\ninner=a  b\n"
          "quoted=\"a;b#c\"\nquotedBlanks=\"  x  \"   ; comment\ndoubled=\"say \"\"hi\"\"\"\n"
          "escaped=\"say \\\"hi\\\"\"\npartQuoted=a\";\"b ; cut\nopen=\"a;b\n"
          "highBytes=value\xC3\xA9\xFF\nmidHigh=caf\xC3\xA9s\n\xEF\xBB\xBFnext=9\n"
          "[ BOOK ]\nb=2\n[Time]\nc=3\n[TABLEBASE\nd=4\n[ENGINE]\nThread=4\nlast=end",
          kFile);
    // Rows of [ENGINE] "key=value", or the key alone when it is not found: the first key wins and
    // names ignore case; '=' is the separator when there is one; whole names only; quotes that do
    // not enclose the whole value stay; bytes above 127 are blanks at the ends only; only the
    // first block of a section is read.
    std::stringstream rows("hashsize=1|colon=2|both:x=3|both|Commented|Hashed|NoSeparator|Hash=7|"
                           "HashS|Spaced Key=8|plain=42|nospace=42|empty=|inner=a  b|quoted=a;b#c|"
                           "quotedBlanks=  x  |doubled=say \"hi\"|escaped=say \"hi\"|"
                           "partQuoted=a\";\"b|open=\"a;b|highBytes=value|midHigh=caf\xC3\xA9s|"
                           "next=9|Thread|top");
    for (std::string row; std::getline(rows, row, '|');) {
        const size_t eq = row.find('=');
        const std::string key = row.substr(0, eq);
        EXPECT_EQ(eq == std::string::npos ? "<default>" : row.substr(eq + 1),
                  get("ENGINE", key.c_str()))
            << row;
    }
    // Blanks inside the brackets belong to the name; a '[' without ']' ends the section before
    // it but is no header.
    EXPECT_EQ("0", get("", "top"));
    EXPECT_EQ("2", get(" BOOK ", "b"));
    for (const auto& [section, key] :
         {std::pair{"BOOK", "b"}, {"TIME", "d"}, {"TABLEBASE", "d"}, {"ENGIN", "HashSize"}})
        EXPECT_EQ("<default>", get(section, key)) << section << " / " << key;
    // The destination is cut and terminated; no key, no buffer or no room writes nothing.
    char buf[8];
    EXPECT_EQ(4, ini_get_string("ENGINE", "inner", "dflt", buf, 5, kFile));
    EXPECT_STREQ("a  b", buf);
    EXPECT_EQ(3, ini_get_string("ENGINE", "doubled", "", buf, 4, kFile));
    EXPECT_STREQ("say", buf);
    EXPECT_EQ(7, ini_get_string("T", "k", "default text", buf, sizeof buf, kFile));
    EXPECT_EQ(4, ini_get_string("S", "k", "dflt", buf, sizeof buf, "missing.ini"));
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(0, ini_get_string("S", "key", "dflt", buf, 0, kFile));
    EXPECT_EQ(0, ini_get_string("S", nullptr, "dflt", buf, sizeof buf, kFile));
    EXPECT_EQ('#', buf[0]);
}

TEST_F(Ini, NumbersAndBooleans) {
    write("[N]\ndec=123\nneg=-45\nhex=0x20\nhexUpper=0X1f\ntrailing=12abc\nwords=abc\nempty=\n"
          "quoted=\"77\"\nbig=99999999999999999999999\nsmall=-99999999999999999999999\n"
          "over=2147483648\n[B]\na=yes\nb=T\nc=1\nd=\"yes\"\ne=no\nf=F\ng=0\nh=0x1\ni=maybe\nj=\n",
          kFile);
    const std::pair<const char*, int32_t> numbers[] = {
        {"dec", 123},       {"neg", -45},         {"hex", 32},         {"hexUpper", 31},
        {"trailing", 12},   {"words", 0},         {"empty", -1},       {"quoted", 77},
        {"big", INT32_MAX}, {"small", INT32_MIN}, {"over", INT32_MAX}, {"missing", -1}};
    for (const auto& [key, value] : numbers)
        EXPECT_EQ(value, ini_get_long("N", key, -1, kFile)) << key;
    // 1, T, Y on; 0, F, N off, from the first letter; anything else keeps the default (-1).
    const std::pair<const char*, int> booleans[] = {{"a", 1},  {"b", 1},  {"c", 1},       {"d", 1},
                                                    {"e", 0},  {"f", 0},  {"g", 0},       {"h", 0},
                                                    {"i", -1}, {"j", -1}, {"missing", -1}};
    for (const auto& [key, value] : booleans) {
        EXPECT_EQ(value < 0 ? 0 : value, ini_get_bool("B", key, 0, kFile)) << key;
        EXPECT_EQ(value < 0 ? 1 : value, ini_get_bool("B", key, 1, kFile)) << key;
    }
    write("[N]\ndec=5\n", kFile); // every call reads the file again
    EXPECT_EQ(5, ini_get_long("N", "dec", -1, kFile));
}

TEST_F(Ini, LongLinesAndFilesThatNeverEnd) {
    // Lines are read in pieces of 511 bytes: what follows a 511-byte comment is a line of its own,
    // a long value keeps what fits in its first piece, and a zero byte ends its piece.
    write("[S]\n;" + std::string(510, 'c') + "hidden=1\n;" + std::string(509, 'c') + "visible=2\n" +
              "long=" + std::string(1000, 'v') + "\n" + std::string(100000, 'x') +
              "\nafter=3\nzero" + '\0' + "=4\n",
          kFile);
    EXPECT_EQ("1", get("S", "hidden"));
    for (const char* key : {"visible", "zero"}) EXPECT_EQ("<default>", get("S", key)) << key;
    EXPECT_EQ(std::string(506, 'v'), get("S", "long"));
    EXPECT_EQ("3", get("S", "after"));
    // Reading stops after INI_MAX_BYTES: a file that never ends gives the defaults at once.
    std::filesystem::remove(kFile);
    std::filesystem::create_symlink("/dev/zero", kFile);
    EXPECT_EQ(7, ini_get_long("S", "k", 7, kFile));
}
