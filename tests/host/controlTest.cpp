// vornhost control as a user runs it, against the simulated controller: the
// fan follows a ramp up to full speed, a silent controller gets its fail-safe
// duty in the turn of the first failed read, and the exit duty comes at
// --count or at log-off, or is given up within the deadline. It needs no
// VORN.dll; a duty another program set is reapplied, a resume sends every
// duty again, a second loop on a claimed fan refuses to start, the alarm
// program runs for each alarm after the turn, not in it, and the lock's name
// is kept between polls. A
// configuration it cannot use ends it before the bridge library is even
// loaded; a dry run sends nothing. The simulator's call trace
// (VORNSIM_CALL_TRACE) shows what reached the bridge: a poll opens, writes
// the request, reads, and writes its duties; an exit or set-fan opens,
// writes and closes without a read.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/turnTaking.h"
#include "simControl.h"
#include "tests/support/processRunner.h"
#include "tests/support/registrySettings.h"
#include "tests/support/turnHolder.h"

namespace {

using Json = nlohmann::json;

const char kNoReply[] = "FT_Read: Didn't get all the data.";

std::string fileText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The JSON Lines of an output, the polls' and the exit's or (`alarms`) the
// alarms'; a line that is no JSON fails the test.
std::vector<Json> jsonLines(const std::string &output, bool alarms = false)
{
    std::vector<Json> docs;
    for (const std::string &line : linesOf(output)) {
        Json doc = Json::parse(line, nullptr, false);
        EXPECT_FALSE(doc.is_discarded()) << line;
        if (!doc.is_discarded() && doc.contains("alarm") == alarms)
            docs.push_back(doc);
    }
    return docs;
}

// How many duty commands the trace shows: each exchange from its open to
// its close writes the status request before its read, and any other write
// is a duty command (control's go in the turn of its read, after it).
int dutyCommands(const std::string &trace)
{
    int commands = 0;
    bool open = false, read = false;
    int writes = 0;
    for (const std::string &call : linesOf(trace)) {
        if (call == "open") {
            open = true;
            read = false;
            writes = 0;
        }
        writes += open && call == "write";
        read = read || (open && call == "read");
        if (call == "close") {
            commands += open ? writes - (read ? 1 : 0) : 0;
            open = false;
        }
    }
    return commands;
}

// A control run's files in the build folder (the tests' working folder),
// the call trace of its simulator among them; all removed again.
class Control : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedSettings(0, 1);
        DeleteFileA(kTrace);
        SetEnvironmentVariableA("VORNSIM_CALL_TRACE", kTrace);
    }
    void TearDown() override
    {
        for (const char *name : {"VORNSIM_CALL_TRACE", "VORNSIM_RAMP", "VORNSIM_SHARED", "VORNSIM_SILENT_AFTER"})
            SetEnvironmentVariableA(name, nullptr);
        for (const char *file : {kConfig, kCsv, kSvg, kTrace})
            DeleteFileA(file);
        clearSettings();
    }
    static void writeConfig(const std::string &text) { std::ofstream(kConfig, std::ios::binary) << text; }
    // vornhost control with `config` on a thread of its own; `processId`
    // gets its process id as soon as it runs.
    static std::thread startLoop(const std::string &config, const std::string &options, ProgramRun &run,
                                 std::atomic<unsigned long> &processId)
    {
        writeConfig(config);
        return std::thread([options, &run, &processId] {
            run = runProgram(std::string("vornhost.exe control --json --config ") + kConfig + " " + options, 30000, 0,
                             &processId);
        });
    }
    // Six polls of fan 0 of device 0 at 30 %, then 40 % at the exit, on
    // controllers shared between processes (each loads its own simulator).
    static std::thread startSharedLoop(ProgramRun &run, std::atomic<unsigned long> &processId)
    {
        SetEnvironmentVariableA("VORNSIM_SHARED", "1");
        return startLoop(R"({"device": {"number": 0}, "fans": [{"fan": 0, "sensors": ["digital3"],
                             "points": [[20, 30], [60, 30]], "onExit": 40}]})",
                         "--count 6", run, processId);
    }
    // Fan 1 at 70 % until stopped, 45 % at the exit.
    static std::thread startEndlessLoop(ProgramRun &run, std::atomic<unsigned long> &processId)
    {
        return startLoop(R"({"fans": [{"fan": 1, "sensors": ["digital0"], "points": [[20, 70], [60, 70]],
                             "onExit": 45}]})",
                         "", run, processId);
    }
    static ProgramRun control(const std::string &options, unsigned timeoutMs = 40000)
    {
        return runProgram(std::string("vornhost.exe control --config ") + kConfig + " " + options, timeoutMs);
    }

