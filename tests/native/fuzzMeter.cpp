// libFuzzer target for the meter logic and the index parser.
//
// Input layout (shorter inputs are padded with zeros):
//   byte 0        meter selector (modulo the seven meters)
//   byte 1        bit 0: an error text is pending; bit 1: no output buffer
//   bytes 2..286  the status frame, published with its derived speed table
//   bytes 287..   the parameter text, any bytes, cut at the first zero
//
// Every reading is checked against values computed here from the frame bytes
// alone and formatted with snprintf, the way the C library would do it.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/meterCore.h"
#include "core/textToLong.h"

namespace {

constexpr size_t kHeaderSize = 2;
constexpr size_t kParameterStart = kHeaderSize + kStatusFrameSize;
constexpr size_t kBufferSize = 64;
constexpr size_t kMostBytesWritten = 12; // "-2147483648" and its zero
constexpr char kCanary = static_cast<char>(0xA5);

const char kPendingError[] = "FT_Read: Didn't get all the data.";

[[noreturn]] void fail(const char *what, const char *detail = "")
{
    std::fprintf(stderr, "fuzzMeter: %s %s\n", what, detail);
    std::abort();
}

void check(bool condition, const char *what, const char *detail = "")
{
    if (!condition)
        fail(what, detail);
}

bool isBlank(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reference for textToLong: the base-10 reading of strtol, accumulated in 64
// bits and wrapped to 32. Where strtoll cannot overflow, it must agree too.
int32_t referenceIndex(const char *text)
{
    const char *p = text;
    while (isBlank(static_cast<unsigned char>(*p)))
        ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    uint64_t value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits)
        value = value * 10u + static_cast<uint64_t>(*p - '0'); // wraps modulo 2^64, so also modulo 2^32
    if (negative)
        value = 0u - value;
    const int32_t wrapped = static_cast<int32_t>(static_cast<uint32_t>(value));
    if (digits <= 18) {
        const long long exact = std::strtoll(text, nullptr, 10);
        check(wrapped == static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(exact))),
              "reference disagrees with strtoll for", text);
    }
    return wrapped;
}

int8_t signedByte(const uint8_t *frame, int offset)
{
    return static_cast<int8_t>(frame[offset]);
}

// A fan's maximum speed: the signed little-endian word times 10.5, toward zero.
int32_t maxRpmOf(const uint8_t *frame, int fan)
{
    const int word = static_cast<int16_t>(
        static_cast<uint16_t>(frame[kMaxRpmRawOffset + 2 * fan] | frame[kMaxRpmRawOffset + 2 * fan + 1] << 8));
    return word * 21 / 2;
}

struct Expected {
    const char *message = nullptr; // a constant text instead of a reading
    char text[32] = {};            // the reading, as printf writes it
};

