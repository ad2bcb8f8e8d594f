#include "host/jsonWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!empty_.empty()) {
        if (!empty_.back())
            out_ += ',';
        empty_.back() = false;
    }
}

JsonWriter &JsonWriter::beginObject()
{
    beforeValue();
    out_ += '{';
    empty_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::endObject()
{
    out_ += '}';
    empty_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::beginArray()
{
    beforeValue();
    out_ += '[';
    empty_.push_back(true);
    return *this;
}

JsonWriter &JsonWriter::endArray()
{
    out_ += ']';
    empty_.pop_back();
    return *this;
}

JsonWriter &JsonWriter::key(const char *name)
{
    string(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter &JsonWriter::string(const std::string &text)
{
    beforeValue();
    out_ += '"';
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out_ += escape;
        } else {
            // Texts are 8-bit; bytes above 0x7F are taken as Latin-1, so the
            // document stays valid UTF-8.
            if (u >= 0x80) {
                out_ += static_cast<char>(0xC0 | (u >> 6));
                out_ += static_cast<char>(0x80 | (u & 0x3F));
            } else {
                out_ += c;
            }
        }
    }
    out_ += '"';
    return *this;
}

JsonWriter &JsonWriter::number(double value)
{
    if (!std::isfinite(value))
        return null();
    beforeValue();
    // The shortest of up to 17 significant digits that reads back exactly.
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    out_ += text;
    return *this;
}

JsonWriter &JsonWriter::integer(long long value)
{
    beforeValue();
    out_ += std::to_string(value);
    return *this;
}

JsonWriter &JsonWriter::boolean(bool value)
{
    beforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter &JsonWriter::null()
{
    beforeValue();
    out_ += "null";
    return *this;
}