public:
    static constexpr const char *kConfig = "control-test.json";
    static constexpr const char *kCsv = "control-test.csv";
    static constexpr const char *kSvg = "control-test.svg";
    static constexpr const char *kTrace = "control-test.trace";
};

// The hidden window of the control process `processId`, once its first
// duty is out (the loop runs); null when that does not come within 10 s.
HWND runningLoopWindow(const std::atomic<unsigned long> &processId)
{
    HWND window = nullptr;
    const bool running = waitUntil(
        [&] {
            for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "VornHostWindow", nullptr)) != nullptr;) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                window = owner == processId ? w : window;
            }
            return window != nullptr && dutyCommands(fileText(Control::kTrace)) == 1;
        },
        10000);
    return running ? window : nullptr;
}

// Digital sensor 3 from 30 to 60 degrees over 20 s; the curve reaches 100 %
// at 48. Every duty sent is higher than the one before, the last is 100, and
// the frame shows it; then the exit duty. The CSV log holds the same
// and is drawn by plot.
TEST_F(Control, FollowsARampUpToFullSpeedThenGivesTheExitDuty)
{
    SetEnvironmentVariableA("VORNSIM_RAMP", "digital3:30:60:20");
    writeConfig(R"({"interval": 1, "fans": [{"fan": 0, "sensors": ["digital3"],
                    "points": [[30, 20], [48, 100]], "onExit": 50}]})");
    const ProgramRun run = control(std::string("--json --count 15 --csv ") + kCsv);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    ASSERT_EQ(docs.size(), 16u) << run.output;
    std::vector<int> sent;
    double lastInput = 0;
    for (size_t i = 0; i < 15; ++i) {
        const Json &doc = docs[i];
        ASSERT_TRUE(doc["error"].is_null()) << doc;
        ASSERT_EQ(doc["fans"].size(), 1u) << doc;
        const Json &fan = doc["fans"][0];
        EXPECT_EQ(fan["fan"], 0);
        EXPECT_GE(fan["input"].get<double>(), lastInput) << doc;
        lastInput = fan["input"].get<double>();
        EXPECT_EQ(fan["reason"], "curve") << doc;
        if (!fan["sent"].is_null()) {
            EXPECT_EQ(fan["sent"], fan["target"]) << doc;
            sent.push_back(fan["sent"]);
        }
    }
    ASSERT_GE(sent.size(), 5u) << run.output;
    EXPECT_LT(sent.front(), 50) << run.output;
    for (size_t i = 1; i < sent.size(); ++i)
        EXPECT_GT(sent[i], sent[i - 1]) << run.output;
    EXPECT_EQ(sent.back(), 100) << run.output;
    EXPECT_EQ(docs.back()["exit"], "count") << docs.back();
    EXPECT_EQ(docs.back()["fans"], Json::parse(R"([{"fan":0,"input":null,"target":50,"sent":50,"reason":"exit"}])"));

    const std::vector<std::string> rows = linesOf(fileText(kCsv));
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0].substr(rows[0].find(",analog5,")), ",analog5,fan0_duty,fan0_target,fan0_sent,fan0_reason,error");
    // The plug-in's next poll shows it (the last rows, as the polls are not
    // in step).
    EXPECT_NE(rows[15].find(",100,100,,curve,"), std::string::npos) << rows[15] << " (the frame shows 100 %)";
    EXPECT_NE(rows[16].find(",,50,50,exit,"), std::string::npos) << rows[16];
    const ProgramRun plot = runProgram(std::string("vornhost.exe plot ") + kCsv + " --out " + kSvg);
    EXPECT_EQ(plot.exitCode, 0) << plot.output;
    const std::string svg = fileText(kSvg);
    for (const char *column : {"digital3", "fan0_duty", "fan0_target"})
        EXPECT_NE(svg.find(std::string("data-column=\"") + column + "\""), std::string::npos) << column << " not drawn";
}

