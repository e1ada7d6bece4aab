// rhplaylist's M3U reader against hostile input: random bytes, huge lines, NULs, thousands
// of comments, URLs, ".." climbs, paths past every limit. Each case must end, quickly, with
// an exit code the tool documents; a failure says why and takes nothing; what is taken is
// a full path a file can have, below its drive or share. A fixed seed makes every run the
// same cases.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "exit_codes.h"
#include "m3u.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Utf16(const std::wstring &text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = char(c >> 8), low = char(c & 0xff);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// What a taken path must be: full, on a drive or share (long form allowed), no ".." left,
// no control characters, within the system's length.
bool IsSaneFullPath(const std::wstring &path)
{
    std::wstring plain = path.starts_with(L"\\\\?\\UNC\\") ? L"\\\\" + path.substr(8)
                         : path.starts_with(L"\\\\?\\") ? path.substr(4)
                                                       : path;
    const bool rooted = (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\') ||
                        (plain.size() > 2 && plain.starts_with(L"\\\\") && plain[2] != L'\\');
    if (!rooted || path.size() >= 32767 || (plain + L"\\").find(L"\\..\\") != std::wstring::npos)
        return false;
    for (wchar_t c : path)
        if (c < 0x20)
            return false;
    return true;
}

class M3uTest : public ::testing::Test {
protected:
    // The messages go to a file, so that each failing case can be seen to say something.
    static void SetUpTestSuite()
    {
        wchar_t folder[MAX_PATH], name[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"m3u", 0, name);
        ASSERT_TRUE(_wfreopen(name, L"w+", stderr));
    }
    static long Said()
    {
        std::fflush(stderr);
        return std::ftell(stderr);
    }

    // Runs one case: a documented code, a message and nothing taken on failure, sane
    // paths on success. Returns the code.
    int Check(const std::string &bytes, const std::wstring &source, const char *what)
    {
        const std::vector<std::wstring> before{L"C:\\before.avi"};
        std::vector<std::wstring> files = before;
        const long said = Said();
        const Clock::time_point start = Clock::now();
        const int code = ParseM3u(bytes, source, files);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        ++cases_;
        EXPECT_LT(took, 5000) << what;
        if (code == kDone) {
            for (size_t i = 1; i < files.size(); ++i)
                EXPECT_TRUE(IsSaneFullPath(files[i])) << what << ": " << testing::PrintToString(files[i].substr(0, 80));
        } else {
            EXPECT_TRUE(code == kListDamaged || code == kBadValue) << what << ": exit " << code;
            EXPECT_EQ(files, before) << what;
            EXPECT_GT(Said(), said) << what << ": no message";
        }
        return code;
    }

    static inline int cases_ = 0;
};

TEST_F(M3uTest, LinesFromTheRootOrAboveItStayOnTheDriveOrShare)
{
    struct {
        const wchar_t *source, *line, *path;
    } rows[] = {
        {L"\\\\server\\share\\lists\\a.m3u", L"\\videos\\a.avi", L"\\\\server\\share\\videos\\a.avi"},
        {L"\\\\?\\UNC\\server\\share\\lists\\a.m3u", L"/videos/a.avi", L"\\\\?\\UNC\\server\\share\\videos\\a.avi"},
        {L"\\\\?\\C:\\lists\\a.m3u", L"\\videos\\a.avi", L"\\\\?\\C:\\videos\\a.avi"},
        {L"\\\\server\\share\\lists\\a.m3u", L"..\\..\\..\\..\\a.avi", L"\\\\server\\share\\a.avi"},
        {L"\\\\?\\UNC\\server\\share\\a.m3u", L"..\\..\\..\\a.avi", L"\\\\?\\UNC\\server\\share\\a.avi"},
        {L"C:\\lists\\a.m3u", L"..\\..\\..\\a.avi", L"C:\\a.avi"},
    };
    for (const auto &row : rows) {
        std::vector<std::wstring> files;
        std::string line(row.line, row.line + wcslen(row.line));
        EXPECT_EQ(ParseM3u(line, row.source, files), kDone) << testing::PrintToString(std::wstring(row.source));
        EXPECT_EQ(files, std::vector<std::wstring>{row.path});
    }
}

TEST_F(M3uTest, HostileInputEndsWithACodeAMessageAndNothingTaken)
{
    const std::wstring m3u = L"C:\\lists\\a.m3u", m3u8 = L"C:\\lists\\a.m3u8";
    std::mt19937 random(20261207);
    std::string noise(4096, '\0');
    for (char &c : noise)
        c = char(random());

    EXPECT_EQ(Check(noise, m3u, "random bytes"), kListDamaged);
    EXPECT_EQ(Check(std::string("C:\\a.avi\r\nC:\\b\0.avi\r\n", 21), m3u, "a NUL in a line"), kListDamaged);
    EXPECT_EQ(Check(Utf16(L"C:\\a.avi\r\n", false) + "x", m3u, "odd UTF-16"), kListDamaged);
    EXPECT_EQ(Check(Utf16(std::wstring(L"C:\\a\0.avi", 9), true), m3u, "UTF-16 with a NUL"), kListDamaged);
    EXPECT_EQ(Check("\xC3\x28.avi\r\n", m3u8, "bad UTF-8"), kListDamaged);
    EXPECT_EQ(Check("C:\\" + std::string(1 << 20, 'a') + ".avi", m3u, "a 1 MB line"), kBadValue);
    EXPECT_EQ(Check(std::string(1 << 20, ' ') + "a.avi" + std::string(1 << 20, ' '), m3u, "1 MB of blanks"), kDone);
    std::string comments;
    for (int i = 0; i < 10000; ++i)
        comments += "#EXTINF:1,clip " + std::to_string(i) + "\r\n";
    EXPECT_EQ(Check(comments, m3u, "10,000 #EXTINF lines, no entry"), kDone);
    EXPECT_EQ(Check("http://example.com/a.avi\r\nfile:///C:/a.avi\r\n", m3u, "URLs"), kDone);
    std::string climbs;
    for (int i = 0; i < 2000; ++i)
        climbs += "..\\";
    EXPECT_EQ(Check(climbs + "a.avi", L"\\\\server\\share\\a.m3u", "2,000 .. climbs"), kDone);
    std::string names;  // 32,000 characters in names of 250
    while (names.size() < 32000)
        names += "\\" + std::string(249, 'n');
    EXPECT_EQ(Check("C:" + names.substr(0, 32000), m3u, "a path of 32,000 characters"), kDone);
    EXPECT_EQ(Check("C:\\" + std::string(32000, 'n'), m3u, "a name of 32,000 characters"), kBadValue);
    EXPECT_EQ(Check("C:" + names + names, m3u, "a path of 64,000 characters"), kBadValue);
    EXPECT_EQ(Check("C:\\" + std::string(70000, 'n'), m3u, "a name past 65,536 characters"), kBadValue);
    for (const char *device : {"C:\\videos\\CON", "\\\\.\\PhysicalDrive0", "\\\\?\\GLOBALROOT\\x", "C:\\a<b>.avi", "C:\\a.avi:stream", "C:\\videos\\"})
        EXPECT_EQ(Check(device, m3u, device), kBadValue) << device;

    // Random text from the pieces M3U files and paths are made of, in every encoding.
    const char *pieces[] = {"C:", "\\", "/", "..", ".", "a", "\xC3\xA9", "\\\\", "?", "UNC", "server", "share",
                            "#EXTINF:1,", "://", "\r\n", "\n", " ", "\t", "CON", "*", ":", "\xFF", "\x01", "#",
                            "videos\\clip.avi"};
    const std::wstring sources[] = {m3u, m3u8, L"\\\\server\\share\\lists\\a.m3u", L"\\\\?\\C:\\lists\\a.m3u8",
                                    L"\\\\?\\UNC\\server\\share\\a.m3u"};
    for (int i = 0; i < 10000; ++i) {
        std::string text;
        for (int n = random() % 40; n > 0; --n)
            text += random() % 30 ? pieces[random() % std::size(pieces)] : std::string(random() % 400, 'x');
        if (random() % 10 == 0)
            text.insert(random() % (text.size() + 1), 1, '\0');
        const int form = random() % 4;
        if (form == 1)
            text.insert(0, "\xEF\xBB\xBF");
        else if (form >= 2) {
            const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
            std::wstring wide(length, L'\0');
            MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
            text = Utf16(wide, form == 3);
        }
        Check(text, sources[random() % std::size(sources)], ("random case " + std::to_string(i)).c_str());
    }
    std::printf("%d hostile inputs tried\n", cases_);
}

}  // namespace
