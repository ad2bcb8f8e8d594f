// A CSV log as `watch --csv` and `control --csv` write it: created anew with
// its header (or, for the service's daily logs, added to when it exists), one row per line, each flushed at once, so
// that a crash loses at most the row being written.
#pragma once

#include <cstdio>
#include <string>

class CsvFile {
public:
    CsvFile() = default;
    ~CsvFile();
    CsvFile(const CsvFile &) = delete;
    CsvFile &operator=(const CsvFile &) = delete;

    // Creates the file with its header line, or with `append` adds to it
    // when it is there already (the header then stays the one it has);
    // closes the file open before. Prints the reason and returns false when
    // it cannot be written.
    bool open(const std::string &path, const std::string &header, bool append = false);
    bool isOpen() const { return file_ != nullptr; }
    // The open file's path; empty when none is open.
    const std::string &path() const { return path_; }
    // One line, when open.
    void row(const std::string &line);

private:
    void close();

    FILE *file_ = nullptr;
    std::string path_;
};