// In a folder with vornhost.exe and FTD2XX.dll and no VORN.dll, the loop
// drives the controller the configuration names: each poll reads the frame
// in a turn of its own, and the duties reach the wire.
TEST_F(Control, RunsWithoutThePlugin)
{
    const char *folder = "control-noplugin";
    CreateDirectoryA(folder, nullptr);
    ASSERT_TRUE(CopyFileA("vornhost.exe", "control-noplugin\\vornhost.exe", FALSE));
    ASSERT_TRUE(CopyFileA("FTD2XX.dll", "control-noplugin\\FTD2XX.dll", FALSE));
    clearSettings();
    writeConfig(R"({"device": {"number": 0}, "fans": [{"fan": 3, "sensors": ["digital0"],
                    "points": [[20, 60], [60, 60]], "onExit": 35}]})");
    const ProgramRun run =
        runProgram(std::string("control-noplugin\\vornhost.exe control --json --count 5 --config ") + kConfig);
    for (const char *file : {"control-noplugin\\vornhost.exe", "control-noplugin\\FTD2XX.dll"})
        DeleteFileA(file);
    RemoveDirectoryA(folder);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    ASSERT_EQ(docs.size(), 6u) << run.output;
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(docs[i]["error"].is_null()) << docs[i];
        EXPECT_EQ(docs[i]["fans"][0]["target"], 60) << docs[i];
    }
    EXPECT_EQ(docs[0]["fans"][0]["sent"], 60) << docs[0];
    // The frame of a later turn shows the duty sent: nothing to reapply.
    EXPECT_TRUE(docs[4]["fans"][0]["sent"].is_null()) << docs[4];
    EXPECT_EQ(docs[5]["fans"][0]["sent"], 35) << docs[5];
    const std::string trace = fileText(kTrace);
    EXPECT_EQ(dutyCommands(trace), 2) << trace;
    const std::vector<std::string> calls = linesOf(trace);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "read"), 5) << trace;
}

// A set-fan of another program is undone at the loop's next poll, which says
// what the fan ran at, and set-fan warns that it will be.
TEST_F(Control, ADutySetElsewhereIsReappliedAtTheNextPoll)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startSharedLoop(run, processId);
    const bool running = runningLoopWindow(processId) != nullptr;
    ProgramRun setFan;
    if (running)
        setFan = runProgram("vornhost.exe set-fan --device 0 0 80", 10000);
    controller.join();
    ASSERT_TRUE(running) << run.output;
    EXPECT_EQ(setFan.exitCode, 0) << setFan.output;
    EXPECT_NE(setFan.output.find("fan 0 of VORN0000 is driven by vornhost control, which will set the fan back at its "
                                 "next poll"),
              std::string::npos)
        << setFan.output;
    ASSERT_EQ(run.exitCode, 0) << run.output;
    bool reapplied = false;
    for (const Json &doc : jsonLines(run.output)) {
        const Json &fan = doc["fans"][0];
        reapplied =
            reapplied || (fan["reason"] == "reapply" && fan["message"] == "the fan ran at 80 %" && fan["sent"] == 30);
    }
    EXPECT_TRUE(reapplied) << run.output;
    // On the wire: the loop's 30 %, set-fan's 80 %, the loop's 30 % again,
    // the exit's 40 %.
    EXPECT_EQ(dutyCommands(fileText(kTrace)), 4) << fileText(kTrace);
}

