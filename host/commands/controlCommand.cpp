#include "host/commands/controlCommand.h"

#include <cmath>
#include <cstdio>

#include "host/fans/controlConfigFile.h"
#include "host/fans/controlLoop.h"
#include "host/output/utcTime.h"
#include "host/plugin/hostSession.h"
#include "host/plugin/meterReading.h"
#include "host/plugin/stopRequest.h"

namespace {

// In place of a reading while the plug-in's meters still read 0 because its
// first poll has not come (another program kept the controller too long):
// zeros are no temperatures, so the fans get their fail-safe duty.
const char kNoPollYet[] = "vornhost: the plug-in's first poll has not come yet";

} // namespace

int runControl(const std::string &pluginPath, const ControlOptions &options)
{
    ControlConfig config;
    ConfigError error;
    if (!readControlConfig(options.configPath, config, error)) {
        std::fprintf(stderr, "vornhost: %s: %s\n", options.configPath.c_str(),
                     consoleText(configErrorText(error)).c_str());
        return 2;
    }
    HostSession session;
    if (!session.load(pluginPath))
        return 1;
    DutySender sender;
    if (!options.dryRun && !sender.load(pluginPath, session.plugin.module))
        return 1;
    ControlReport report(config, options.json, options.dryRun);
    if (!options.csvPath.empty() && !report.openCsv(options.csvPath))
        return 1;
    ControlLoop loop(config, report, options.dryRun ? nullptr : &sender);

    watchConsoleStop();
    session.openWindow();
    session.endingSession = [&loop](bool logOff) {
        requestStop(logOff ? StopCause::LogOff : StopCause::Shutdown);
        loop.finish(stopRequested());
    };
    // Without the window: a loop that runs unattended says what fails in
    // its output, not in error boxes.
    session.start(false);
    report.begin(options.configPath);
    bool pollIn = session.waitForFirstPoll(&stopFlag());

    PollSchedule schedule(static_cast<uint64_t>(std::llround(config.interval * 1000)), tickCountMs);
    for (long long n = 0; stopRequested() == StopCause::None; ++n) {
        const std::string time = timestampNow();
        Reading reading;
        if (!readingFromMeters(session.meters, reading)) {
            std::fprintf(stderr, "vornhost: the plug-in lacks one of the fan controller's meters\n");
            return 1;
        }
        pollIn = pollIn || session.firstPollIn();
        if (!pollIn)
            reading.error = kNoPollYet;
        loop.poll(time, reading);
        if (options.count > 0 && n + 1 >= options.count) {
            requestStop(StopCause::Count);
            break;
        }
        schedule.next();
        session.waitForPoll(schedule);
    }
    loop.finish(stopRequested());
    return 0;
}
