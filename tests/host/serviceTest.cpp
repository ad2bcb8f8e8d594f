// vornhost as a Windows service under Wine's service manager, on the shared
// simulated controller: installed, it runs its own copy in Program Files as
// LocalService (LocalSystem only when asked); a second install changes
// nothing; started, it drives each configured fan along its curve and says
// so in `service status`, also while a reader holds the status file open and
// though another program holds a claim's name open; a console control on one
// of its fans refuses to start; a stop leaves each fan at its exit duty, and
// a start again on the same day adds to the day's CSV log under its one
// header; an uninstall removes the service, its event source and its copy. A
// claim that another program owns is waited for, not fatal. A configuration
// without a device, or one it cannot use, is refused before anything is
// installed.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <knownfolders.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "loopbackGet.h"
#include "serviceSupport.h"
#include "tests/support/registrySettings.h"
#include "tests/support/turnHolder.h"

namespace {

const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\VORN";

bool eventSourceThere()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

const char kServiceConfig[] = "service-test.json";
// The claim on fan 0 of the shared simulator's first controller.
const char kClaimOfFan0[] = "Global\\VORN fan claim VORN0000 fan 0";

std::string todaysLogPath()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char day[16];
    std::snprintf(day, sizeof day, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return serviceDataFolder() + "\\log\\control-" + day + ".csv";
}

// The service's registration: the command line and the account it runs as.
struct Registration {
    std::string commandLine, account;
};

Registration registration()
{
    Registration found;
    const SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager ? OpenServiceA(manager, "VORNFanControl", SERVICE_QUERY_CONFIG) : nullptr;
    DWORD size = 0;
    if (service != nullptr && !QueryServiceConfigA(service, nullptr, 0, &size) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<char> buffer(size);
        auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer.data());
        if (QueryServiceConfigA(service, config, size, &size)) {
            found.commandLine = config->lpBinaryPathName ? config->lpBinaryPathName : "";
            found.account = config->lpServiceStartName ? config->lpServiceStartName : "";
        }
    }
    if (service != nullptr)
        CloseServiceHandle(service);
    if (manager != nullptr)
        CloseServiceHandle(manager);
    return found;
}

bool fileThere(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

size_t headerCount(const std::vector<std::string> &log)
{
    size_t headers = 0;
    for (const std::string &line : log)
        headers += line.rfind("time,", 0) == 0 ? 1 : 0;
    return headers;
}

// The time of the last poll that `service status --json` shows.
std::string lastPollTime()
{
    const nlohmann::json shown = nlohmann::json::parse(vornhost("service status --json").output, nullptr, false);
    return !shown.is_discarded() && shown["poll"].is_object() ? shown["poll"].value("time", "") : "";
}

class Service : public ::testing::Test {
protected:
    void SetUp() override { removeService(); }
    void TearDown() override
    {
        removeService();
        DeleteFileA(kServiceConfig);
    }
    static void writeConfig(const std::string &text) { std::ofstream(kServiceConfig, std::ios::binary) << text; }
};

} // namespace