// A controller that goes away (unplugged by another process of the shared
// controllers) gets nothing while it is away, and each poll says why; once
// it is back, the next poll's duty reaches it.
TEST_F(Control, ADeviceThatGoesAwayGetsItsDutyWhenItComesBack)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startSharedLoop(run, processId);
    const bool running = runningLoopWindow(processId) != nullptr;
    ProgramRun peer;
    if (running)
        peer = runProgram("simpeer.exe shared 1 unplug 0 sleep 2000 plug 0", 10000);
    controller.join();
    ASSERT_TRUE(running) << run.output;
    EXPECT_EQ(peer.exitCode, 0) << peer.output;
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    const std::string gone = "FT_OpenEx: Can't open requested device.";
    size_t lastGone = 0;
    for (size_t i = 0; i < docs.size(); ++i) {
        if (docs[i].contains("error") && docs[i]["error"] == gone) {
            lastGone = i;
            EXPECT_TRUE(docs[i]["fans"][0]["sent"].is_null()) << docs[i];
            EXPECT_EQ(docs[i]["fans"][0]["sendError"], gone) << docs[i];
        }
    }
    ASSERT_GT(lastGone, 0u) << run.output;
    ASSERT_LT(lastGone + 1, docs.size()) << run.output;
    EXPECT_TRUE(docs[lastGone + 1]["error"].is_null()) << run.output;
    EXPECT_FALSE(docs[lastGone + 1]["fans"][0]["sent"].is_null()) << "back: the duty goes again\n" << run.output;
    EXPECT_EQ(docs.back()["fans"][0]["sent"], 40) << run.output;
}

// One loop per fan: a second loop naming a fan that a running one drives
// (here by its serial number, the first by its device number) ends at once
// with exit 2, naming the fan, and sends nothing: the wire carries the first
// loop's duty and its exit duty only.
TEST_F(Control, ASecondLoopOnAClaimedFanRefusesToStart)
{
    ProgramRun first;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startSharedLoop(first, processId);
    const bool running = runningLoopWindow(processId) != nullptr;
    const char *second = "control-second.json";
    std::ofstream(second, std::ios::binary)
        << R"({"device": {"serial": "VORN0000"}, "fans": [{"fan": 2, "sensors": ["digital3"], "points": [[20, 70]]},
                                              {"fan": 0, "sensors": ["digital3"], "points": [[20, 70]]}]})";
    ProgramRun refused;
    DWORD took = 0;
    if (running) {
        const DWORD start = GetTickCount();
        refused = runProgram(std::string("vornhost.exe control --json --count 2 --config ") + second, 10000);
        took = GetTickCount() - start;
    }
    controller.join();
    DeleteFileA(second);
    ASSERT_TRUE(running) << first.output;
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_LT(took, 5000u);
    EXPECT_NE(refused.output.find("vornhost: fan 0 of VORN0000 is driven by another vornhost control already (another "
                                  "program owns its claim, \"Global\\VORN fan claim VORN0000 fan 0\"); nothing "
                                  "was sent"),
              std::string::npos)
        << refused.output;
    ASSERT_EQ(first.exitCode, 0) << first.output;
    EXPECT_EQ(dutyCommands(fileText(kTrace)), 2) << fileText(kTrace);
    for (const Json &doc : jsonLines(first.output))
        EXPECT_NE(doc["fans"][0]["reason"], "reapply") << "the wire alternated: " << doc;
}

