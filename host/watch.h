// vornhost watch: the plug-in started as the desktop host starts it and read
// through its meters at an interval, from its first poll on, until Ctrl-C,
// --count readings or --seconds. Shown as a compact table that stays in place
// on a console (the cursor is moved with the console API, which every Windows
// console and Wine's honour), as plain consecutive tables otherwise; or as
// JSON Lines (--json). --csv FILE logs every reading as a row as well.
#pragma once

struct Invocation;

int runWatch(const Invocation &invocation);
