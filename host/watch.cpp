#include "host/watch.h"

#include <windows.h>

#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "host/hostSession.h"
#include "host/meterTable.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD)
{
    interrupted = true;
    return TRUE;
}

const MeterInfo *findMeter(const std::vector<MeterInfo> &meters, const char *name)
{
    for (const MeterInfo &m : meters) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}

// One row: a label and one reading per index of the meter.
void printRow(const MeterInfo *meter, const char *label, int width)
{
    if (meter == nullptr)
        return;
    std::printf("%-13s", label);
    for (int i = meter->low; i <= meter->high; ++i) {
        char buffer[64];
        std::printf(" %*s", width, readMeterText(*meter, i, buffer));
    }
    std::printf("\n");
}

// Prints the table; returns its line count.
int printTable(const std::vector<MeterInfo> &meters, int second, const std::string &note)
{
    const MeterInfo *digital = findMeter(meters, "GetDigitalTemp");
    char buffer[64];
    const char *first = digital ? readMeterText(*digital, 0, buffer) : "";
    const bool failing = digital != nullptr && first != buffer;
    std::printf("VORN  %4ds  %-60s\n", second, failing ? first : "readings ok");
    int lines = 1;
    if (!failing) {
        printRow(digital, "Digital C", 5);
        printRow(findMeter(meters, "GetAnalogTemp"), "Analog C", 5);
        std::printf("%-13s %7s %7s %7s %7s\n", "Fan", "0", "1", "2", "3");
        printRow(findMeter(meters, "GetFanPercentage"), "Duty %", 7);
        printRow(findMeter(meters, "GetFanRPM"), "RPM", 7);
        printRow(findMeter(meters, "GetFanMaxRPM"), "Max RPM", 7);
        printRow(findMeter(meters, "GetFanManualMode"), "Manual", 7);
        lines += 7;
    }
    std::printf("%-70s\n", note.c_str());
    return lines + 1;
}

} // namespace

int runWatch(const std::string &pluginPath, const WatchOptions &options)
{
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    SetFanPercentageFn setFan = nullptr;
    if (options.setFanAfter >= 0) {
        std::string error;
        setFan = asFunction<SetFanPercentageFn>(resolveExport(session.plugin.module, "SetFanPercentage", 12, error));
        if (setFan == nullptr) {
            std::fprintf(stderr, "vornhost: %s\n", error.c_str());
            return 1;
        }
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    const bool terminal = _isatty(_fileno(stdout)) != 0;
    session.start();

    std::string note = "Ctrl-C stops";
    int previousLines = 0;
    for (int second = 0; !interrupted; ++second) {
        if (terminal && previousLines > 0)
            std::printf("\x1b[%dA", previousLines); // back to the table's first line
        else if (!terminal && second > 0)
            std::printf("\n");
        if (setFan != nullptr && second == options.setFanAfter) {
            char unused[16];
            const char *result = setFan(unused, options.fan.c_str(), options.percent.c_str());
            note = "set fan " + options.fan + " to " + options.percent + "%: " + (result ? result : "sent");
        }
        previousLines = printTable(session.meters, second, note);
        std::fflush(stdout);
        if (options.seconds > 0 && second >= options.seconds)
            break;
        session.pumpMessages(1000);
    }
    session.stop();
    return 0;
}