// Four alarms in one poll (each fan's critical, at the first poll), whose
// program, cmd.exe by its full path, takes 3 s each: the loop runs it for
// each alarm, with the event in its environment, after its turn on the
// controller, so that another program gets the controller within 2 s
// meanwhile and read-device its frame.
TEST_F(Control, TheAlarmProgramRunsForEachAlarmOutsideTheTurn)
{
    SetEnvironmentVariableA("VORNSIM_SHARED", "1");
    const char *alarmFile = "control-alarms.txt";
    DeleteFileA(alarmFile);
    char system[MAX_PATH] = "", file[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    GetFullPathNameA(alarmFile, MAX_PATH, file, nullptr);
    Json config = Json::parse(R"({"device": {"number": 0}, "fans": []})");
    for (int fan = 0; fan < 4; ++fan)
        config["fans"].push_back(
            {{"fan", fan}, {"sensors", {"digital3"}}, {"points", {{20, 30}, {60, 30}}}, {"critical", -60}});
    config["alarms"] = {
        {"program", std::string(system) + "\\cmd.exe"},
        {"arguments", "/c echo %VORN_EVENT% %VORN_FAN%>>\"" + std::string(file) + "\" & ping -n 4 127.0.0.1 >nul"}};
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startLoop(config.dump(), "--count 2", run, processId);
    const bool alarming = waitUntil([&] { return !fileText(alarmFile).empty(); }, 15000);
    DWORD waited = 0;
    ProgramRun read;
    if (alarming) {
        const HANDLE lock = CreateMutexA(nullptr, FALSE, kControllerLockName);
        const DWORD start = GetTickCount();
        const DWORD result = WaitForSingleObject(lock, 2000);
        waited = GetTickCount() - start;
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(lock);
        CloseHandle(lock);
        read = runProgram("vornhost.exe read-device 0", 10000);
    }
    controller.join();
    const std::string alarms = fileText(alarmFile);
    DeleteFileA(alarmFile);
    ASSERT_TRUE(alarming) << run.output;
    EXPECT_LT(waited, 2000u) << "the loop kept the controller while its alarm program ran";
    EXPECT_EQ(read.exitCode, 0) << read.output;
    EXPECT_NE(read.output.find("status frame of 285 bytes"), std::string::npos) << read.output;
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(jsonLines(run.output, true).size(), 4u) << run.output;
    const std::vector<std::string> lines = linesOf(alarms);
    ASSERT_EQ(lines.size(), 4u) << alarms;
    for (int fan = 0; fan < 4; ++fan)
        EXPECT_EQ(lines[fan].substr(0, lines[fan].find_last_not_of(' ') + 1), "critical-entered " + std::to_string(fan))
            << alarms;
}

// Between its polls the loop keeps its handle on the controller's lock, so
// that the name exists throughout and nobody can create it in between under
// a descriptor that refuses the others.
TEST_F(Control, KeepsTheControllersLockOpenBetweenPolls)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startEndlessLoop(run, processId);
    const HWND window = runningLoopWindow(processId);
    int seen = 0;
    if (window != nullptr) {
        for (int look = 0; look < 10; ++look, Sleep(150)) {
            const HANDLE lock = OpenMutexA(SYNCHRONIZE, FALSE, kControllerLockName);
            seen += lock != nullptr;
            if (lock != nullptr)
                CloseHandle(lock);
        }
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer);
    }
    controller.join();
    ASSERT_NE(window, nullptr) << run.output;
    EXPECT_EQ(seen, 10) << "the lock's name was gone between polls";
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// The controller stops answering 4 s after the simulator's state was made
// (by this process, so that it can watch the fan's duty throughout in the
// shared controller): the reading fails, the plug-in refuses duties, and the
// fail-safe duty goes straight to the device. The curve alone never asks
// more than 30 %; the frame shows 100 %.
TEST_F(Control, ASilentControllerGetsItsFailsafeDuty)
{
    SetEnvironmentVariableA("VORNSIM_SHARED", "1");
    SetEnvironmentVariableA("VORNSIM_SILENT_AFTER", "4");
    // Kept loaded to the end of the process: the shared state lives as long.
    // Without a trace of its own, which would keep the file open.
    SetEnvironmentVariableA("VORNSIM_CALL_TRACE", nullptr);
    static HMODULE simulator = LoadLibraryA("FTD2XX.dll");
    SetEnvironmentVariableA("VORNSIM_CALL_TRACE", kTrace);
    SimControl sim;
    ASSERT_TRUE(simulator != nullptr && sim.load(simulator)) << sim.missing;
    ASSERT_EQ(sim.isShared(), 1);
    sim.reset();
    writeConfig(R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[20, 30], [60, 30]],
                    "maxStepDown": 1, "onExit": 40}]})");
    ProgramRun run;
    std::thread controller([&] { run = control("--json --count 7"); });
    int highest = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000 && run.exitCode == -1; Sleep(20)) {
        unsigned char frame[SIM_FRAME_SIZE];
        if (sim.getFrame(0, frame) == 0)
            highest = std::max(highest, 2 * static_cast<int>(frame[SIM_OFF_DUTY]));
    }
    controller.join();
    ASSERT_EQ(run.exitCode, 0) << run.output;
    bool failsafe = false;
    for (const Json &doc : jsonLines(run.output)) {
        const Json &fan = doc["fans"][0];
        if (fan["reason"] == "failsafe" && doc["error"] == kNoReply && fan["sent"] == 100)
            failsafe = fan["message"] == "the reading failed" && fan["input"].is_null() && fan["target"] == 100;
    }
    EXPECT_TRUE(failsafe) << run.output;
    // In the very turn whose read failed.
    for (const Json &doc : jsonLines(run.output)) {
        if (doc.contains("error") && !doc["error"].is_null()) {
            EXPECT_EQ(doc["fans"][0]["sent"], 100) << doc;
            break;
        }
    }
    EXPECT_EQ(highest, 100) << run.output;
    // One alarm, the fail-safe's: three silent polls are not the controller
    // lost yet (30 s by default).
    const std::vector<Json> alarms = jsonLines(run.output, true);
    ASSERT_EQ(alarms.size(), 1u) << run.output;
    EXPECT_EQ(alarms[0]["alarm"], "failsafe-entered");
    EXPECT_EQ(alarms[0]["severity"], "error");
    EXPECT_EQ(alarms[0]["fan"], 0);
    EXPECT_EQ(alarms[0]["message"], "fan 0 runs at its fail-safe duty of 100 %: the reading failed");
    unsigned char frame[SIM_FRAME_SIZE];
    ASSERT_EQ(sim.getFrame(0, frame), 0);
    EXPECT_EQ(frame[SIM_OFF_DUTY], 20) << "the exit duty, 40 %, is what the fan keeps";
}

