#include <gtest/gtest.h>

#include <set>
#include <string>

#include "plugin/exports.h"
#include "tests/support/exportDirectory.h"
#include "tests/support/pluginModule.h"

namespace {

struct ExpectedExport {
    const char *name;
    int argumentBytes;
};

// Every function the plug-in exports, with its stdcall argument bytes.
const ExpectedExport kExports[] = {
    {"init", 0},
    {"dlltype", 0},
    {"getinfo", 4},
    {"getparam", 4},
    {"dllstartup", 8},
    {"dllshutdown", 4},
    {"pastemeter", 8},
    {"GetDigitalTemp", 8},
    {"GetAnalogTemp", 8},
    {"GetFanRPM", 8},
    {"GetFanPercentage", 8},
    {"GetFanMaxRPM", 8},
    {"GetFanManualMode", 8},
    {"GetValue", 8},
    {"openConnection", 8},
    {"readFromVorn", 8},
    {"SetFanPercentage", 12},
    {"configure", 0},
    {"source_configure", 8},
};

} // namespace

TEST(ExportTable, EveryFunctionUnderItsPlainNameAndItsDecoratedAlias)
{
    PluginModule plugin;
    ASSERT_TRUE(plugin.loaded());
    const ExportDirectory exports = readExportDirectory(plugin.handle());
    EXPECT_EQ(exports.moduleName, "VORN.dll");

    std::set<std::string> expectedNames;
    std::set<DWORD> functions;
    for (const ExpectedExport &e : kExports) {
        const std::string alias = "_" + std::string(e.name) + "@" + std::to_string(e.argumentBytes);
        expectedNames.insert(e.name);
        expectedNames.insert(alias);
        ASSERT_EQ(exports.nameToRva.count(e.name), 1u) << e.name;
        ASSERT_EQ(exports.nameToRva.count(alias), 1u) << alias;
        EXPECT_EQ(exports.nameToRva.at(e.name), exports.nameToRva.at(alias)) << e.name;
        functions.insert(exports.nameToRva.at(e.name));
    }
    std::set<std::string> actualNames;
    for (const auto &entry : exports.nameToRva)
        actualNames.insert(entry.first);
    EXPECT_EQ(actualNames, expectedNames);
    EXPECT_EQ(functions.size(), sizeof kExports / sizeof kExports[0]) << "two names share a function";
}

TEST(ExportTable, StdcallCalleePopsItsArguments)
{
    // Calling through a pointer of the declared type must leave the stack as
    // it was: a wrong calling convention or byte count would corrupt it.
    PluginModule plugin;
    auto getinfo = plugin.get<GetInfoFn>("_getinfo@4");
    auto pastemeter = plugin.get<PasteMeterFn>("_pastemeter@8");
    volatile int guard = 0x1234;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_STREQ(getinfo(0), "Vorn");
        EXPECT_EQ(pastemeter(i, -i), 0);
    }
    EXPECT_EQ(guard, 0x1234);
}
