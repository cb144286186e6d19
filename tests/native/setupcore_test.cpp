// The port setup's platform-free rules: item names and paths, progress, the device console
// tool's command line, and switching the INF to a port type. Built natively and for Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "setupcore.h"

namespace {

TEST(ArchName, FromProcessorArchitecture)
{
    const struct
    {
        unsigned architecture;
        const wchar_t *name;
    } rows[] = {
        // architecture  name
        {0, L"x86"},      // PROCESSOR_ARCHITECTURE_INTEL
        {5, L"x86"},      // ARM
        {6, L"ia64"},
        {9, L"amd64"},
        {12, L"x86"},     // ARM64
        {0xFFFF, L"x86"}, // unknown
    };
    for (const auto &row : rows)
        EXPECT_STREQ(ArchNameOf(row.architecture), row.name) << row.architecture;
}

TEST(ItemNames, UnsafeNamesAreRefused)
{
    const struct
    {
        const wchar_t *name;
        bool safe;
    } rows[] = {
        // name                          safe
        {L"x86/devcon.exe", true},
        {L"x86", true},
        {L"amd64/sub/Quorvallent.inf", true},
        {L"x86\\devcon.exe", true},
        {L"a..b/c...d", true},
        {L".hidden/..x", true},
        {L"驱动/端口.txt", true},
        {L"", false},
        {L"..", false},
        {L"../x86/devcon.exe", false},
        {L"x86/../../devcon.exe", false},
        {L"x86\\..\\devcon.exe", false},
        {L"x86/..", false},
        {L"/x86/devcon.exe", false},
        {L"\\x86\\devcon.exe", false},
        {L"\\\\server\\share\\x86", false},
        {L"C:/x86/devcon.exe", false},
        {L"C:x86", false},
        {L"c:\\windows\\system32\\x86.dll", false},
        {L"x86/devcon.exe:stream", false},
        {L"x86//devcon.exe", false},
        {L"x86/", false},
        // Device names, in any folder and letter case, with or without an extension.
        {L"x86/CON", false},
        {L"x86/nul.txt", false},
        {L"x86/sub/Com1.inf", false},
        {L"LPT9/devcon.exe", false},
        {L"x86/aux .txt", false},
        {L"x86/PRN.tar.gz", false},
        {L"x86/com\u00B9.dll", false},
        {L"x86/CONIN$", false},
        {L"conout$.txt/devcon.exe", false},
        {L"x86/sub/Clock$.inf", false},
        {L"x86/CONIN$x", true},
        {L"x86/CONSOLE.txt", true},
        {L"x86/COM10", true},
        {L"x86/LPT0.inf", true},
        {L"x86/con-x.txt", true},
        {L"x86/xnul", true},
        {L"x86/NUL_", true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(IsSafeItemName(row.name), row.safe) << std::string(row.name, row.name + std::wcslen(row.name));
}

TEST(ItemNames, DeviceNames)
{
    const struct
    {
        const wchar_t *part;
        bool device;
    } rows[] = {
        // name part       device
        {L"CON", true},
        {L"con", true},
        {L"PRN", true},
        {L"AUX", true},
        {L"NUL", true},
        {L"COM1", true},
        {L"com9", true},
        {L"LPT1", true},
        {L"Lpt9", true},
        {L"NUL.txt", true},
        {L"nul.", true},
        {L"CON  .inf", true},
        {L"LPT\u00B3", true},
        {L"COM0", false},
        {L"COM", false},
        {L"COM11", false},
        {L"LPT10.txt", false},
        {L"CONIN$", true},
        {L"conin$", true},
        {L"CONOUT$", true},
        {L"ConOut$.txt", true},
        {L"CLOCK$", true},
        {L"clock$.inf", true},
        {L"CONIN$ .log", true},
        {L"CONIN", false},
        {L"CONOUT", false},
        {L"CLOCK", false},
        {L"CONERR$", false},
        {L"CONIN$$", false},
        {L"xCLOCK$", false},
        {L" CON", false},
        {L"NULL", false},
        {L"", false},
        {L".CON", false},
    };
    for (const auto &row : rows)
        EXPECT_EQ(IsDosDeviceName(row.part), row.device) << "row " << (&row - rows);
}

TEST(ItemNames, PathBelowTheWorkFolderOnly)
{
    const struct
    {
        const wchar_t *folder;
        const wchar_t *name;
        const wchar_t *path;
    } rows[] = {
        // work folder                         item name            path ("" = refused)
        {L"C:\\users\\root\\Temp\\vp1A.tmp", L"x86/devcon.exe", L"C:\\users\\root\\Temp\\vp1A.tmp\\x86\\devcon.exe"},
        {L"C:\\Temp\\vp1A.tmp", L"x86", L"C:\\Temp\\vp1A.tmp\\x86"},
        {L"c:\\a b\\vp2.tmp", L"x86/a/b.inf", L"c:\\a b\\vp2.tmp\\x86\\a\\b.inf"},
        {L"\\\\server\\temp\\vp3.tmp", L"x86/devcon.exe", L"\\\\server\\temp\\vp3.tmp\\x86\\devcon.exe"},
        // No work folder: never the drive root or the current folder.
        {L"", L"x86/devcon.exe", L""},
        {L"C:\\", L"x86/devcon.exe", L""},
        {L"C:", L"x86/devcon.exe", L""},
        {L"\\", L"x86/devcon.exe", L""},
        {L"vp1.tmp", L"x86/devcon.exe", L""},
        {L"C:vp1.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Temp\\vp1A.tmp", L"x86/../../evil.exe", L""},
        {L"C:\\Temp\\vp1A.tmp", L"/evil.exe", L""},
        {L"C:\\Temp\\vp1A.tmp", L"D:/evil.exe", L""},
        // Work folders that name something else than the folder they seem to.
        {L"C:\\Temp\\..\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Temp\\.\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Temp\\\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Temp\\vp1A.tmp\\", L"x86/devcon.exe", L""},
        {L"\\\\?\\C:\\Temp\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"\\\\.\\C:\\Temp\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"\\\\\\share\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Te*p\\vp1A.tmp", L"x86/devcon.exe", L""},
        {L"C:\\Temp\\vp1A.tmp:s", L"x86/devcon.exe", L""},
    };
    for (const auto &row : rows)
    {
        EXPECT_TRUE(ItemPath(row.folder, row.name) == row.path)
            << "row " << (&row - rows);
    }
}

// The whole path of an item must fit MAX_PATH (260 characters with the terminator), whatever
// the work folder's length: an item one character over is refused like one that leaves it.
TEST(ItemNames, PathMustFitMaxPath)
{
    const std::wstring folders[] = {
        L"C:\\users\\root\\Temp\\vp1A.tmp",
        L"C:\\Documents and Settings\\Kassenbediener\\Local Settings\\Temp\\vpFFFF.tmp",
        L"\\\\server\\share\\vp2.tmp",
    };
    const struct
    {
        const char *what;
        int over;              // characters over the longest path that fits
        const wchar_t *arch;
        bool refused;
    } rows[] = {
        // what            over  folder   refused
        {"well inside", -100, L"x86", false},
        {"just fitting", 0, L"x86", false},
        {"just fitting", 0, L"amd64", false},
        {"one over", 1, L"x86", true},
        {"one over", 1, L"amd64", true},
        {"far over", 300, L"x86", true},
        {"far over", 32768, L"amd64", true},
    };
    for (const std::wstring &folder : folders)
    {
        for (const auto &row : rows)
        {
            // folder "\" arch "/" tail: 259 characters at "just fitting".
            const size_t fixed = folder.size() + 1 + std::wcslen(row.arch) + 1;
            const std::wstring tail(259 - fixed + row.over, L'd');
            const std::wstring name = std::wstring(row.arch) + L"/" + tail;
            const std::wstring path = ItemPath(folder, name);
            EXPECT_EQ(path.empty(), row.refused) << row.what << " in a folder of " << folder.size();
            if (!row.refused)
            {
                EXPECT_EQ(path.size(), 259u + row.over);
                EXPECT_TRUE(FitsMaxPath(path));
            }
        }
    }
    // The work folder itself must leave room: at 260 characters it is no work folder.
    const std::wstring longest = L"C:\\" + std::wstring(256, L'f');
    EXPECT_TRUE(IsWorkFolderPath(longest));
    EXPECT_FALSE(IsWorkFolderPath(longest + L"f"));
    EXPECT_TRUE(ItemPath(longest, L"x").empty());
}

// The driver package's items in their order; progress is posted for the architecture's ones.
TEST(InstallProgress, ValuesOverThePackageOrder)
{
    const std::vector<std::wstring> package = {
        L"x86/devcon.exe", L"amd64/devcon.exe", L"x86/zulkor.dll", L"amd64/zulkor.dll",
        L"x86/WdfCoInstaller01009.dll", L"amd64/WdfCoInstaller01009.dll",
        L"x86/WUDFUpdate_01009.dll", L"amd64/WUDFUpdate_01009.dll",
        L"x86/Quorvallent.inf", L"amd64/Quorvallent.inf", L"x86", L"amd64",
    };
    const struct
    {
        unsigned architecture;
        std::vector<unsigned> progress;
    } rows[] = {
        // architecture  progress values
        {0, {4, 12, 20, 29, 37, 45}},
        {9, {8, 16, 25, 33, 41, 50}},
        {6, {}},
    };
    for (const auto &row : rows)
    {
        std::vector<unsigned> progress;
        const uint32_t count = static_cast<uint32_t>(package.size());
        for (uint32_t i = 0; i < count; ++i)
        {
            if (NameMatches(package[i], {ArchNameOf(row.architecture)}))
                progress.push_back(InstallProgress(i, count));
        }
        EXPECT_EQ(progress, row.progress) << row.architecture;
    }
    EXPECT_EQ(InstallProgress(0, 0), 0u);
    EXPECT_EQ(InstallProgress(0xFFFFFFFEu, 0xFFFFFFFFu), 50u);
}

TEST(InstallProgress, RemovalTakesOnlyTheTool)
{
    const std::vector<std::wstring> filter = {L"x86", kDevconName};
    EXPECT_TRUE(NameMatches(L"x86/devcon.exe", filter));
    EXPECT_FALSE(NameMatches(L"amd64/devcon.exe", filter));
    EXPECT_FALSE(NameMatches(L"x86/zulkor.dll", filter));
    EXPECT_FALSE(NameMatches(L"x86", filter));
    EXPECT_FALSE(NameMatches(L"X86/DEVCON.EXE", filter));
    EXPECT_TRUE(NameMatches(L"anything", {}));
}

TEST(DevconCommandLine, WholeAndQuoted)
{
    const std::wstring longFolder = L"C:\\" + std::wstring(400, L'd') + L"\\x86";
    const struct
    {
        std::wstring got;
        std::wstring expected;
    } rows[] = {
        // command line                                    expected
        {DevconInstallCommandLine(L"C:\\users\\root\\Temp\\vp1A.tmp\\x86"),
         L"\"C:\\users\\root\\Temp\\vp1A.tmp\\x86\\devcon\" install Quorvallent.inf DOZ\\Quorvallent"},
        {DevconRemoveCommandLine(L"C:\\users\\root\\Temp\\vp1A.tmp\\x86"),
         L"\"C:\\users\\root\\Temp\\vp1A.tmp\\x86\\devcon\" remove DOZ\\Quorvallent"},
        {DevconRemoveCommandLine(L"C:\\Documents and Settings\\pos\\Local Settings\\Temp\\vpB.tmp\\amd64"),
         L"\"C:\\Documents and Settings\\pos\\Local Settings\\Temp\\vpB.tmp\\amd64\\devcon\" remove DOZ\\Quorvallent"},
        // Longer than any fixed buffer: nothing is cut.
        {DevconInstallCommandLine(longFolder),
         L"\"" + longFolder + L"\\devcon\" install Quorvallent.inf DOZ\\Quorvallent"},
        {DevconInstallCommandLine(L"C:\\a\"b"), L""},
    };
    for (const auto &row : rows)
        EXPECT_TRUE(row.got == row.expected) << "row " << (&row - rows);
}

// --- The INF ---------------------------------------------------------------------------------

// The driver's INF (x86 copy) and the amd64 copy the package build makes from it.
std::vector<std::string> Infs()
{
    std::ifstream in(DRIVER_INF, std::ios::binary);
    const std::string x86((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(x86.find("NTx86"), std::string::npos) << DRIVER_INF;
    std::string amd64 = x86;
    for (size_t at = amd64.find("NTx86"); at != std::string::npos; at = amd64.find("NTx86", at))
        amd64.replace(at, 5, "NTAMD64");
    return {x86, amd64};
}

// Offsets of the first byte of each line that holds all of the texts.
std::vector<size_t> LineStarts(const std::string &text, std::vector<std::string> holding)
{
    std::vector<size_t> starts;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        bool all = true;
        for (const std::string &h : holding)
            all = all && line.find(h) != std::string::npos;
        if (all)
            starts.push_back(start);
        start = end;
    }
    return starts;
}

// Offsets where two texts of the same length differ.
std::vector<size_t> Changes(const std::string &before, const std::string &after)
{
    std::vector<size_t> changes;
    for (size_t i = 0; i < before.size() && i < after.size(); ++i)
    {
        if (before[i] != after[i])
            changes.push_back(i);
    }
    return changes;
}

TEST(PatchInfText, ExactlyThePortTypesLinesAreSwitchedOn)
{
    for (const std::string &inf : Infs())
    {
        const struct
        {
            int type;
            std::vector<std::vector<std::string>> lines;
        } rows[] = {
            // port type      the lines whose leading ";" becomes a space
            {PORT_SERIAL, {{"SerialPortPropPageProvider"}, {"DeviceType", "0x0000001B"}}},
            {PORT_PARALLEL, {{"PortSubClass"}, {"ParallelPortPropPageProvider"}, {"DeviceType", "0x00000016"}}},
            {2, {}},
            {-1, {}},
        };
        for (const auto &row : rows)
        {
            std::vector<size_t> expected;
            for (const auto &holding : row.lines)
            {
                const std::vector<size_t> starts = LineStarts(inf, holding);
                ASSERT_EQ(starts.size(), 1u) << holding[0];
                ASSERT_EQ(inf[starts[0]], ';') << holding[0];
                expected.push_back(starts[0]);
            }
            std::sort(expected.begin(), expected.end());

            std::vector<char> bytes(inf.begin(), inf.end());
            EXPECT_EQ(PatchInfText(bytes.data(), bytes.size(), row.type), row.lines.size()) << row.type;
            const std::string patched(bytes.begin(), bytes.end());
            EXPECT_EQ(Changes(inf, patched), expected) << "port type " << row.type;
            for (size_t at : expected)
                EXPECT_EQ(patched[at], ' ');
            // The trailing ";serial" and ";parallel" stay comments.
            EXPECT_NE(patched.find(" ;serial"), std::string::npos);
            EXPECT_NE(patched.find(" ;parallel"), std::string::npos);
        }
    }
}

TEST(PatchInfText, EdgesOfTheText)
{
    const struct
    {
        const char *text;
        int type;
        const char *patched;
        unsigned changed;
    } rows[] = {
        // text                                           type  patched                               changed
        {"", PORT_SERIAL, "", 0},
        {";SerialPortPropPageProvider", PORT_SERIAL, " SerialPortPropPageProvider", 1},
        {"x;y SerialPortPropPageProvider", PORT_SERIAL, "x y SerialPortPropPageProvider", 1},
        // The text ends the file: found, and nothing past the end is read.
        {";a\r\n;DeviceType 0x0000001B", PORT_SERIAL, ";a\r\n DeviceType 0x0000001B", 1},
        {";DeviceType 0x0000001", PORT_SERIAL, ";DeviceType 0x0000001", 0},
        {";SerialPortPropPageProvide", PORT_SERIAL, ";SerialPortPropPageProvide", 0},
        // No ";" before the text: nothing changes.
        {"SerialPortPropPageProvider;", PORT_SERIAL, "SerialPortPropPageProvider;", 0},
        // The walk back is not limited to the line.
        {";x\r\nPortSubClass", PORT_PARALLEL, " x\r\nPortSubClass", 1},
        // Without "DeviceType" the type value is not looked for; the other lines still are.
        {";0x00000016\r\n;PortSubClass", PORT_PARALLEL, ";0x00000016\r\n PortSubClass", 1},
        // The type value counts only from the first "DeviceType" on.
        {";0x0000001B\r\nDeviceType=0", PORT_SERIAL, ";0x0000001B\r\nDeviceType=0", 0},
        // The same ";" twice: the second search finds it a space already and walks further.
        {";;ParallelPortPropPageProvider PortSubClass", PORT_PARALLEL, "  ParallelPortPropPageProvider PortSubClass", 2},
    };
    for (const auto &row : rows)
    {
        // Exactly the text's size, no terminator: the sanitizers see any read past the end.
        const size_t size = std::strlen(row.text);
        std::vector<char> bytes(row.text, row.text + size);
        EXPECT_EQ(PatchInfText(size != 0 ? bytes.data() : nullptr, size, row.type), row.changed) << row.text;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), row.patched) << row.text;
    }
}

}  // namespace