// Each mistake is named by its place, with exit code 2, before the bridge
// library is loaded: the trace stays empty.
TEST_F(Control, AConfigurationItCannotUseEndsItBeforeAnythingIsLoaded)
{
    const struct {
        const char *text;
        const char *message;
    } cases[] = {
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20] [50, 60]]}]})",
         "control-test.json: parse error at line 1, column 67: "},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]], "hysterisis": 2}]})",
         "control-test.json: fans[0].hysterisis: unknown key"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]},
                      {"fan": 1, "sensors": ["digital3", "analog6"], "points": [[30, 20]]}]})",
         "control-test.json: fans[1].sensors[1]: unknown sensor \"analog6\""},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20], [50, 60], [45, 100]]}]})",
         "control-test.json: fans[0].points[2]: temperature 45 does not rise"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20], [50, "60"]]}]})",
         "control-test.json: fans[0].points[1]: needs [celsius, percent], two numbers"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20], [70, 100]]}]})",
         "control-test.json: fans[0].points[1]: temperature 70 is outside what the controller reports"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 120]]}]})",
         "control-test.json: fans[0].points[0]: duty 120 is outside 0 to 100 %"},
        {R"({"interval": 1, "fans": []})", "control-test.json: fans: no fan named"},
        {R"({"fans": [{"sensors": ["digital3"], "points": [[30, 20]]}]})",
         "control-test.json: fans[0]: \"fan\" is missing"},
        {R"({"device": {"serial": 7}, "fans": []})",
         "control-test.json: device.serial: needs a serial number such as \"VORN0000\", not 7"},
        // The alarm program is named by its full path, never searched for.
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}],
             "alarms": {"program": "powershell", "arguments": "-File C:\\VORN\\notify.ps1"}})",
         "control-test.json: alarms.program: \"powershell\" is a bare name, which Windows would search for: name the "
         "program by its full path"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}],
             "alarms": {"program": "tools\\notify.exe"}})",
         "control-test.json: alarms.program: \"tools\\notify.exe\" is a relative path"},
        {R"({"fans": [{"fan": 0, "sensors": ["digital3"], "points": [[30, 20]]}],
             "alarms": {"command": "powershell -File notify.ps1"}})",
         "control-test.json: alarms.command: no longer read: name the program by its full path in \"program\" and its "
         "arguments in \"arguments\""},
        // Hostile files: a number past a double's range, a nesting that would
        // exhaust the stack of the parser that builds the document.
        {R"({"interval": 1e999, "fans": []})",
         "control-test.json: at line 1, column 18: number overflow parsing '1e999'"},
        {nullptr, "control-test.json: at line 1, column 33: nested deeper than 32 levels"},
    };
    const std::string deep(200000, '[');
    for (const auto &c : cases) {
        writeConfig(c.text != nullptr ? c.text : deep);
        const ProgramRun run = control("--json", 10000);
        const std::string text = c.text != nullptr ? c.text : "200,000 levels";
        EXPECT_EQ(run.exitCode, 2) << text << "\n" << run.output;
        EXPECT_NE(run.output.find(std::string("vornhost: ") + c.message), std::string::npos) << text << "\n"
                                                                                             << run.output;
        EXPECT_EQ(fileText(kTrace), "") << text;
    }
    const ProgramRun usage = runProgram("vornhost.exe control --json");
    EXPECT_EQ(usage.exitCode, 2) << usage.output;
    EXPECT_NE(usage.output.find("--config is required"), std::string::npos) << usage.output;
}

