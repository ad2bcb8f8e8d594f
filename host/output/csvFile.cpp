#include "host/output/csvFile.h"

CsvFile::~CsvFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool CsvFile::open(const std::string &path, const std::string &header)
{
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        std::fprintf(stderr, "vornhost: cannot write %s\n", path.c_str());
        return false;
    }
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
