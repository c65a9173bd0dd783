// The command-line program, run as a separate process on generated folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "../scan/TestPictures.h"
#include "CliRunner.h"
#include "cli/Listing.h"
#include "signature/Signature.h"
#include "util/Exception.h"

namespace corvane::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

TEST(CliUsageTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"frobnicate"},
                                                         {"compute", "--bogus"},
                                                         {"compute", "--formats", "jpg,xyz"},
                                                         {"identify", "--margin"},
                                                         {"decode", "only-one"},
                                                         {"match-single"},
                                                         {"--data"}};
    for (const auto& words : cases) {
        const TResult result = RunCli(words);
        EXPECT_EQ(result.status, 2) << ::testing::PrintToString(words);
        // One line, the program's name in front, pointing to the help.
        EXPECT_EQ(Lines(result.err).size(), 1u) << result.err;
        EXPECT_EQ(result.err.rfind("corvane-cli: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find("--help"), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

using CliTest = CliFolderTest;

TEST_F(CliTest, ComputeIdentifyAndListings) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(1));
    WriteJpeg(pictures_ + "b.jpg", MakePattern(1), 80);
    WriteBytes(pictures_ + "c.jpg", "junk");
    TResult r = Cli({"compute", "--folder", pictures_});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 records added; 0 records edited in 00:00:00\n");
    EXPECT_EQ(r.err, "Unable to process \"" + pictures_ + "c.jpg\"\n");
    EXPECT_EQ(ReadBytes(data_ + "BadFiles.txt"),
              "Unable to process \"" + pictures_ + "c.jpg\"\r\n");
    EXPECT_EQ(ReadBytes(data_ + "log.txt"), pictures_ + "\r\n");
    EXPECT_FALSE(Exists(data_ + "Corvane.INI"));  // options are not written back

    r = Cli({"identify", "--margin", "10"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Identify completed: 2 records processed in 00:00:00\n");

    r = Cli({"signatures"});
    const auto records = Lines(r.out);
    ASSERT_EQ(records.size(), 2u);
    const auto fields = Fields(records[0]);
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], "a.jpg");
    EXPECT_EQ(fields[1], pictures_);
    EXPECT_EQ(fields[2].size(), 19u);
    EXPECT_EQ(fields[3].size(), 192u);
    // The one-picture command gives the stored text.
    EXPECT_EQ(RunCli({"signature", pictures_ + "a.jpg"}).out, fields[3] + "\n");

    r = Cli({"matches"});
    const auto rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 1u);
    const auto row = Fields(rows[0]);
    ASSERT_EQ(row.size(), 3u);
    EXPECT_EQ(std::set<std::string>({row[1], row[2]}),
              std::set<std::string>({pictures_ + "a.jpg", pictures_ + "b.jpg"}));
}

TEST_F(CliTest, FormatsAndRotationsAreOptionsOfTheirCommands) {
    // Smooth shading, large enough that the blocks' one column and row
    // beyond the edge (black) weigh little: a mirrored copy then lies within
    // a few units of the mirrored blocks.
    TPattern pattern{320, 240, std::vector<uint8_t>(320 * 240 * 3)};
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            uint8_t* p = &pattern.Bgr[(size_t(y) * 320 + x) * 3];
            p[0] = 90;
            p[1] = static_cast<uint8_t>(y * 200 / 240);
            p[2] = static_cast<uint8_t>(x * 250 / 320);
        }
    TPattern mirrored = pattern;
    for (int y = 0; y < pattern.Height; ++y)
        for (int x = 0; x < pattern.Width; ++x)
            for (int c = 0; c < 3; ++c)
                mirrored.Bgr[(size_t(y) * pattern.Width + x) * 3 + c] =
                    pattern.Bgr[(size_t(y) * pattern.Width + pattern.Width - 1 - x) * 3 + c];
    WriteBmp(pictures_ + "a.bmp", pattern);
    WriteBmp(pictures_ + "b.bmp", mirrored);
    WriteBytes(pictures_ + "c.png", "junk");
    TResult r = Cli({"compute", "--folder", pictures_});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");  // the default formats leave c.png alone
    r = Cli({"compute", "--folder", pictures_, "--formats", "bmp,png", "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Unable to process \"" + pictures_ + "c.png\"\n");
    EXPECT_EQ(Lines(Cli({"signatures"}).out).size(), 2u);

    EXPECT_EQ(Cli({"identify", "--margin", "5"}).status, 0);
    EXPECT_TRUE(Lines(Cli({"matches"}).out).empty());
    EXPECT_EQ(Cli({"identify", "--margin", "5", "--rotations"}).status, 0);
    EXPECT_EQ(Lines(Cli({"matches"}).out).size(), 1u);
}

