#include "config/ini.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const kFile = "test.ini";

// Runs each test in a fresh temporary directory; the previous working directory is restored and
// the directory removed afterwards, whether or not the test passed.
class IniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        old_dir_ = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "brontavel-ini-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        dir_ = pattern;
        ASSERT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        std::error_code ec;
        fs::current_path(old_dir_, ec);
        EXPECT_FALSE(ec) << "cannot return to " << old_dir_;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    static void write(const std::string& text, const char* name = kFile) {
        std::ofstream(name, std::ios::binary) << text;
    }

    // The value of a key read with a roomy buffer, or "<default>" when it is not found.
    static std::string get(const char* section, const char* key, const char* name = kFile) {
        char buf[1024];
        ini_get_string(section, key, "<default>", buf, sizeof buf, name);
        return buf;
    }

  private:
    fs::path old_dir_;
    std::string dir_;
};

TEST_F(IniTest, SectionsAreFoundByNameIgnoringCase) {
    write("top=0\n"
          "[engine]\n"
          "a=1\n"
          "[ BOOK ]\n"
          "b=2\n"
          "[Time]\n"
          "c=3\n"
          "[TABLEBASE\n"
          "d=4\n"
          "[]\n"
          "e=5\n");
    EXPECT_EQ("1", get("ENGINE", "a"));
    EXPECT_EQ("3", get("TIME", "c"));
    EXPECT_EQ("3", get("time", "c"));
    // Blanks inside the brackets belong to the name.
    EXPECT_EQ("<default>", get("BOOK", "b"));
    EXPECT_EQ("2", get(" BOOK ", "b"));
    // A '[' without ']' is no header, so the section is never found...
    EXPECT_EQ("<default>", get("TABLEBASE", "d"));
    // ...but it still ends the section before it.
    EXPECT_EQ("<default>", get("TIME", "d"));
    // A name is matched over its whole length, not as a prefix.
    EXPECT_EQ("<default>", get("ENGIN", "a"));
    EXPECT_EQ("<default>", get("ENGINES", "a"));
    EXPECT_EQ("<default>", get("MISSING", "a"));
    // No section, or an empty one: only the keys before the first header.
    EXPECT_EQ("0", get(nullptr, "top"));
    EXPECT_EQ("0", get("", "top"));
    EXPECT_EQ("<default>", get("", "a"));
    EXPECT_EQ("<default>", get("ENGINE", "top"));
}

TEST_F(IniTest, KeysEndAtTheNextHeaderAndTheFirstHeaderAndKeyWin) {
    write("[ENGINE]\n"
          "HashSize=1\n"
          "HashSize=2\n"
          "[BOOK]\n"
          "Thread=3\n"
          "[ENGINE]\n"
          "Thread=4\n");
    EXPECT_EQ("1", get("ENGINE", "HashSize"));
    // Only the first ENGINE block is searched.
    EXPECT_EQ("<default>", get("ENGINE", "Thread"));
    EXPECT_EQ("3", get("BOOK", "Thread"));
    // A blank line before a header is still a header line.
    write("[ENGINE]\n  \t[BOOK]\nThread=3\n");
    EXPECT_EQ("<default>", get("ENGINE", "Thread"));
}

TEST_F(IniTest, KeyLines) {
    write("[S]\n"
          "hashsize=1\n"
          "Colon: 2\n"
          "both:x=3\n"
          ";Commented=4\n"
          "  # Hashed=5\n"
          "NoSeparator 6\n"
          "Hash=7\n"
          "  Spaced Key  \t=  8 \n"
          "Comment=9\n");
    EXPECT_EQ("1", get("S", "HASHSIZE"));
    EXPECT_EQ("2", get("S", "colon"));
    // '=' is the separator when there is one, even after a ':'.
    EXPECT_EQ("3", get("S", "both:x"));
    EXPECT_EQ("<default>", get("S", "both"));
    EXPECT_EQ("<default>", get("S", "Commented"));
    EXPECT_EQ("<default>", get("S", "Hashed"));
    EXPECT_EQ("<default>", get("S", "NoSeparator"));
    EXPECT_EQ("<default>", get("S", "NoSeparator 6"));
    // Equal length is required: Hash does not match HashSize nor the other way round.
    EXPECT_EQ("7", get("S", "Hash"));
    EXPECT_EQ("<default>", get("S", "HashS"));
    EXPECT_EQ("8", get("S", "Spaced Key"));
    EXPECT_EQ("9", get("S", "comment"));
}

