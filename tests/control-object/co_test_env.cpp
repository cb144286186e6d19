// The apartment and the registrations every control-object test program starts from.
#include "co_test_util.h"

std::wstring ServiceObjectDll() { return WindowsPath(MALVISTRA_DLL); }
std::wstring StandInDll() { return WindowsPath(STANDIN_DLL); }

namespace {

class ComEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        // Registering again rewrites the class keys, which a program running beside this one
        // may be reading: only what is missing or points elsewhere is registered.
        const struct { std::wstring dll; const wchar_t *clsid; } servers[] = {
            {ServiceObjectDll(), kServiceObjectClsid},
            {StandInDll(), kStandInPrinterClsid},
            {StandInDll(), kStandInDrawerClsid},
        };
        for (const auto &s : servers) {
            if (!RegisteredAt(s.clsid, s.dll)) {
                ASSERT_EQ(S_OK, RegisterServer(s.dll)) << "registering " << testing::PrintToString(s.dll);
            }
        }
    }
    void TearDown() override { CoUninitialize(); }
};

const auto *const g_environment = testing::AddGlobalTestEnvironment(new ComEnvironment);

} // namespace
