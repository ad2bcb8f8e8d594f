// jsonprobe.exe: vornhost's JSON writer on the awkward cases, for
// machineOutputTest.py to read back with a real parser and compare: quotes,
// backslashes, control characters, bytes above 0x7F (taken as Latin-1),
// numbers that need all their digits, and values that are not finite.
#include <cmath>
#include <cstdio>
#include <limits>

#include "host/jsonWriter.h"

int main()
{
    JsonWriter json;
    json.beginObject();
    json.key("quote\"back\\slash").string("tab\tnew\nline\r\x01\x1f end");
    json.key("latin1").string("\xb0\x43 \xe9\xff");
    json.key("numbers").beginArray();
    for (double value : {0.0, -64.0, 30.5, 0.1, 1.0 / 3.0, 1e300, -2.5e-300, 4294967296.0})
        json.number(value);
    json.endArray();
    json.key("notFinite").beginArray();
    json.number(std::numeric_limits<double>::quiet_NaN()).number(HUGE_VAL);
    json.endArray();
    json.key("integers").beginArray().integer(-2147483648LL).integer(9007199254740993LL).endArray();
    json.key("empty").beginObject().endObject();
    json.key("nested").beginArray().beginArray().endArray().beginObject().key("a").null().endObject().endArray();
    json.key("flags").beginArray().boolean(true).boolean(false).endArray();
    json.endObject();
    std::printf("%s\n", json.text().c_str());
    return 0;
}
