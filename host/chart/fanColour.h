// Each fan's colour, one for fans 0-3 wherever vornhost draws them: its duty
// line in a chart, its row on the dashboard and the sensors that drive it.
#pragma once

// "#e6007e" for fan 0 and so on; a neutral grey for a number the controller
// has no fan for.
const char *fanColour(int fan);
