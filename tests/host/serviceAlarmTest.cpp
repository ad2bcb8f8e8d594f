// The service's alarm program, cmd.exe named by its full path with its
// arguments apart, run under Wine's service manager on a shared simulated
// controller that falls silent: it runs with the fail-safe's event in its
// environment, and once only within the repeat time however often the fan
// goes in and out of its fail-safe. `vornhost alarm --test` runs it with the
// test event.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "serviceSupport.h"
#include "tests/support/registrySettings.h"

namespace {

const char kAlarmFile[] = "service-alarm.txt";
// Apart from serviceTest.cpp's, which may run meanwhile in the same folder.
const char kConfig[] = "service-alarm.json";

// `text` as a JSON string's contents.
std::string jsonEscaped(const std::string &text)
{
    std::string escaped;
    for (char c : text)
        escaped += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    return escaped;
}

// The configuration with an alarm program, cmd.exe by its full path, whose
// arguments add a line "EVENT FAN" to the alarm file, by its full path too
// (the service runs elsewhere).
void writeConfig()
{
    char system[MAX_PATH] = "", file[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    GetFullPathNameA(kAlarmFile, MAX_PATH, file, nullptr);
    std::ofstream(kConfig, std::ios::binary)
        << R"({"device": {"number": 0}, "fans": [{"fan": 0, "sensors": ["digital3"], "points": [[-60, 30], [60, 30]]}],
              "alarms": {"program": ")"
        << jsonEscaped(std::string(system) + "\\cmd.exe") << R"(", "arguments": ")"
        << jsonEscaped("/c echo %VORN_EVENT% %VORN_FAN%>>\"" + std::string(file) + "\"") << R"("}})";
}

} // namespace

TEST(ServiceAlarm, ASilentControllerRunsTheProgramOnceWithTheFailsafe)
{
    removeService();
    DeleteFileA(kAlarmFile);
    SetEnvironmentVariableA("VORNSIM_SILENT_AFTER", "3");
    SimControl sim;
    ASSERT_TRUE(loadSharedSimulator(sim)) << sim.missing;
    writeConfig();

    const ProgramRun test = vornhost(std::string("alarm --test --config ") + kConfig);
    EXPECT_EQ(test.exitCode, 0) << test.output << fileText(kConfig);
    EXPECT_TRUE(waitUntil([] { return fileText(kAlarmFile).find("test") == 0; }, 5000)) << fileText(kAlarmFile);
    DeleteFileA(kAlarmFile);

    const ProgramRun install = vornhost(std::string("service install --config ") + kConfig);
    ASSERT_EQ(install.exitCode, 0) << install.output;
    ASSERT_EQ(vornhost("service start").exitCode, 0);
    EXPECT_TRUE(waitUntil([] { return !fileText(kAlarmFile).empty(); }, 15000));
    Sleep(4000); // more silent polls, each of them a fail-safe one
    const std::string alarms = fileText(kAlarmFile);
    const ProgramRun status = vornhost("service status --json");
    removeService();
    DeleteFileA(kAlarmFile);
    // One line, whatever line end cmd.exe writes.
    EXPECT_EQ(alarms.substr(0, alarms.find_first_of("\r\n")), "failsafe-entered 0") << alarms;
    EXPECT_EQ(alarms.find("failsafe", 1), std::string::npos) << alarms;
    EXPECT_NE(status.output.find(R"("alarm":"failsafe-entered")"), std::string::npos) << status.output;
}
