// A CSV log as `watch --csv` and `control --csv` write it: created anew with
// its header, one row per line, each flushed at once, so that a crash loses
// at most the row being written.
#pragma once

#include <cstdio>
#include <string>

class CsvFile {
public:
    CsvFile() = default;
    ~CsvFile();
    CsvFile(const CsvFile &) = delete;
    CsvFile &operator=(const CsvFile &) = delete;

    // Creates the file with its header line; prints the reason and returns
    // false when it cannot be written.
    bool open(const std::string &path, const std::string &header);
    bool isOpen() const { return file_ != nullptr; }
    // One line, when open.
    void row(const std::string &line);

private:
    FILE *file_ = nullptr;
};
