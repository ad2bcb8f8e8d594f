#include "core/statusFrame.h"

#include <climits>

int32_t maxRpmFromWord(int16_t word)
{
    // Exact in double precision; the cast truncates toward zero.
    return static_cast<int32_t>(word * 10.5);
}

void deriveMaxRpm(const uint8_t *frame, int32_t maxRpm[kFanCount])
{
    for (int fan = 0; fan < kFanCount; ++fan) {
        const int low = frame[kMaxRpmRawOffset + 2 * fan];                 // unsigned 0..255
        const int high = frameByte(frame, kMaxRpmRawOffset + 2 * fan + 1); // signed -128..127
        maxRpm[fan] = maxRpmFromWord(static_cast<int16_t>(high * 256 + low));
    }
}

int32_t fanRpmFromDuty(int8_t duty, int32_t maxRpm)
{
    // Every table value a frame gives (at most 344,064 RPM) keeps the product
    // within 32 bits, where the integer quotient equals the product times
    // 0.01 truncated; the floating-point form, slow on a 32-bit x86, stays
    // for values that no frame gives.
    constexpr int32_t kProductFits = INT32_MAX / 256;
    if (maxRpm >= -kProductFits && maxRpm <= kProductFits)
        return 2 * duty * maxRpm / 100;
    const int64_t product = static_cast<int64_t>(2 * duty) * maxRpm;
    return static_cast<int32_t>(static_cast<double>(product) * 0.01);
}