TEST_F(IniTest, ValuesLoseCommentsBlanksAndEnclosingQuotes) {
    write("[V]\n"
          "plain=42 ; the answer\n"
          "hashed=42# no blank needed\n"
          "startsWithComment=# nothing\n"
          "startsWithSemicolon=;\n"
          "empty=\n"
          "blanks=   \t \n"
          "inner=a  b\n"
          "quoted=\"a;b#c\"\n"
          "quotedBlanks=\"  x  \"   ; comment\n"
          "doubled=\"say \"\"hi\"\"\"\n"
          "escaped=\"say \\\"hi\\\"\"\n"
          "partQuoted=a\";\"b ; cut here\n"
          "lone=\"\n"
          "emptyQuotes=\"\"\n"
          "open=\"a;b\n"
          "backslash=C:\\tables\\\n"
          "highBytes=value\xC3\xA9\xFF\n"
          "midHigh=caf\xC3\xA9s\n");
    EXPECT_EQ("42", get("V", "plain"));
    EXPECT_EQ("42", get("V", "hashed"));
    EXPECT_EQ("", get("V", "startsWithComment"));
    EXPECT_EQ("", get("V", "startsWithSemicolon"));
    EXPECT_EQ("", get("V", "empty"));
    EXPECT_EQ("", get("V", "blanks"));
    EXPECT_EQ("a  b", get("V", "inner"));
    EXPECT_EQ("a;b#c", get("V", "quoted"));
    EXPECT_EQ("  x  ", get("V", "quotedBlanks"));
    EXPECT_EQ("say \"hi\"", get("V", "doubled"));
    EXPECT_EQ("say \"hi\"", get("V", "escaped"));
    // Quotes that do not enclose the whole value stay, but still protect a ';'.
    EXPECT_EQ("a\";\"b", get("V", "partQuoted"));
    EXPECT_EQ("\"", get("V", "lone"));
    EXPECT_EQ("", get("V", "emptyQuotes"));
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ("\"a;b", get("V", "open"));
    EXPECT_EQ("C:\\tables\\", get("V", "backslash"));
    // Bytes above 127 count as blanks at the end of a value, not inside it.
    EXPECT_EQ("value", get("V", "highBytes"));
    EXPECT_EQ("caf\xC3\xA9s", get("V", "midHigh"));
}

TEST_F(IniTest, CarriageReturnLineEnds) {
    write("; settings\r\n"
          "[engine]\r\n"
          "HashSize = 100\r\n"
          "Name=\"quoted\"\r\n"
          "Empty=\r\n"
          "Last=end");
    EXPECT_EQ("100", get("ENGINE", "HashSize"));
    EXPECT_EQ(100, ini_get_long("ENGINE", "HashSize", 0, kFile));
    EXPECT_EQ("quoted", get("ENGINE", "Name"));
    EXPECT_EQ("", get("ENGINE", "Empty"));
    EXPECT_EQ(7, ini_get_long("ENGINE", "Empty", 7, kFile));
    // The last line needs no line end at all.
    EXPECT_EQ("end", get("ENGINE", "Last"));
}