// A dry run prints what it would send, in the table, and sends nothing, not
// even the exit duty: the bridge sees polls only.
TEST_F(Control, ADryRunSendsNothing)
{
    writeConfig(R"({"fans": [{"fan": 2, "sensors": ["analog0"], "points": [[20, 70], [60, 70]], "onExit": 35}]})");
    const ProgramRun run = control("--dry-run --count 2");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<std::string> lines = linesOf(run.output);
    ASSERT_EQ(lines.size(), 5u) << run.output;
    EXPECT_NE(lines[0].find("dry run: nothing is sent"), std::string::npos) << run.output;
    EXPECT_EQ(lines[1], "Time                      Fan  Input C  Target %  Sent %  Reason");
    EXPECT_NE(lines[2].find("    2  "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("        70       -  curve"), std::string::npos) << lines[2];
    EXPECT_NE(lines[4].find("    2        -        35       -  exit (count)"), std::string::npos) << lines[4];
    const std::string trace = fileText(kTrace);
    EXPECT_NE(trace.find("read"), std::string::npos) << trace;
    EXPECT_EQ(dutyCommands(trace), 0) << trace;
}

// Without a device in the configuration and without stored settings,
// nothing is opened or sent, and each line says why.
TEST_F(Control, WithoutANamedDeviceNothingIsSent)
{
    clearSettings();
    writeConfig(R"({"fans": [{"fan": 0, "sensors": ["digital0"], "points": [[20, 70]]}]})");
    const ProgramRun run = control("--json --count 1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    ASSERT_EQ(docs.size(), 2u) << run.output;
    const std::string noDevice =
        "vornhost: no device named: the configuration has no \"device\" and no device "
        "number is stored; name one or configure the plug-in";
    EXPECT_EQ(docs[0]["error"], noDevice);
    for (const Json &doc : docs) {
        EXPECT_TRUE(doc["fans"][0]["sent"].is_null()) << doc;
        EXPECT_EQ(doc["fans"][0]["sendError"], noDevice) << doc;
    }
    EXPECT_EQ(fileText(kTrace), "");
}

// Log-off as Windows tells a program that has windows: WM_QUERYENDSESSION,
// then WM_ENDSESSION to its top-level windows (vornhost's hidden host
// window). The exit duty is out before the window procedure returns, since
// Windows may end the process from then on, even when it has to wait for its
// turn on the controller; then vornhost ends by itself.
// (Ctrl-C, Ctrl-Break and closing the console reach the same exit through
// the console handler; Wine delivers no GenerateConsoleCtrlEvent to a test,
// so those are not tested here.)
TEST_F(Control, ALogOffGivesTheExitDutyBeforeTheWindowAnswers)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startEndlessLoop(run, processId);
    // Its first duty is out: the loop runs.
    const HWND window = runningLoopWindow(processId);
    const bool running = window != nullptr;
    // Another program keeps the controller a second meanwhile: the window
    // answers only once the exit duty got its turn and went out.
    DWORD_PTR agreed = 0, ended = 1;
    std::string trace;
    std::atomic<bool> answered{false};
    if (running) {
        SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &agreed);
        auto turn = std::make_unique<TurnHolder>();
        std::thread endSession([&] {
            SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &ended);
            trace = fileText(kTrace);
            answered = true;
        });
        Sleep(1000);
        EXPECT_FALSE(answered) << "the window answered before the exit duty went out";
        turn.reset();
        endSession.join();
    }
    controller.join();
    ASSERT_TRUE(running) << run.output;
    EXPECT_EQ(agreed, static_cast<DWORD_PTR>(TRUE)) << "vornhost never holds a log-off up";
    EXPECT_EQ(ended, 0u);
    EXPECT_EQ(dutyCommands(trace), 2) << "the exit duty was not out when the window answered\n" << trace;
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    ASSERT_GE(docs.size(), 2u) << run.output;
    EXPECT_EQ(docs.back()["exit"], "logoff") << run.output;
    EXPECT_EQ(docs.back()["fans"][0]["sent"], 45) << run.output;
}

