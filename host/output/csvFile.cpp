#include "host/output/csvFile.h"

CsvFile::~CsvFile()
{
    close();
}

void CsvFile::close()
{
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    path_.clear();
}

bool CsvFile::open(const std::string &path, const std::string &header, bool append)
{
    close();
    file_ = std::fopen(path.c_str(), append ? "a" : "w");
    if (file_ == nullptr) {
        std::fprintf(stderr, "vornhost: cannot write %s\n", path.c_str());
        return false;
    }
    path_ = path;
    // A file opened to append reports position 0 until its first write:
    // go to its end to tell a new or empty file from one written before.
    if (std::fseek(file_, 0, SEEK_END) != 0 || std::ftell(file_) <= 0)
        row(header);
    return true;
}

void CsvFile::row(const std::string &line)
{
    if (file_ == nullptr)
        return;
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_); // a crash loses at most the row being written
}
