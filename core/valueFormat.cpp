#include "core/valueFormat.h"

int formatDecimal(char *out, int32_t value)
{
    char digits[10];
    int count = 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);

    int length = 0;
    if (value < 0)
        out[length++] = '-';
    while (count > 0)
        out[length++] = digits[--count];
    out[length] = '\0';
    return length;
}

int formatHalfDegrees(char *out, int8_t halfDegrees)
{
    const bool negative = halfDegrees < 0;
    const int magnitude = negative ? -static_cast<int>(halfDegrees) : halfDegrees;
    const int whole = magnitude / 2;

    // Sign, whole degrees (0..64), point and one decimal.
    char text[6];
    int length = 0;
    if (negative)
        text[length++] = '-';
    if (whole >= 10)
        text[length++] = static_cast<char>('0' + whole / 10);
    text[length++] = static_cast<char>('0' + whole % 10);
    text[length++] = '.';
    text[length++] = (magnitude & 1) ? '5' : '0';

    int pos = 0;
    for (int pad = length; pad < 4; ++pad)
        out[pos++] = ' ';
    for (int i = 0; i < length; ++i)
        out[pos++] = text[i];
    out[pos] = '\0';
    return pos;
}