TEST_F(Service, DrivesTheFansFromStartToStopAndIsRemovedWhole)
{
    SimControl sim;
    ASSERT_TRUE(loadSharedSimulator(sim)) << sim.missing;
    // A port below Linux's ephemeral ports, which the other tests' servers take.
    constexpr int kDashboardPort = 18787;
    writeConfig(R"({"device": {"number": 0}, "http": {"port": 18787}, "fans": [
                      {"fan": 0, "sensors": ["digital3"], "points": [[-60, 30], [60, 30]], "onExit": 40},
                      {"fan": 2, "sensors": ["analog0"], "points": [[-60, 50], [60, 50]], "onExit": 70}]})");
    const ProgramRun install = vornhost(std::string("service install --config ") + kServiceConfig);
    ASSERT_EQ(install.exitCode, 0) << install.output;
    EXPECT_EQ(scQuery(), 0);
    EXPECT_TRUE(eventSourceThere());
    // Its own copy, where only administrators write, by a quoted path, as
    // LocalService.
    EXPECT_TRUE(fileThere(installedProgram())) << installedProgram();
    const Registration registered = registration();
    EXPECT_EQ(registered.commandLine, "\"" + installedProgram() + "\" service run");
    EXPECT_EQ(registered.account, "NT AUTHORITY\\LocalService");

    // A second install finds the service and changes nothing, not even the
    // configuration.
    const std::string installedConfig = fileText(serviceDataFolder() + "\\fan-curve.json");
    EXPECT_NE(installedConfig.find("\"onExit\": 70"), std::string::npos) << installedConfig;
    writeConfig(R"({"device": {"number": 0}, "fans": [{"fan": 1, "sensors": ["digital3"], "points": [[0, 20]]}]})");
    const ProgramRun again = vornhost(std::string("service install --config ") + kServiceConfig);
    EXPECT_EQ(again.exitCode, 1) << again.output;
    EXPECT_NE(again.output.find("installed already; nothing changed"), std::string::npos) << again.output;
    EXPECT_EQ(fileText(serviceDataFolder() + "\\fan-curve.json"), installedConfig);

    // The day's log, new (a test of the day before may have left one).
    const std::string logPath = todaysLogPath();
    DeleteFileA(logPath.c_str());
    // Another program holds fan 0's claim open without owning it, as anyone
    // may: that claims no fan.
    const std::unique_ptr<void, decltype(&CloseHandle)> squatter(CreateMutexA(nullptr, FALSE, kClaimOfFan0),
                                                                 CloseHandle);
    ASSERT_NE(squatter, nullptr);
    const ProgramRun start = vornhost("service start");
    ASSERT_EQ(start.exitCode, 0) << start.output;
    EXPECT_TRUE(waitUntil([&] { return frameDuty(sim, 0) == 30 && frameDuty(sim, 2) == 50; }, 10000))
        << frameDuty(sim, 0) << " " << frameDuty(sim, 2);

    const ProgramRun status = vornhost("service status --json");
    ASSERT_EQ(status.exitCode, 0) << status.output;
    const nlohmann::json shown = nlohmann::json::parse(status.output, nullptr, false);
    ASSERT_FALSE(shown.is_discarded()) << status.output;
    EXPECT_EQ(shown["state"], "running") << status.output;
    ASSERT_TRUE(shown["poll"].is_object()) << status.output;
    EXPECT_TRUE(shown["poll"]["error"].is_null()) << status.output;
    ASSERT_EQ(shown["poll"]["fans"].size(), 2u) << status.output;
    EXPECT_EQ(shown["poll"]["fans"][1]["fan"], 2);
    EXPECT_EQ(shown["poll"]["fans"][1]["target"], 50);
    EXPECT_EQ(shown["poll"]["fans"][1]["reason"], "curve");

    // Its dashboard, as the configuration asks: the last poll, as in the status file.
    const std::string served = loopbackGet(kDashboardPort, "/api/status");
    ASSERT_EQ(served.rfind("HTTP/1.1 200 ", 0), 0u) << served;
    const nlohmann::json servedStatus =
        nlohmann::json::parse(served.substr(served.find("\r\n\r\n") + 4), nullptr, false);
    ASSERT_FALSE(servedStatus.is_discarded()) << served;
    EXPECT_EQ(servedStatus["poll"]["fans"][1]["target"], 50) << served;

    // Read again and again as the status file is replaced at each poll:
    // every read finds a poll, and the polls go on.
    const std::string first = lastPollTime();
    EXPECT_FALSE(first.empty());
    std::string last = first;
    for (int read = 0; read < 20 && last == first; ++read) {
        Sleep(250);
        last = lastPollTime();
        EXPECT_FALSE(last.empty()) << "read " << read;
    }
    EXPECT_GT(last, first);

    // The service's claim holds against a console loop on one of its fans.
    std::ofstream("service-console.json", std::ios::binary)
        << R"({"device": {"number": 0}, "fans": [{"fan": 2, "sensors": ["digital0"], "points": [[20, 90]]}]})";
    const ProgramRun console = vornhost("control --count 1 --config service-console.json");
    DeleteFileA("service-console.json");
    EXPECT_EQ(console.exitCode, 2) << console.output;
    EXPECT_NE(console.output.find("is driven by another vornhost control already"), std::string::npos)
        << console.output;
    EXPECT_EQ(frameDuty(sim, 2), 50);

    const ProgramRun stop = vornhost("service stop");
    EXPECT_EQ(stop.exitCode, 0) << stop.output;
    EXPECT_EQ(frameDuty(sim, 0), 40);
    EXPECT_EQ(frameDuty(sim, 2), 70);
    EXPECT_NE(vornhost("service status").output.find("stopped"), std::string::npos);
    EXPECT_EQ(loopbackGet(kDashboardPort, "/api/status"), ""); // gone with the service
    // The day's CSV log, as vornhost plot reads it: a row per poll, fan 2 at
    // 50 %, and the exit's row last.
    const std::vector<std::string> log = linesOf(fileText(logPath));
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].rfind("time,", 0), 0u) << log[0];
    EXPECT_NE(log[1].find(",50,"), std::string::npos) << log[1];
    EXPECT_NE(log.back().find(",70,70,exit,"), std::string::npos) << log.back();

    // Started again the same day, it adds to that log: one header still.
    ASSERT_EQ(vornhost("service start").exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return frameDuty(sim, 2) == 50; }, 10000)) << frameDuty(sim, 2);
    EXPECT_EQ(vornhost("service stop").exitCode, 0);
    const std::vector<std::string> longer = linesOf(fileText(logPath));
    EXPECT_GT(longer.size(), log.size());
    EXPECT_EQ(headerCount(longer), 1u) << fileText(logPath);

    const ProgramRun uninstall = vornhost("service uninstall");
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.output;
    EXPECT_NE(scQuery(), 0);
    EXPECT_FALSE(eventSourceThere());
    EXPECT_FALSE(fileThere(installedProgram())) << installedProgram();
}

