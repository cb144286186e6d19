// Property answers by index: fields, fixed capabilities, strings, and what cannot be set.
#include "so_test_util.h"

namespace {

class Properties : public testing::Test
{
protected:
    Properties() : key(L"PropertiesTest")
    {
        key.SetString(L"DeviceName", L"Counter printer");
        key.SetString(L"DeviceDesc", L"80 mm thermal receipt printer");
        key.SetString(L"Description", L"POSPrinter service object");
        printer = NewPrinter();
        EXPECT_EQ(0, Open(*printer, L"POSPrinter", key.Name()));
    }

    std::wstring String(long index, bool *isNull = nullptr)
    {
        BSTR s = reinterpret_cast<BSTR>(static_cast<intptr_t>(-1));   // caught if left alone
        EXPECT_EQ(S_OK, printer->GetPropertyString(index, &s));
        if (isNull)
            *isNull = s == nullptr;
        std::wstring out = s ? std::wstring(s, SysStringLen(s)) : std::wstring();
        SysFreeString(s);
        return out;
    }

    TestDeviceKey key;
    PrinterPtr printer;
};

TEST_F(Properties, NumbersAfterOpen)
{
    const struct { long index; long value; } rows[] = {
        // index  answer            (boundaries of each range included)
        {0, 0}, {-1, 0}, {-8002, 0},
        {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0},
        {8, 1011001}, {9, 2}, {10, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 2001}, {15, 0},
        {500, 0}, {501, 0}, {505, 0}, {506, 0},
        {8000, 0}, {8001, 0}, {8002, 437}, {8003, 0}, {8004, 0}, {8005, 0}, {8006, 0},
        {8018, 0}, {8019, 4}, {8020, 0}, {8045, 0},
        {8046, 0}, {8047, 0}, {8048, 1}, {8049, 2}, {8050, 0}, {8051, 0},
        {8500, 0}, {8501, 0}, {8503, 0}, {8504, -1}, {8505, 0}, {8506, -1}, {8510, -1},
        {8511, 0}, {8512, -1}, {8513, 0}, {8514, -1}, {8515, 0}, {8516, -1}, {8522, -1},
        {8523, 0}, {8524, -1}, {8527, -1}, {8528, 0}, {8529, -1}, {8530, 0}, {8531, -1},
        {8532, 0}, {8533, -1}, {8539, -1}, {8540, 0}, {8541, 0}, {8542, -1}, {8543, -1},
        {8544, 0}, {8545, 0}, {8547, 0}, {8548, 998}, {8549, 0}, {8550, 0}, {8551, 1},
        {8552, 0}, {8553, 1}, {8554, 0}, {8556, 0}, {8557, 1}, {8558, 0}, {8559, 0},
        {8561, 0}, {8562, 0}, {9999, 0}, {1000001, 0}, {0x7FFFFFFF, 0},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.value, NumberProperty(*printer, row.index)) << "index " << row.index;
}

TEST_F(Properties, SettableNumbersAreStoredUnchecked)
{
    const struct { long index; long value; } rows[] = {
        {10, 1}, {11, 2}, {8001, -5}, {8002, 1252}, {8002, 5}, {8005, 123456},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(S_OK, printer->SetPropertyNumber(row.index, row.value));
        EXPECT_EQ(row.value, NumberProperty(*printer, row.index)) << "index " << row.index;
    }
}

TEST_F(Properties, OtherNumbersCannotBeSet)
{
    for (long index : {1L, 2L, 4L, 5L, 6L, 7L, 8L, 9L, 8019L, 8046L, 8048L, 8504L, 0L, -1L}) {
        long before = NumberProperty(*printer, index);
        EXPECT_EQ(S_OK, printer->SetPropertyNumber(index, 77));
        EXPECT_EQ(before, NumberProperty(*printer, index)) << "index " << index;
    }
}

TEST_F(Properties, Strings)
{
    const struct { long index; const wchar_t *value; } rows[] = {
        {1000001, L""},
        {1000002, L"80 mm thermal receipt printer"},
        {1000003, L"Counter printer"},
        {1000004, L"POSPrinter service object"},
        {1008001, L"437"}, {1008002, L""}, {1008003, L"48"}, {1008004, L""}, {1008005, L""},
        {1008006, L""}, {1008007, L"0"}, {1008008, L""}, {1008009, L"0"}, {1008010, L""},
        {1008011, L""}, {1008012, L"0,0,0,0"},
    };
    for (const auto &row : rows) {
        bool isNull = true;
        EXPECT_EQ(row.value, String(row.index, &isNull)) << "index " << row.index;
        EXPECT_FALSE(isNull) << "index " << row.index;
    }
    for (long index : {5L, 0L, 1000000L, 1000005L, 1008000L, 1008013L, -1L}) {
        bool isNull = false;
        String(index, &isNull);
        EXPECT_TRUE(isNull) << "index " << index;
    }
}

TEST_F(Properties, StringsAndFreezeCannotBeSet)
{
    com::CBstr text(L"changed");
    for (long index : {1000001L, 1000003L, 1008001L, 1008012L})
        EXPECT_EQ(S_OK, printer->SetPropertyString(index, text.Get()));
    long rc = -1;
    EXPECT_EQ(S_OK, printer->COFreezeEvents(TRUE, &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(S_OK, printer->COFreezeEvents(FALSE, &rc));
    EXPECT_EQ(L"Counter printer", String(1000003));
    EXPECT_EQ(L"437", String(1008001));
    EXPECT_EQ(0, NumberProperty(*printer, 4));
}

TEST_F(Properties, EmptyDeviceKeyGivesEmptyStrings)
{
    TestDeviceKey empty(L"PropertiesTest.Empty");
    PrinterPtr other = NewPrinter();
    ASSERT_EQ(0, Open(*other, L"POSPrinter", empty.Name()));
    BSTR s = nullptr;
    EXPECT_EQ(S_OK, other->GetPropertyString(1000002, &s));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0u, SysStringLen(s));
    SysFreeString(s);
}

TEST_F(Properties, StubsReportSuccess)
{
    long rc = -1, result = -1;
    BSTR stats = SysAllocString(L"<stats/>");
    com::CBstr file(L"fw.bin");
    EXPECT_EQ(S_OK, printer->ResetStatistics(&stats, &rc));
    EXPECT_EQ(0, rc);
    rc = -1;
    EXPECT_EQ(S_OK, printer->RetrieveStatistics(&stats, &rc));
    EXPECT_EQ(0, rc);
    rc = -1;
    EXPECT_EQ(S_OK, printer->UpdateStatistics(stats, &rc));
    EXPECT_EQ(0, rc);
    rc = -1;
    EXPECT_EQ(S_OK, printer->CompareFirmwareVersion(file.Get(), &result, &rc));
    EXPECT_EQ(0, rc);
    EXPECT_EQ(0, result);
    rc = -1;
    EXPECT_EQ(S_OK, printer->UpdateFirmware(file.Get(), &rc));
    EXPECT_EQ(0, rc);
    EXPECT_STREQ(L"<stats/>", stats);
    SysFreeString(stats);
    EXPECT_EQ(0, NumberProperty(*printer, 6));
}

} // namespace
