#include "host/commands/watchCommand.h"

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
#include "host/process/clocks.h"
#include "host/process/stopRequest.h"

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
    CsvFile csv;
    if (!options.csvPath.empty() && !csv.open(options.csvPath, csvHeader()))
        return 1;
    watchConsoleStop();
    exitDutiesDone(); // watch leaves the fans alone: a closed console need not wait
    session.start();
    session.waitForFirstPoll(&stopFlag());

    ConsoleTable table;
    std::string note = "Ctrl-C stops";
    PollSchedule schedule(options.intervalSeconds * 1000ULL, tickCountMs);
    int status = 0;
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
        const uint64_t dueMs = schedule.dueOffsetMs();
        if (setFan != nullptr && dueMs >= setFanAfter * 1000ULL) {
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
        schedule.next();
        if (options.seconds > 0 && schedule.dueOffsetMs() > options.seconds * 1000ULL)
            break;
        session.waitForPoll(schedule);
    }
    session.stop();
    return status;
}
