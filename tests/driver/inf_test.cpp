// The INF as shipped, byte for byte, for both architectures, and the lines the installer
// patches.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every line of the x86 INF, in order.
const char *const kInfLines[] = {
    "; Quorvallent.inf",
    ";",
    "",
    "[Version]",
    "Signature=\"$Windows NT$\"",
    "Class=Ports",
    "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}",
    "Provider=%MFG%",
    "CatalogFile=zulkor.cat",
    "DriverVer=02/04/2015,1.1.0.0",
    "",
    "[Manufacturer]",
    "%MFG%=VOKZ,NTx86",
    "",
    "[VOKZ.NTx86]",
    "%DeviceName%=Quorvallent_Install,DOZ\\Quorvallent",
    "",
    "[SourceDisksFiles]",
    "zulkor.dll=1",
    "WudfUpdate_01009.dll=1",
    "",
    "[SourceDisksNames]",
    "1 = %MediaDescription%",
    "",
    "; =================== UMDF Quorvallent Device ==================================",
    "",
    "[Quorvallent_Install.NT]",
    "CopyFiles=UMDriverCopy",
    "AddReg=Quorvallent_Install_AddReg",
    "",
    "[Quorvallent_Install.NT.hw]",
    "AddReg=Quorvallent_Install_AddReg_HW",
    "",
    "[Quorvallent_Install.NT.Services]",
    "AddService=WUDFRd,0x000001fa,WUDFRD_ServiceInstall",
    "",
    "[Quorvallent_Install.NT.CoInstallers]",
    "CopyFiles=CoInstallers_CopyFiles",
    "AddReg=CoInstallers_AddReg",
    "",
    "[Quorvallent_Install.NT.Wdf]",
    "UmdfService=Quorvallent,Quorvallent_Install",
    "UmdfServiceOrder=Quorvallent",
    "",
    "[Quorvallent_Install]",
    "UmdfLibraryVersion=1.9.0",
    "ServiceBinary=%12%\\UMDF\\zulkor.dll",
    "DriverCLSID={5D27A9E4-81C3-4F6A-B092-6E4C1D8B3A75}",
    "",
    "[Quorvallent_Install_AddReg]",
    ";HKR,,EnumPropPages32,,\"MsPorts.dll,SerialPortPropPageProvider\"",
    ";HKR,,PortSubClass,1,00",
    ";HKR,,EnumPropPages32,,\"MsPorts.dll,ParallelPortPropPageProvider\"",
    "",
    "[Quorvallent_Install_AddReg_HW]",
    ";HKR,,DeviceType,0x00010001,0x0000001B ;serial",
    ";HKR,,DeviceType,0x00010001,0x00000016 ;parallel",
    "",
    "[WUDFRD_ServiceInstall]",
    "DisplayName = %WudfRdDisplayName%",
    "ServiceType = 1",
    "StartType = 3",
    "ErrorControl = 1",
    "ServiceBinary = %12%\\WUDFRd.sys",
    "LoadOrderGroup = Base",
    "",
    "",
    "[CoInstallers_CopyFiles]",
    "WudfUpdate_01009.dll",
    "",
    "[CoInstallers_AddReg]",
    "HKR,,CoInstallers32,0x00010000,\"WUDFUpdate_01009.dll\"",
    "",
    "[DestinationDirs]",
    "UMDriverCopy=12,UMDF      ; copy to drivers\\UMDF",
    "CoInstallers_CopyFiles=11",
    "",
    "[UMDriverCopy]",
    "zulkor.dll,,,0x00000020",
    "",
    "; =================== Generic ==================================",
    "",
    "[Strings]",
    "MFG=\"Tarvelon\"",
    "MediaDescription=\"Virtual Port Driver Installation Media\"",
    "WudfRdDisplayName=\"Windows Driver Foundation - User-mode Driver Framework Reflector\"",
    "DeviceName=\"Virtual Port\"",
};

std::string Expected(const std::string &decoration)
{
    std::string text;
    for (const char *line : kInfLines) {
        std::string l = line;
        for (size_t at = l.find("NTx86"); at != std::string::npos; at = l.find("NTx86", at + 1))
            l.replace(at, 5, decoration);
        text += l + "\r\n";
    }
    return text;
}

std::string ReadFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(DriverInf, BothCopiesAreByteExact)
{
    struct Row
    {
        const char *path;
        const char *decoration;
    };
    const Row rows[] = {{ZULKOR_INF_X86, "NTx86"}, {ZULKOR_INF_AMD64, "NTAMD64"}};
    for (const Row &row : rows) {
        const std::string text = ReadFile(row.path);
        EXPECT_EQ(Expected(row.decoration), text) << row.path;
        // CR LF everywhere, nothing but 8-bit text.
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
            }
            ASSERT_NE('\0', text[i]);
        }
    }
}

// The installer finds each port line by a text and makes it active by overwriting the ';'
// nearest before it: that ';' must be the line's first character.
TEST(DriverInf, PatchableLinesStartWithTheirOnlySemicolon)
{
    const std::string text = ReadFile(ZULKOR_INF_X86);
    const char *const searched[] = {"SerialPortPropPageProvider", "PortSubClass", "ParallelPortPropPageProvider",
                                    "0x0000001B", "0x00000016"};
    size_t previous = 0;
    for (const char *needle : searched) {
        size_t at = text.find(needle);
        ASSERT_NE(std::string::npos, at) << needle;
        size_t semicolon = text.rfind(';', at);
        size_t lineStart = text.rfind('\n', at) + 1;
        EXPECT_EQ(lineStart, semicolon) << needle;
        if (std::string(needle).rfind("0x", 0) == 0) {
            EXPECT_GT(at, previous) << "serial DeviceType line first";
            previous = at;
        }
    }
}