TEST_F(IniTest, StringBufferAndDefaults) {
    write("[S]\nkey=abcdefghij\nquoted=\"a\"\"b\"\"c\"\n");
    char buf[8];

    // Cut to size - 1 and terminated; the result is the length kept.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(4, ini_get_string("S", "key", "dflt", buf, 5, kFile));
    EXPECT_STREQ("abcd", buf);
    EXPECT_EQ('#', buf[5]);
    EXPECT_EQ(0, ini_get_string("S", "key", "dflt", buf, 1, kFile));
    EXPECT_STREQ("", buf);
    // Unquoting counts the characters it produces.
    EXPECT_EQ(3, ini_get_string("S", "quoted", "", buf, 4, kFile));
    EXPECT_STREQ("a\"b", buf);

    // Refused arguments: nothing is written.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(0, ini_get_string("S", "key", "dflt", buf, 0, kFile));
    EXPECT_EQ(0, ini_get_string("S", "key", "dflt", buf, -1, kFile));
    EXPECT_EQ(0, ini_get_string("S", nullptr, "dflt", buf, sizeof buf, kFile));
    EXPECT_EQ(0, ini_get_string("S", "key", "dflt", nullptr, sizeof buf, kFile));
    EXPECT_EQ('#', buf[0]);

    // Defaults: missing key, section or file, cut the same way; no default reads as "".
    EXPECT_EQ(4, ini_get_string("S", "none", "dflt", buf, sizeof buf, kFile));
    EXPECT_STREQ("dflt", buf);
    EXPECT_EQ(7, ini_get_string("T", "key", "default text", buf, sizeof buf, kFile));
    EXPECT_STREQ("default", buf);
    EXPECT_EQ(4, ini_get_string("S", "key", "dflt", buf, sizeof buf, "missing.ini"));
    EXPECT_STREQ("dflt", buf);
    EXPECT_EQ(4, ini_get_string("S", "key", "dflt", buf, sizeof buf, nullptr));
    EXPECT_EQ(0, ini_get_string("S", "none", nullptr, buf, sizeof buf, kFile));
    EXPECT_STREQ("", buf);
    // A directory cannot be read as a settings file.
    fs::create_directory("dir.ini");
    EXPECT_EQ(4, ini_get_string("S", "key", "dflt", buf, sizeof buf, "dir.ini"));

    // The destination may hold the default itself.
    char same[16] = "keep me";
    EXPECT_EQ(7, ini_get_string("S", "none", same, same, sizeof same, kFile));
    EXPECT_STREQ("keep me", same);
    EXPECT_EQ(3, ini_get_string("S", "none", same + 4, same, sizeof same, kFile));
    EXPECT_STREQ(" me", same);
}

TEST_F(IniTest, Integers) {
    write("[N]\n"
          "dec=123\n"
          "neg=-45\n"
          "plus=+6\n"
          "hex=0x20\n"
          "hexUpper=0X1f\n"
          "bareX=1x10\n"
          "onlyPrefix=0x\n"
          "hexJunk=0xzz\n"
          "trailing=12abc\n"
          "words=abc\n"
          "empty=\n"
          "comment=# 5\n"
          "quoted=\"77\"\n"
          "big=99999999999999999999999\n"
          "small=-99999999999999999999999\n"
          "bigHex=0xFFFFFFFFFF\n"
          "limit=2147483647\n"
          "over=2147483648\n"
          "long=" +
          std::string(100, '9') +
          "\n"
          "leadingZeros=000000000000000000000000000000000000000000000000000000000000000042\n");
    EXPECT_EQ(123, ini_get_long("N", "dec", -1, kFile));
    EXPECT_EQ(-45, ini_get_long("N", "neg", -1, kFile));
    EXPECT_EQ(6, ini_get_long("N", "plus", -1, kFile));
    EXPECT_EQ(32, ini_get_long("N", "hex", -1, kFile));
    EXPECT_EQ(31, ini_get_long("N", "hexUpper", -1, kFile));
    // Any second character 'x' selects base 16; conversion stops at the 'x'.
    EXPECT_EQ(1, ini_get_long("N", "bareX", -1, kFile));
    EXPECT_EQ(0, ini_get_long("N", "onlyPrefix", -1, kFile));
    EXPECT_EQ(0, ini_get_long("N", "hexJunk", -1, kFile));
    EXPECT_EQ(12, ini_get_long("N", "trailing", -1, kFile));
    EXPECT_EQ(0, ini_get_long("N", "words", -1, kFile));
    EXPECT_EQ(-1, ini_get_long("N", "empty", -1, kFile));
    EXPECT_EQ(-1, ini_get_long("N", "comment", -1, kFile));
    EXPECT_EQ(-1, ini_get_long("N", "missing", -1, kFile));
    EXPECT_EQ(-1, ini_get_long("N", "dec", -1, "missing.ini"));
    EXPECT_EQ(77, ini_get_long("N", "quoted", -1, kFile));
    // Out of the 32-bit range: saturated.
    EXPECT_EQ(INT32_MAX, ini_get_long("N", "big", -1, kFile));
    EXPECT_EQ(INT32_MIN, ini_get_long("N", "small", -1, kFile));
    EXPECT_EQ(INT32_MAX, ini_get_long("N", "bigHex", -1, kFile));
    EXPECT_EQ(INT32_MAX, ini_get_long("N", "limit", -1, kFile));
    EXPECT_EQ(INT32_MAX, ini_get_long("N", "over", -1, kFile));
    EXPECT_EQ(INT32_MAX, ini_get_long("N", "long", -1, kFile));
    // Only the first 63 characters are read: the 42 is cut off.
    EXPECT_EQ(0, ini_get_long("N", "leadingZeros", -1, kFile));
}

