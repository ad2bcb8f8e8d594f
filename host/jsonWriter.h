// A small JSON writer for vornhost's machine-readable output: compact text,
// strings escaped as JSON requires, numbers in their shortest exact form, a
// number that is not finite written as null. The caller nests objects and
// arrays properly; the writer puts the commas and colons.
#pragma once

#include <string>
#include <vector>

class JsonWriter {
public:
    JsonWriter &beginObject();
    JsonWriter &endObject();
    JsonWriter &beginArray();
    JsonWriter &endArray();
    // The next value's name inside an object.
    JsonWriter &key(const char *name);

    JsonWriter &string(const std::string &text);
    JsonWriter &number(double value);
    JsonWriter &integer(long long value);
    JsonWriter &boolean(bool value);
    JsonWriter &null();

    const std::string &text() const { return out_; }

private:
    void beforeValue();

    std::string out_;
    std::vector<bool> empty_; // per open object or array: nothing in it yet
    bool afterKey_ = false;
};
