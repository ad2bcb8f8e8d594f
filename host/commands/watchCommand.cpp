#include "host/commands/watchCommand.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "host/output/consoleTable.h"
#include "host/output/csvFile.h"
#include "host/output/readingCsv.h"
#include "host/output/readingJson.h"
#include "host/output/readingTable.h"
#include "host/output/utcTime.h"
#include "host/plugin/hostSession.h"
#include "host/plugin/meterReading.h"
#include "host/plugin/stopRequest.h"

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
        setFan = setFanPercentageOf(session.plugin.module);
        if (setFan == nullptr)
            return 1;
    }
    const long long intervalMs = options.intervalSeconds * 1000LL;
    CsvFile csv;
    if (!options.csvPath.empty() && !csv.open(options.csvPath, csvHeader()))
        return 1;
    watchConsoleStop();
    exitDutiesDone(); // watch leaves the fans alone: a closed console need not wait
    session.start();
    session.waitForFirstPoll(&stopFlag());

    ConsoleTable table;
    std::string note = "Ctrl-C stops";
    const ULONGLONG start = GetTickCount64();
    int status = 0;
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
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
            printReadingTable(reading, static_cast<int>(dueMs / 1000), note, table.lineWidth());
            table.afterTable(kReadingTableLines);
        }
        csv.row(csvRow(time, reading));
        if (options.count > 0 && n + 1 >= options.count)
            break;
        const long long nextMs = (n + 1) * intervalMs;
        if (options.seconds > 0 && nextMs > options.seconds * 1000LL)
            break;
        // Wait for the next reading's time, answering the window's messages;
        // never longer than one interval, whatever the clock did.
        const long long elapsed = static_cast<long long>(GetTickCount64() - start);
        if (elapsed < nextMs)
            session.pumpMessages(static_cast<DWORD>(std::min(nextMs - elapsed, intervalMs)), stopEvent());
    }
    session.stop();
    return status;
}