TEST_F(IniTest, BooleansFromTheFirstCharacter) {
    write("[B]\n"
          "a=yes\nb=Y\nc=true\nd=T\ne=1\nf=\"yes\"\ng=10\n"
          "h=no\ni=N\nj=false\nk=F\nl=0\nm=0x1\n"
          "n=2\no=maybe\np=\nq=; off\nr=\xFFyes\ns= \t on\n");
    // Bytes above 127 after the separator are skipped like blanks: r reads as yes.
    for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "r"}) {
        EXPECT_EQ(1, ini_get_bool("B", key, 0, kFile)) << key;
    }
    for (const char* key : {"h", "i", "j", "k", "l", "m"}) {
        EXPECT_EQ(0, ini_get_bool("B", key, 1, kFile)) << key;
    }
    // Anything else keeps the default, given as 1 or 0.
    for (const char* key : {"n", "o", "p", "q", "s", "missing"}) {
        EXPECT_EQ(1, ini_get_bool("B", key, 1, kFile)) << key;
        EXPECT_EQ(0, ini_get_bool("B", key, 0, kFile)) << key;
        EXPECT_EQ(1, ini_get_bool("B", key, 5, kFile)) << key;
    }
    EXPECT_EQ(1, ini_get_bool("B", "h", 1, "missing.ini"));
}

TEST_F(IniTest, EveryCallRereadsTheFile) {
    write("[S]\nk=1\n");
    EXPECT_EQ(1, ini_get_long("S", "k", 0, kFile));
    write("[S]\nk=2\n");
    EXPECT_EQ(2, ini_get_long("S", "k", 0, kFile));
    fs::remove(kFile);
    EXPECT_EQ(0, ini_get_long("S", "k", 0, kFile));
}

TEST_F(IniTest, LongLinesAreReadInPiecesOf511Bytes) {
    // A comment line of exactly 511 bytes: what follows on the same line is read as a line of its
    // own.
    const std::string piece = ";" + std::string(510, 'c');
    // A value spanning pieces keeps only what fits in the first piece.
    const std::string key = "long=";
    write("[S]\n" + piece + "hidden=1\n" + ";" + std::string(509, 'c') + "visible=2\n" + key +
          std::string(1000, 'v') + "\n" + std::string(100000, 'x') + "\nafter=3\n");
    EXPECT_EQ("1", get("S", "hidden"));
    EXPECT_EQ("<default>", get("S", "visible"));
    EXPECT_EQ(std::string(511 - key.size(), 'v'), get("S", "long"));
    EXPECT_EQ("3", get("S", "after"));
}

