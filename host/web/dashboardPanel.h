// The dashboard's /panel: the last poll as an HTML fragment (UTF-8) that the
// page (host/web/dashboard.html) puts in its <main id="panel"> at each poll.
// Every text in it is escaped, the plug-in's failure texts and the alarms'
// messages included. What the page's script and its tests rely on:
//   p#updated[data-time][data-interval]   "Last poll TIME" or "Waiting for the first poll";
//                                         data-time only once polled
//   p#poll-error.error                    the failure text, when the reading failed
//   table#fans tr.fan.fan-N[data-fan][data-reason]
//       td.fan-name "Fan N", td.duty (the frame's), td.target (the decided,
//       " (sent)" or span.send-error), td.reason (span.why: the decision's
//       message), td.input (°C or "—"), td.sensors (the input's sensor in <strong>)
//   section#temperatures div.sensor[data-sensor]
//       span.name, span.value (°C or "—"); a sensor that drives fans also has
//       the classes "drives" and fan-N, data-fans="0 2" and span.fans "fan 0, fan 2"
//   ol#alarms li.alarm[data-alarm][data-severity] <time>TIME</time> message,
//       newest first; or the one li.none "No alarms since vornhost started"
// A fan's row and the sensors that drive it carry its colour
// (host/chart/fanColour.h) in the CSS variable --fan; a sensor that drives
// several fans takes the colour of the first in the configuration's order.
#pragma once

#include <string>

#include "host/web/dashboardView.h"

std::string panelHtml(const DashboardView &view);