// The exit inside Windows' deadline: another program keeps the controller
// when the session ends, so the exit duty cannot go out. The window answers
// within 4 s all the same, and the output says the exit duty was given up.
TEST_F(Control, AnExitThatCannotHaveItsTurnIsGivenUpWithinTheDeadline)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startEndlessLoop(run, processId);
    const HWND window = runningLoopWindow(processId);
    DWORD took = 0;
    if (window != nullptr) {
        auto turn = std::make_unique<TurnHolder>();
        EXPECT_TRUE(turn->held());
        DWORD_PTR ended = 1;
        const DWORD start = GetTickCount();
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &ended);
        took = GetTickCount() - start;
        controller.join();
    } else {
        controller.join();
    }
    ASSERT_NE(window, nullptr) << run.output;
    EXPECT_LT(took, 4000u);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<Json> docs = jsonLines(run.output);
    ASSERT_GE(docs.size(), 2u) << run.output;
    EXPECT_EQ(docs.back()["exit"], "shutdown") << run.output;
    EXPECT_TRUE(docs.back()["fans"][0]["sent"].is_null()) << run.output;
    EXPECT_EQ(docs.back()["fans"][0]["sendError"],
              "vornhost: another program kept the controller past the exit's deadline; given up")
        << run.output;
    EXPECT_EQ(dutyCommands(fileText(kTrace)), 1);
}

// After a resume (as Windows tells the hidden window) the next poll comes at
// once and sends the duty again, although it has not changed: the
// controller may have been powered anew.
TEST_F(Control, AResumeSendsTheDutyAgainAtOnce)
{
    ProgramRun run;
    std::atomic<unsigned long> processId{0};
    std::thread controller = startEndlessLoop(run, processId);
    const HWND window = runningLoopWindow(processId);
    bool again = false;
    if (window != nullptr) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0, SMTO_NORMAL, 5000, &answer);
        again = waitUntil([] { return dutyCommands(fileText(kTrace)) == 2; }, 5000);
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer);
    }
    controller.join();
    ASSERT_NE(window, nullptr) << run.output;
    EXPECT_TRUE(again) << fileText(kTrace);
    bool reapplied = false;
    for (const Json &doc : jsonLines(run.output)) {
        const Json &fan = doc["fans"][0];
        reapplied =
            reapplied || (fan["reason"] == "reapply" && fan["message"] == "the computer resumed" && fan["sent"] == 70);
    }
    EXPECT_TRUE(reapplied) << run.output;
}

} // namespace
