#include <gtest/gtest.h>

#include <string>

#include "plugin/exports.h"
#include "tests/support/pluginModule.h"

namespace {

class EntryPoints : public ::testing::Test {
protected:
    PluginModule plugin;
};

} // namespace

TEST_F(EntryPoints, InitListsTheMeterFunctionsAndDlltypeIsOne)
{
    EXPECT_STREQ(plugin.get<InitFn>("init")(),
                 "GetAnalogTemp|GetDigitalTemp|GetFanRPM|GetFanPercentage|GetFanMaxRPM|GetFanManualMode|GetValue");
    EXPECT_EQ(plugin.get<DllTypeFn>("dlltype")(), 1);
}

TEST_F(EntryPoints, GetinfoByUnsignedIndex)
{
    auto getinfo = plugin.get<GetInfoFn>("getinfo");
    EXPECT_STREQ(getinfo(0), "Vorn");
    EXPECT_STREQ(getinfo(2), "1.1");
    EXPECT_STREQ(getinfo(3), "10-Feb-2006");
    EXPECT_STREQ(getinfo(4), "15-Mar-2006");
    EXPECT_STREQ(getinfo(5), "None");
    EXPECT_GT(std::string(getinfo(1)).size(), 0u);
    EXPECT_GT(std::string(getinfo(6)).size(), 0u);
    EXPECT_STREQ(getinfo(7), "");
    EXPECT_STREQ(getinfo(static_cast<unsigned>(-1)), "");
    EXPECT_STREQ(getinfo(0x80000000u), "");
}

TEST_F(EntryPoints, GetparamMatchesNamesExactly)
{
    auto getparam = plugin.get<GetParamFn>("getparam");
    EXPECT_STREQ(getparam("GetDigitalTemp"), "Digital Sensor Index (0-7)|");
    EXPECT_STREQ(getparam("GetAnalogTemp"), "Analog Sensor Index (0-5)|");
    for (const char *fan : {"GetFanRPM", "GetFanPercentage", "GetFanMaxRPM", "GetFanManualMode"})
        EXPECT_STREQ(getparam(fan), "Fan Index (0-3)|") << fan;
    EXPECT_STREQ(getparam("GetValue"), "Parameter ID (1-285)|");
    // One prompt text serves all four fan meters.
    EXPECT_EQ(getparam("GetFanRPM"), getparam("GetFanMaxRPM"));
    for (const char *other : {"getvalue", "GetValue ", " GetValue", "", "SetFanPercentage", "GetValueX"})
        EXPECT_STREQ(getparam(other), "|") << '"' << other << '"';
    EXPECT_STREQ(getparam(nullptr), "|");
}

TEST_F(EntryPoints, StartupReturnsFreshBlocksAndShutdownAcceptsNull)
{
    auto dllstartup = plugin.get<DllStartupFn>("dllstartup");
    auto dllshutdown = plugin.get<DllShutdownFn>("dllshutdown");
    void *first = dllstartup(nullptr, 0);
    void *second = dllstartup(nullptr, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, first), 40u);
    EXPECT_EQ(dllshutdown(first), 0);
    EXPECT_EQ(dllshutdown(second), 0);
    EXPECT_EQ(dllshutdown(nullptr), 0);
    EXPECT_EQ(plugin.get<PasteMeterFn>("pastemeter")(7, 9), 0);
}
