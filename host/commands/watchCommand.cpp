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
#include "host/process/pollLoop.h"
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
    const auto poll = [&] {
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
            return false;
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
        return true;
    };
    const PollLimits limits{options.count, static_cast<uint64_t>(options.seconds)};
    const PollLoopEnd end = runPolls(schedule, limits, poll, [&] { session.waitForPoll(schedule); });
    session.stop();
    return end == PollLoopEnd::PollFailed ? 1 : 0;
}
