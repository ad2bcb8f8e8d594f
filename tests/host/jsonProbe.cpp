// jsonprobe.exe: vornhost's JSON output (host/jsonOutput) on the awkward
// cases, for machineOutputTest.py to read back with a real parser and
// compare: quotes, backslashes, control characters, bytes above 0x7F (taken
// as Latin-1), numbers that need all their digits, and values that are not
// finite.
#include <cmath>
#include <limits>

#include "host/output/jsonOutput.h"

int main()
{
    JsonDocument document;
    document[jsonText("quote\"back\\slash").get<std::string>()] = jsonText("tab\tnew\nline\r\x01\x1f end");
    document["latin1"] = jsonText("\xb0\x43 \xe9\xff");
    document["numbers"] = {0.0, -64.0, 30.5, 0.1, 1.0 / 3.0, 1e300, -2.5e-300, 4294967296.0};
    document["notFinite"] = {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL};
    document["integers"] = {-2147483648LL, 9007199254740993LL};
    document["empty"] = JsonDocument::object();
    document["nested"] = {JsonDocument::array(), {{"a", nullptr}}};
    document["flags"] = {true, false};
    printJsonLine(document);
    return 0;
}