TEST_F(Service, RunsAsLocalSystemOnlyWhenAsked)
{
    writeConfig(R"({"device": {"number": 0}, "fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}]})");
    const ProgramRun install =
        vornhost(std::string("service install --account LocalSystem --config ") + kServiceConfig);
    ASSERT_EQ(install.exitCode, 0) << install.output;
    EXPECT_EQ(registration().account, "LocalSystem");
    EXPECT_EQ(vornhost("service uninstall").exitCode, 0);

    const ProgramRun other =
        vornhost(std::string("service install --account Administrator --config ") + kServiceConfig);
    EXPECT_NE(other.exitCode, 0) << other.output;
    EXPECT_NE(scQuery(), 0);
}

TEST_F(Service, InstallRefusesAConfigurationWithoutADeviceOrThatItCannotUse)
{
    const struct {
        const char *text;
        const char *message;
    } cases[] = {
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}]})",
         "service-test.json: device: a service has no user's settings"},
        {R"({"device": {"number": 0}, "fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}],
             "alarms": {"repeatMinutes": -1}})",
         "service-test.json: alarms.repeatMinutes: -1 is not from 0 to 10080 minutes"},
        {R"({"device": {"number": 0}, "fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}],
             "logDays": 0.5})",
         "service-test.json: logDays: 0.5 is not a whole number of days"},
    };
    for (const auto &c : cases) {
        writeConfig(c.text);
        const ProgramRun install = vornhost(std::string("service install --config ") + kServiceConfig);
        EXPECT_EQ(install.exitCode, 2) << c.text << "\n" << install.output;
        EXPECT_NE(install.output.find(c.message), std::string::npos) << install.output;
        EXPECT_NE(scQuery(), 0) << c.text;
    }
}

// A claim that another program owns keeps the service from that fan but does
// not end it: it stays running, drives none of its fans meanwhile, and takes
// them all once the claim is let go.
TEST_F(Service, WaitsForAClaimOwnedElsewhere)
{
    SimControl sim;
    ASSERT_TRUE(loadSharedSimulator(sim)) << sim.missing;
    writeConfig(R"({"device": {"number": 0}, "fans": [
                      {"fan": 0, "sensors": ["digital3"], "points": [[-60, 30], [60, 30]]},
                      {"fan": 1, "sensors": ["digital3"], "points": [[-60, 60], [60, 60]]}]})");
    ASSERT_EQ(vornhost(std::string("service install --config ") + kServiceConfig).exitCode, 0);
    auto other = std::make_unique<TurnHolder>(kClaimOfFan0);
    ASSERT_TRUE(other->held());
    const ProgramRun start = vornhost("service start");
    ASSERT_EQ(start.exitCode, 0) << start.output;
    Sleep(3000);
    EXPECT_NE(frameDuty(sim, 1), 60) << "fan 1 driven without every claim";
    EXPECT_NE(vornhost("service status").output.find("running"), std::string::npos);
    other.reset();
    EXPECT_TRUE(waitUntil([&] { return frameDuty(sim, 0) == 30 && frameDuty(sim, 1) == 60; }, 15000))
        << frameDuty(sim, 0) << " " << frameDuty(sim, 1);
    EXPECT_EQ(vornhost("service stop").exitCode, 0);
}
