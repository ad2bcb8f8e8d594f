#include "host/watch.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "host/hostSession.h"
#include "host/readings.h"

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleEvent(DWORD)
{
    interrupted = true;
    return TRUE;
}

// The table on a console stays in place: each one starts where the first
// began. Every table has the same number of lines, each one console row: cut
// short of the row's end (a line that reached it would wrap, and the table
// would no longer start where it is put back) and padded to it, so a new
// table covers the old one entirely.
class ConsoleTable {
public:
    ConsoleTable()
    {
        out_ = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD mode;
        console_ = out_ != nullptr && out_ != INVALID_HANDLE_VALUE && GetConsoleMode(out_, &mode);
    }
    bool console() const { return console_; }
    // The characters one line may have on the console: its width less one;
    // 0 when not writing to a console.
    int lineWidth() const { return lineWidth_; }

    void beforeTable()
    {
        std::fflush(stdout);
        CONSOLE_SCREEN_BUFFER_INFO info;
        lineWidth_ = console_ && GetConsoleScreenBufferInfo(out_, &info) && info.dwSize.X > 1 ? info.dwSize.X - 1 : 0;
        if (console_ && placed_)
            SetConsoleCursorPosition(out_, top_);
        else if (!console_ && placed_)
            std::printf("\n");
    }
    // After a table of `lines` lines: where it began, even if the console
    // scrolled while it was written.
    void afterTable(int lines)
    {
        std::fflush(stdout);
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (console_ && GetConsoleScreenBufferInfo(out_, &info)) {
            top_.X = 0;
            top_.Y = static_cast<SHORT>(info.dwCursorPosition.Y >= lines ? info.dwCursorPosition.Y - lines : 0);
        }
        placed_ = true;
    }

private:
    HANDLE out_ = nullptr;
    bool console_ = false;
    bool placed_ = false;
    int lineWidth_ = 0;
    COORD top_ = {0, 0};
};

constexpr int kTableWidth = 72;
constexpr int kTableLines = 9;

// One line of the table: at least kTableWidth wide; on a console exactly
// consoleWidth, cut or padded.
void printLine(const std::string &text, int consoleWidth)
{
    if (consoleWidth > 0) {
        std::string line = text;
        line.resize(static_cast<size_t>(consoleWidth), ' ');
        std::printf("%s\n", line.c_str());
    } else {
        std::printf("%-*s\n", kTableWidth, text.c_str());
    }
}

std::string row(const char *label, int width, const double *values, int count, const char *format)
{
    char cell[32];
    std::snprintf(cell, sizeof cell, "%-13s", label);
    std::string line = cell;
    for (int i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, format, values[i]);
        std::snprintf(cell, sizeof cell, " %*s", width, text);
        line += cell;
    }
    return line;
}

template <int N>
std::string fanRow(const char *label, const int (&values)[N])
{
    double asDouble[N];
    for (int i = 0; i < N; ++i)
        asDouble[i] = values[i];
    return row(label, 7, asDouble, N, "%.0f");
}

// Always kTableLines lines.
void printTable(const Reading &reading, int second, const std::string &note, int consoleWidth)
{
    char head[96];
    std::snprintf(head, sizeof head, "VORN  %4ds  %s", second,
                  reading.error.empty() ? "readings ok" : reading.error.c_str());
    printLine(head, consoleWidth);
    if (reading.error.empty()) {
        printLine(row("Digital C", 5, reading.digitalCelsius, kDigitalSensorCount, "%.1f"), consoleWidth);
        printLine(row("Analog C", 5, reading.analogCelsius, kAnalogSensorCount, "%.1f"), consoleWidth);
        printLine("Fan                 0       1       2       3", consoleWidth);
        printLine(fanRow("Duty %", reading.dutyPercent), consoleWidth);
        printLine(fanRow("RPM", reading.rpm), consoleWidth);
        printLine(fanRow("Max RPM", reading.maxRpm), consoleWidth);
        printLine(fanRow("Manual", reading.manual), consoleWidth);
    } else {
        for (int i = 0; i < 7; ++i)
            printLine("", consoleWidth);
    }
    printLine(note, consoleWidth);
}

} // namespace

int runWatch(const std::string &pluginPath, const WatchOptions &options)
{
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    SetFanPercentageFn setFan = nullptr;
    long setFanAfter = -1;
    std::string fan, percent;
    if (options.setFanAfter) {
        std::tie(setFanAfter, fan, percent) = *options.setFanAfter;
        std::string error;
        setFan = asFunction<SetFanPercentageFn>(resolveExport(session.plugin.module, "SetFanPercentage", 12, error));
        if (setFan == nullptr) {
            std::fprintf(stderr, "vornhost: %s\n", error.c_str());
            return 1;
        }
    }
    const long long intervalMs = options.intervalSeconds * 1000LL;
    FILE *csv = nullptr;
    if (!options.csvPath.empty()) {
        csv = std::fopen(options.csvPath.c_str(), "w");
        if (csv == nullptr) {
            std::fprintf(stderr, "vornhost: cannot write %s\n", options.csvPath.c_str());
            return 1;
        }
        std::fprintf(csv, "%s\n", csvHeader().c_str());
        std::fflush(csv);
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    session.start();
    session.waitForFirstPoll(&interrupted);

    ConsoleTable table;
    std::string note = "Ctrl-C stops";
    const ULONGLONG start = GetTickCount64();
    int status = 0;
    for (long long n = 0; !interrupted; ++n) {
        const long long dueMs = n * intervalMs;
        if (setFan != nullptr && dueMs >= setFanAfter * 1000LL) {
            char unused[16];
            const char *result = setFan(unused, fan.c_str(), percent.c_str());
            note = "set fan " + fan + " to " + percent + "%: " + (result ? result : "sent");
            if (options.json)
                std::fprintf(stderr, "%s\n", note.c_str());
            setFan = nullptr;
        }
        Reading reading;
        if (!readingFromMeters(session.meters, reading)) {
            std::fprintf(stderr, "vornhost: the plug-in lacks one of the fan controller's meters\n");
            status = 1;
            break;
        }
        const std::string time = timestampNow();
        if (options.json) {
            JsonDocument line;
            line["time"] = time;
            addReadingJson(line, reading);
            printJsonLine(line);
        } else {
            table.beforeTable();
            printTable(reading, static_cast<int>(dueMs / 1000), note, table.lineWidth());
            table.afterTable(kTableLines);
        }
        if (csv != nullptr) {
            std::fprintf(csv, "%s\n", csvRow(time, reading).c_str());
            std::fflush(csv); // a crash loses at most the row being written
        }
        if (options.count > 0 && n + 1 >= options.count)
            break;
        const long long nextMs = (n + 1) * intervalMs;
        if (options.seconds > 0 && nextMs > options.seconds * 1000LL)
            break;
        // Wait for the next reading's time, answering the window's messages;
        // never longer than one interval, whatever the clock did.
        const long long elapsed = static_cast<long long>(GetTickCount64() - start);
        if (elapsed < nextMs)
            session.pumpMessages(static_cast<DWORD>(std::min(nextMs - elapsed, intervalMs)));
    }
    if (csv != nullptr)
        std::fclose(csv);
    session.stop();
    return status;
}