// delete, move and undo on names with blanks and non-ASCII letters; the
// records go and come back with the files.
TEST_F(CliTest, DeleteMoveAndUndo) {
    const std::string a = pictures_ + "holiday café.jpg";
    const std::string b = pictures_ + "b.jpg";
    WriteJpeg(a, MakePattern(1));
    WriteJpeg(b, MakePattern(1), 80);
    ASSERT_EQ(Cli({"compute", "--folder", pictures_}).status, 0);
    ASSERT_EQ(Cli({"identify"}).status, 0);
    const std::string rows = Cli({"matches"}).out;
    const std::string bytes = ReadBytes(a);

    TResult r = Cli({"delete", a});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Moved to the trash: " + a + "\n");
    EXPECT_FALSE(Exists(a));
    EXPECT_EQ(ReadBytes(folder_.Path() + "home/data/Trash/files/holiday café.jpg"), bytes);
    EXPECT_EQ(Cli({"matches"}).out, "");
    r = Cli({"undo"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(a), bytes);
    EXPECT_EQ(Cli({"matches"}).out, rows);

    // A move that would replace a file needs --replace; the rows follow.
    const std::string other = folder_.Make("other");
    WriteBytes(other + "b.jpg", "another");
    r = Cli({"move", b, other});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(other + "b.jpg"), "another");
    r = Cli({"move", b, other, "--replace"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Cli({"matches"}).out.find(other + "b.jpg"), std::string::npos);
    EXPECT_EQ(Cli({"undo"}).status, 0);
    EXPECT_EQ(ReadBytes(other + "b.jpg"), "another");
    EXPECT_EQ(Cli({"matches"}).out, rows);

    // A missing file: the reason, exit status 1.
    r = Cli({"delete", pictures_ + "none.jpg", "--permanent"});
    EXPECT_EQ(r.status, 0);  // only its (absent) records go
    r = Cli({"move", pictures_ + "none.jpg", other});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(CliTest, ErrorsExitWithOneAndTheWindowsMessage) {
    TResult r = Cli({"identify", "--margin", "abc"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane-cli: 'abc' is not a valid integer value\n");
    r = Cli({"match-single", pictures_ + "none.jpg"});
    EXPECT_EQ(r.status, 1);
    r = RunCli({"signature", pictures_ + "none.jpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.jpg"), std::string::npos);
}

TEST_F(CliTest, SearchFolderIsNamedInFull) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(5));
    const std::string command = "cd " + Quote(folder_.Path()) + " && " + Quote(CORVANE_CLI) +
                                " --data data compute --folder pictures >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Fields(Cli({"signatures"}).out)[1], pictures_);
    const TResult r = Cli({"compute", "--folder", pictures_ + "none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane-cli: The search folder \"" + pictures_ + "none\" does not exist\n");
}

TEST_F(CliTest, SettingsFileGivesTheDefaults) {
    WriteJpeg(pictures_ + "a.jpg", MakePattern(2));
    const std::string sub = folder_.Make("pictures/sub");
    WriteJpeg(sub + "b.jpg", MakePattern(3));
    WriteBytes(data_ + "Corvane.INI", "[Params]\r\nSearchPath=" + pictures_ + "\r\nSubDirs=N\r\n");
    TResult r = Cli({"compute"});
    EXPECT_EQ(r.out, "1 records added; 0 records edited in 00:00:00\n");
    r = Cli({"compute", "--subdirs"});
    EXPECT_EQ(r.out, "1 records added; 0 records edited in 00:00:00\n");
}

TEST_F(CliTest, DecodeWritesTheRasterAsPpm) {
    const TPattern pattern = MakePattern(4, 5, 3);
    WriteBmp(pictures_ + "p.bmp", pattern);
    const TResult r = RunCli({"decode", pictures_ + "p.bmp", pictures_ + "p.ppm"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected = "P6\n5 3\n255\n";
    for (size_t i = 0; i < pattern.Bgr.size(); i += 3) {
        expected += static_cast<char>(pattern.Bgr[i + 2]);
        expected += static_cast<char>(pattern.Bgr[i + 1]);
        expected += static_cast<char>(pattern.Bgr[i]);
    }
    EXPECT_EQ(ReadBytes(pictures_ + "p.ppm"), expected);
    // A full disk says so.
    const TResult full = RunCli({"decode", pictures_ + "p.bmp", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "corvane-cli: Unable to write to /dev/full; the disk is full\n");
}

TEST_F(CliTest, ATableHeldByAnotherCorvaneSaysSo) {
    ASSERT_EQ(Cli({"signatures"}).status, 0);  // creates the tables
    const int fd = ::open((data_ + "Signatures.DAT").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const TResult r = Cli({"signatures"});
    ::close(fd);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane-cli: The table " + data_ +
                         "Signatures.DAT is in use by another running Corvane; close that one "
                         "first\n");
}

TEST(CliConventionsTest, HelpAndVersionExitWithZero) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--help"}, {"-h"}, {"help"}}) {
        const TResult r = RunCli(words);
        EXPECT_EQ(r.status, 0) << ::testing::PrintToString(words);
        EXPECT_NE(r.out.find("match-single"), std::string::npos);
        EXPECT_NE(r.out.find("Exit status: 0 done; 1 an error"), std::string::npos);
        EXPECT_TRUE(r.err.empty());
    }
    TResult r = RunCli({"help", "compute"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--no-subdirs"), std::string::npos);
    EXPECT_EQ(RunCli({"compute", "--help"}).out, r.out);
    r = RunCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("corvane-cli ", 0), 0u);
    EXPECT_EQ(RunCli({"help", "frobnicate"}).status, 2);
    EXPECT_EQ(RunCli({"matches", "--format", "xml"}).status, 2);
    EXPECT_EQ(RunCli({"--data", "/tmp", "decode", "a", "b"}).status, 2);
}

TEST_F(CliTest, WhereNamesTheProgramFolder) {
    TResult r = Cli({"where"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, data_ + "\n");
    ::setenv("CORVANE_DATA", pictures_.c_str(), 1);
    r = RunCli({"where", "-v"});
    ::unsetenv("CORVANE_DATA");
    EXPECT_EQ(r.out, pictures_ + " (CORVANE_DATA)\n");
}

std::string DecodeBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        bits = (bits << 6) | static_cast<uint32_t>(digits.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

std::string UnescapeTsv(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const char c = field[++i];
        text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return text;
}

// Pictures whose names hold a tab, a newline, a backslash and a byte that
// is not UTF-8: every listing gives them back exactly.
class CliFormatTest : public CliTest {
  protected:
    CliFormatTest() {
        for (const std::string& name :
             {std::string("tab\there.jpg"), std::string("new\nline.jpg"),
              std::string("back\\slash.jpg"), std::string("bad\xff\xfe.jpg"),
              std::string("plain,\"quoted\".jpg")}) {
            WriteJpeg(pictures_ + name, MakePattern(7));  // all alike: every pair matches
            names_.insert(pictures_ + name);
        }
        EXPECT_EQ(Cli({"compute", "--folder", pictures_}).status, 0);
        EXPECT_EQ(Cli({"identify"}).status, 0);
    }
    std::set<std::string> names_;
};

TEST_F(CliFormatTest, TsvEscapesNamesOneLinePerRow) {
    const TResult r = Cli({"signatures"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> listed;
    for (const std::string& line : Lines(r.out)) {
        const auto fields = Fields(line);
        ASSERT_EQ(fields.size(), 4u) << line;
        listed.insert(UnescapeTsv(fields[1]) + UnescapeTsv(fields[0]));
    }
    EXPECT_EQ(listed, names_);
    EXPECT_NE(r.out.find("back\\\\slash.jpg\t"), std::string::npos);
    EXPECT_NE(r.out.find("bad\xff\xfe.jpg\t"), std::string::npos);  // bytes kept
    EXPECT_EQ(Lines(Cli({"matches"}).out).size(), 10u);
}

TEST_F(CliFormatTest, NulSeparatedNamesKeepTheirBytes) {
    TResult r = Cli({"signatures", "-0"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), '\0');
    std::set<std::string> listed;
    std::vector<std::string> parts;
    for (size_t start = 0, end; (end = r.out.find('\0', start)) != std::string::npos;
         start = end + 1)
        parts.push_back(r.out.substr(start, end - start));
    listed.insert(parts.begin(), parts.end());
    EXPECT_EQ(parts.size(), names_.size());
    EXPECT_EQ(listed, names_);
    r = Cli({"matches", "--null"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\0'), 20);
}

TEST_F(CliFormatTest, JsonIsOneDocumentThatGivesBackEveryName) {
    TResult r = Cli({"signatures", "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json records = nlohmann::json::parse(r.out);  // throws when malformed
    ASSERT_TRUE(records.is_array());
    std::set<std::string> listed;
    for (const auto& record : records) {
        for (const char* field : {"FileName", "FilePath", "FileDate", "Signature"})
            EXPECT_TRUE(record.contains(field)) << record.dump();
        std::string name = record["FileName"];
        if (record.contains("FileNameBase64")) name = DecodeBase64(record["FileNameBase64"]);
        listed.insert(record["FilePath"].get<std::string>() + name);
        EXPECT_EQ(record["Signature"].get<std::string>().size(), 192u);
    }
    EXPECT_EQ(listed, names_);

    r = Cli({"matches", "--format", "json"});
    const nlohmann::json rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), 10u);
    for (const auto& row : rows) {
        EXPECT_TRUE(row["MaxDiff"].is_number_integer());
        std::string file1 = row["File1"];
        if (row.contains("File1Base64")) file1 = DecodeBase64(row["File1Base64"]);
        EXPECT_TRUE(names_.count(file1)) << file1;
    }
    EXPECT_EQ(nlohmann::json::parse(
                  RunCli({"--data", folder_.Make("empty"), "matches", "--format", "json"}).out),
              nlohmann::json::array());
}

TEST_F(CliFormatTest, CsvQuotesWhatNeedsIt) {
    const TResult r = Cli({"signatures", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("\r\n")), "FileName,FilePath,FileDate,Signature");
    EXPECT_NE(r.out.find("\"plain,\"\"quoted\"\".jpg\","), std::string::npos);
    EXPECT_NE(r.out.find("\"new\nline.jpg\","), std::string::npos);
}

// Runs corvane-cli on a pseudo terminal and returns all it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& words) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        std::vector<char*> argv = {const_cast<char*>(CORVANE_CLI)};
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        ::execv(CORVANE_CLI, argv.data());
        ::_exit(127);
    }
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) output.append(buffer, n);
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    return output;
}

TEST_F(CliTest, ProgressOnlyOnATerminalAndNotWithQuiet) {
    for (int i = 0; i < 3; ++i) WriteJpeg(pictures_ + Format("p%d.jpg", i), MakePattern(i));
    const TResult piped = Cli({"compute", "--folder", pictures_});
    EXPECT_EQ(piped.err.find('\r'), std::string::npos);
    EXPECT_EQ(piped.err.find(" of "), std::string::npos);
    const std::string shown =
        RunOnTerminal({"--data", data_, "compute", "--force", "--folder", pictures_});
    EXPECT_NE(shown.find("] 0 of "), std::string::npos) << shown;
    const std::string quiet =
        RunOnTerminal({"--data", data_, "-q", "compute", "--force", "--folder", pictures_});
    EXPECT_EQ(quiet.find(" of "), std::string::npos) << quiet;
    EXPECT_NE(quiet.find("records added"), std::string::npos) << quiet;
}

TEST(ListingTest, EscapesAndEncodings) {
    EXPECT_EQ(EscapeTsvField("a\tb\nc\\d\re"), "a\\tb\\nc\\\\d\\re");
    EXPECT_EQ(QuoteCsvField("plain"), "plain");
    EXPECT_EQ(QuoteCsvField("a,\"b\""), "\"a,\"\"b\"\"\"");
    const std::vector<std::pair<std::string, bool>> utf8 = {{"", true},
                                                            {"ascii", true},
                                                            {"\xc3\xa9", true},
                                                            {"\xe6\x97\xa5", true},
                                                            {"\xf0\x9f\x98\x80", true},
                                                            {"\xff", false},
                                                            {"\xc3", false},
                                                            {"\xc0\xaf", false},
                                                            {"\xed\xa0\x80", false},
                                                            {"\xf4\x90\x80\x80", false},
                                                            {"a\x80", false}};
    for (const auto& [text, valid] : utf8) EXPECT_EQ(IsValidUtf8(text), valid) << text;
    for (const std::string& bytes :
         {std::string(), std::string("f"), std::string("fo"), std::string("foo"),
          std::string("foob"), std::string("\xff\x00\x80", 3)})
        EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes);
    EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
}

// ---------------------------------------------------------------- end to end

// A folder tree of a few hundred pictures: JPEG, BMP and GIF files, copies
// re-encoded at another quality, corrupt files, names in several scripts, an
// invalid UTF-8 name, hidden files, a hidden folder and nested sub-folders.
struct TTree {
    std::set<std::string> pictures;       // full names expected in the table after conversion
    std::set<std::string> corrupt;        // full names expected in BadFiles.txt
    std::set<std::string> bitmaps;        // bitmaps to be converted
    std::set<std::string> hiddenBitmaps;  // bitmaps in hidden folders: stay
    std::vector<std::pair<std::string, std::string>> duplicates;  // same pattern
};

TTree MakeTree(const TTempFolder& folder, const std::string& root) {
    TTree tree;
    const std::vector<std::string> folders = {
        "",        "alpha/",    "alpha/beta/",       "кириллица/",
        "日本語/", "ελληνικά/", "alpha/beta/gamma/", ".hidden/"};
    for (const std::string& f : folders) folder.Make(root.substr(folder.Path().size()) + f);
    const std::vector<std::string> stems = {"photo", "фото",    "写真",       "εικόνα",
                                            "صورة",  "bad\xff", "Mixed Case", ".dot"};
    uint32_t seed = 100;
    for (size_t i = 0; i < 240; ++i) {
        const std::string& sub = folders[i % (folders.size() - 1)];
        const std::string stem = stems[i % stems.size()] + Format("-%zu", i);
        const TPattern pattern = MakePattern(seed++, 40 + static_cast<int>(i % 5) * 8, 32);
        switch (i % 6) {
            case 0:
            case 1:
            case 2: {
                const std::string name = root + sub + stem + ".jpg";
                WriteJpeg(name, pattern);
                tree.pictures.insert(name);
                if (i % 12 == 0) {  // a re-encoded copy in another folder
                    const std::string copy = root + folders[(i + 3) % 7] + stem + "-copy.JPG";
                    WriteJpeg(copy, pattern, 70);
                    tree.pictures.insert(copy);
                    tree.duplicates.emplace_back(name, copy);
                }
                break;
            }
            case 3: {
                const std::string name = root + sub + stem + ".bmp";
                WriteBmp(name, pattern);
                tree.bitmaps.insert(name);
                tree.pictures.insert(name.substr(0, name.size() - 3) + "JPG");
                break;
            }
            case 4: {
                const std::string name = root + sub + stem + ".Gif";
                WriteGif(name, pattern);
                tree.pictures.insert(name);
                break;
            }
            case 5: {
                const std::string name = root + sub + stem + (i % 4 ? ".jpg" : ".gif");
                WriteBytes(name, i % 4 ? std::string("\xFF\xD8 truncated") : "GIF89a\x01");
                tree.corrupt.insert(name);
                break;
            }
        }
    }
    // Pictures of the hidden folder are still scanned; its bitmaps are not converted.
    for (int i = 0; i < 5; ++i) {
        const std::string name = root + Format(".hidden/h%d.jpg", i);
        WriteJpeg(name, MakePattern(9000 + static_cast<uint32_t>(i)));
        tree.pictures.insert(name);
    }
    const std::string hiddenBitmap = root + ".hidden/keep.bmp";
    WriteBmp(hiddenBitmap, MakePattern(9100));
    tree.hiddenBitmaps.insert(hiddenBitmap);
    tree.pictures.insert(hiddenBitmap);
    // Files that are not pictures.
    WriteBytes(root + "notes.txt", "x");
    WriteBytes(root + "alpha/pic.jpeg", "x");
    return tree;
}

std::set<std::string> StoredNames(const std::string& listing) {
    std::set<std::string> names;
    for (const std::string& line : Lines(listing)) {
        const auto fields = Fields(line);
        if (fields.size() == 4) names.insert(fields[1] + fields[0]);
    }
    return names;
}

TEST_F(CliTest, EndToEndOnAGeneratedTree) {
    const std::string root = pictures_;
    const TTree tree = MakeTree(folder_, root);
    ASSERT_GE(tree.pictures.size() + tree.corrupt.size(), 200u);
    WriteBytes(data_ + "Corvane.INI", "[Params]\r\nSearchPath=" + root + "\r\nMargin=12\r\n");

    // Conversion: every bitmap outside hidden folders becomes a JPEG.
    TResult r = Cli({"convert"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& bitmap : tree.bitmaps) {
        EXPECT_FALSE(Exists(bitmap)) << bitmap;
        EXPECT_TRUE(Exists(bitmap.substr(0, bitmap.size() - 3) + "JPG")) << bitmap;
    }
    for (const std::string& bitmap : tree.hiddenBitmaps) EXPECT_TRUE(Exists(bitmap));

    // Compute: every picture stored, every corrupt file reported once.
    r = Cli({"compute"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string added =
        std::to_string(tree.pictures.size()) + " records added; 0 records edited in ";
    EXPECT_EQ(r.out.substr(0, added.size()), added);
    std::set<std::string> reported;
    for (const std::string& line : Lines(ReadBytes(data_ + "BadFiles.txt"))) {
        ASSERT_EQ(line.substr(0, 19), "Unable to process \"");
        reported.insert(line.substr(19, line.size() - 21));
    }
    EXPECT_EQ(reported, tree.corrupt);
    r = Cli({"signatures"});
    EXPECT_EQ(StoredNames(r.out), tree.pictures);
    const auto log = Lines(ReadBytes(data_ + "log.txt"));
    EXPECT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], root + "\r");

    // Identify: every re-encoded copy pairs with its original.
    r = Cli({"identify"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::pair<std::string, std::string>> pairs;
    for (const std::string& line : Lines(Cli({"matches"}).out)) {
        const auto fields = Fields(line);
        ASSERT_EQ(fields.size(), 3u);
        EXPECT_LE(std::stoi(fields[0]), 12);
        pairs.insert(std::minmax(fields[1], fields[2]));
    }
    for (const auto& [a, b] : tree.duplicates) EXPECT_TRUE(pairs.count(std::minmax(a, b))) << a;

    // Match single: the copy's original, found from the copy.
    const auto& [original, copy] = tree.duplicates.front();
    r = Cli({"match-single", copy});
    ASSERT_EQ(r.status, 0) << r.err;
    bool found = false;
    for (const std::string& line : Lines(Cli({"matches"}).out)) {
        const auto fields = Fields(line);
        EXPECT_EQ(fields[1], copy);
        found = found || fields[2] == original;
    }
    EXPECT_TRUE(found);

    // A second compute changes nothing.
    r = Cli({"compute"});
    EXPECT_EQ(r.out.substr(0, 36), "0 records added; 0 records edited in");
}

off_t FileSize(const std::string& fileName) {
    struct stat info;
    return ::stat(fileName.c_str(), &info) == 0 ? info.st_size : 0;
}

// Kills a compute run once its signature file has grown by Growth bytes
// (records are being posted), then checks that the tables open with only
// records of real files and that the next run completes the work.
TEST_F(CliTest, KilledComputeRunLeavesTablesTheNextRunCompletes) {
    constexpr int kCount = 300;
    std::set<std::string> expected;
    for (int i = 0; i < kCount; ++i) {
        const std::string name = pictures_ + Format("k%d.jpg", i);
        WriteJpeg(name, MakePattern(static_cast<uint32_t>(i), 640, 480));
        expected.insert(name);
    }
    for (const off_t growth : {off_t{2000}, off_t{60000}}) {
        const std::string data = folder_.Make(Format("killed%d", static_cast<int>(growth)));
        auto cli = [&](std::vector<std::string> words) {
            words.insert(words.begin(), {"--data", data});
            return RunCli(words);
        };
        ASSERT_EQ(cli({"signatures"}).status, 0);  // creates the empty tables
        const std::string table = data + "Signatures.DAT";
        const off_t before = FileSize(table);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(CORVANE_CLI, CORVANE_CLI, "--data", data.c_str(), "compute", "--folder",
                    pictures_.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        pid_t ended = 0;
        while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
               FileSize(table) < before + growth) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        EXPECT_EQ(ended, 0) << "the run ended before it could be killed";
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        const TResult listing = cli({"signatures"});
        ASSERT_EQ(listing.status, 0) << listing.err;
        const std::set<std::string> stored = StoredNames(listing.out);
        EXPECT_FALSE(stored.empty());
        EXPECT_LT(stored.size(), expected.size());
        for (const std::string& name : stored) EXPECT_TRUE(expected.count(name)) << name;

        const TResult r = cli({"compute", "--folder", pictures_});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(StoredNames(cli({"signatures"}).out), expected);
        EXPECT_EQ(cli({"compute", "--folder", pictures_}).out.substr(0, 36),
                  "0 records added; 0 records edited in");
    }
}

}  // namespace
}  // namespace corvane::test