Expected expectedReading(Meter meter, int32_t index, bool errorPending, bool noBuffer, const uint8_t *frame)
{
    Expected e;
    int32_t low = 0, high = kFanCount - 1;
    const char *rangeMessage = "Invalid fan index";
    switch (meter) {
    case Meter::DigitalTemp:
        high = kDigitalSensorCount - 1;
        rangeMessage = "Invalid sensor index";
        break;
    case Meter::AnalogTemp:
        high = kAnalogSensorCount - 1;
        rangeMessage = "Invalid sensor index";
        break;
    case Meter::Value:
        low = 1;
        high = kStatusFrameSize;
        rangeMessage = "Invalid value index";
        break;
    default:
        break;
    }
    if (index < low || index > high) {
        e.message = rangeMessage;
        return e;
    }
    if (errorPending) {
        e.message = kPendingError;
        return e;
    }
    if (noBuffer) {
        e.message = "No output buffer";
        return e;
    }
    switch (meter) {
    case Meter::DigitalTemp:
        std::snprintf(e.text, sizeof e.text, "%4.1f", signedByte(frame, kDigitalTempOffset + index) * 0.5);
        break;
    case Meter::AnalogTemp:
        std::snprintf(e.text, sizeof e.text, "%4.1f", signedByte(frame, kAnalogTempOffset + index) * 0.5);
        break;
    case Meter::FanRpm: {
        const int64_t percent = 2 * signedByte(frame, kFanDutyOffset + index);
        std::snprintf(e.text, sizeof e.text, "%d", static_cast<int>(percent * maxRpmOf(frame, index) / 100));
        break;
    }
    case Meter::FanPercentage:
        std::snprintf(e.text, sizeof e.text, "%d", 2 * signedByte(frame, kFanDutyOffset + index));
        break;
    case Meter::FanMaxRpm:
        std::snprintf(e.text, sizeof e.text, "%d", static_cast<int>(maxRpmOf(frame, index)));
        break;
    case Meter::FanManualMode:
        std::snprintf(e.text, sizeof e.text, "%d", signedByte(frame, kManualModeOffset + index));
        break;
    case Meter::Value:
        std::snprintf(e.text, sizeof e.text, "%d", signedByte(frame, index - 1));
        break;
    }
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static StatusLatch latch;
    static std::atomic<const char *> lastError{nullptr};

    uint8_t header[kHeaderSize] = {};
    uint8_t frame[kStatusFrameSize] = {};
    std::memcpy(header, data, size < kHeaderSize ? size : kHeaderSize);
    if (size > kHeaderSize)
        std::memcpy(frame, data + kHeaderSize, size - kHeaderSize < sizeof frame ? size - kHeaderSize : sizeof frame);
    // The parameter in a heap block of its own length, so that reading past
    // its zero is caught.
    const size_t parameterLength = size > kParameterStart ? size - kParameterStart : 0;
    std::vector<char> parameter(parameterLength + 1, '\0');
    if (parameterLength != 0)
        std::memcpy(parameter.data(), data + kParameterStart, parameterLength);

    const Meter meter = static_cast<Meter>(header[0] % 7);
    const bool errorPending = (header[1] & 1) != 0;
    const bool noBuffer = (header[1] & 2) != 0;

    int32_t table[kFanCount];
    deriveMaxRpm(frame, table);
    for (int fan = 0; fan < kFanCount; ++fan)
        check(table[fan] == maxRpmOf(frame, fan), "deriveMaxRpm differs from word * 10.5 toward zero");
    latch.publish(frame, table);
    lastError.store(errorPending ? kPendingError : nullptr);

    const int32_t index = referenceIndex(parameter.data());
    check(textToLong(parameter.data()) == index, "textToLong differs from the reference for", parameter.data());

    std::vector<char> buffer(kBufferSize, kCanary);
    char *out = noBuffer ? nullptr : buffer.data();
    const char *result = readMeter(meter, out, parameter.data(), lastError, latch);
    const Expected expected = expectedReading(meter, index, errorPending, noBuffer, frame);

    if (expected.message != nullptr) {
        check(result != nullptr && result != out, "a message was due, the reading came back");
        check(std::strcmp(result, expected.message) == 0, "wrong message:", result);
        if (errorPending && expected.message == kPendingError)
            check(result == kPendingError, "the pending error text is not the very pointer");
        else
            check(result == kInvalidSensorIndex || result == kInvalidFanIndex || result == kInvalidValueIndex ||
                      result == kNoOutputBuffer,
                  "a message that is none of the constant texts:", result);
        for (char c : buffer)
            check(c == kCanary, "the buffer was written although a message came back");
        return 0;
    }

    check(result == out, "the reading did not come back in the buffer");
    for (size_t i = kMostBytesWritten; i < kBufferSize; ++i)
        check(buffer[i] == kCanary, "more than 12 bytes were written");
    check(std::memchr(buffer.data(), '\0', kMostBytesWritten) != nullptr, "no terminating zero in the first 12 bytes");
    if (std::strcmp(buffer.data(), expected.text) != 0) {
        std::fprintf(stderr, "fuzzMeter: meter %d index %d: got \"%s\", printf gives \"%s\"\n", static_cast<int>(meter),
                     static_cast<int>(index), buffer.data(), expected.text);
        std::abort();
    }
    return 0;
}