TEST_F(IniTest, ReadingStopsAfterTheByteLimit) {
    // A key whose line ends on the last byte allowed is found; the next one is never read.
    const std::string head = "[S]\n;";
    const std::string near = "near=1\n";
    const size_t filler = static_cast<size_t>(INI_MAX_BYTES) - head.size() - near.size() - 1;
    write(head + std::string(filler, 'c') + "\n" + near + "far=2\n");
    EXPECT_EQ("1", get("S", "near"));
    EXPECT_EQ("<default>", get("S", "far"));
    // A file that never ends gives the defaults.
    if (fs::exists("/dev/zero")) {
        fs::remove(kFile);
        fs::create_symlink("/dev/zero", kFile);
        EXPECT_EQ(7, ini_get_long("S", "k", 7, kFile));
        EXPECT_EQ("<default>", get(nullptr, "k"));
    }
}

TEST_F(IniTest, BinaryBytesAreHarmless) {
    // A zero byte ends the text of its piece: the key before it has no separator.
    std::string text = std::string("[S]\nk") + '\0' + "=5\nk=6\n";
    text += "\x01\x02\x7f\x80\xff=junk\n";
    text += "\xEF\xBB\xBFnext=7\n"; // bytes above 127 before a key are blanks
    write(text);
    EXPECT_EQ("6", get("S", "k"));
    EXPECT_EQ("7", get("S", "next"));

    // Random bytes without a single line break, and random bytes with many.
    std::mt19937 rng(12345);
    std::string noise(200000, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::string flat = noise;
    for (char& c : flat)
        if (c == '\n') c = 'n';
    for (const std::string& junk : {flat, noise, "[S]\n" + noise}) {
        write(junk);
        char buf[300];
        const int n = ini_get_string("S", "k", "dflt", buf, sizeof buf, kFile);
        EXPECT_GE(n, 0);
        EXPECT_LT(n, 300);
        EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf));
        ini_get_long("S", "k", 0, kFile);
        ini_get_bool("S", "k", 0, kFile);
    }
}

TEST_F(IniTest, FindValueSearchesFromTheTop) {
    write("[S]\nk=v\n");
    FILE* file = std::fopen(kFile, "rb");
    ASSERT_NE(nullptr, file);
    char buf[8] = "untouch";
    EXPECT_EQ(0, ini_find_value(file, "S", "absent", buf, sizeof buf));
    EXPECT_STREQ("untouch", buf);
    // The file is now at its end; the next lookup still finds the key.
    EXPECT_EQ(1, ini_find_value(file, "S", "k", buf, sizeof buf));
    EXPECT_STREQ("v", buf);
    std::fclose(file);
}

TEST(IniCopyText, CutsAndUnquotes) {
    char buf[6];
    ini_copy_text(buf, "abcdefgh", sizeof buf, IniCopy::plain);
    EXPECT_STREQ("abcde", buf);
    ini_copy_text(buf, "a\"\"b", sizeof buf, IniCopy::plain);
    EXPECT_STREQ("a\"\"b", buf);
    ini_copy_text(buf, "a\"\"b\\\"c", sizeof buf, IniCopy::unquote);
    EXPECT_STREQ("a\"b\"c", buf);
    // A pair cut by the buffer end, and an escape at the very end of the source.
    ini_copy_text(buf, "abcd\"\"", 6, IniCopy::unquote);
    EXPECT_STREQ("abcd\"", buf);
    ini_copy_text(buf, "ab\\", sizeof buf, IniCopy::unquote);
    EXPECT_STREQ("ab\\", buf);
    ini_copy_text(buf, "xyz", 1, IniCopy::unquote);
    EXPECT_STREQ("", buf);
}

TEST(IniDeathTest, BrokenInvariantsStopWithTheModuleAndLine) {
    char buf[16] = "overlap";
    EXPECT_DEATH(ini_copy_text(buf, buf + 2, sizeof buf, IniCopy::plain),
                 "Assertion failed: .*, file minIni, line [0-9]+");
    EXPECT_DEATH(ini_copy_text(buf, "x", 0, IniCopy::plain), "file minIni, line");
    EXPECT_DEATH(ini_find_value(nullptr, "S", "k", buf, sizeof buf), "file minIni, line");
}

} // namespace
