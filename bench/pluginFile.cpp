// VORN.dll as a file: its size, and whether the C++ stream and locale
// machinery (std::ostream, std::locale, std::ios_base and their facets) made
// it into the DLL. The file's bytes are searched for two kinds of telltale:
// - names only that machinery has: its mangled symbols and run-time type
//   names (St8ios_base, NSt6locale5facetE, ...), present in the loaded
//   sections whenever its code is, stripped or not;
// - the plain words "basic_ostream", "locale", "ios_base", reported with the
//   section they sit in and the text around them, so that a reader can tell
//   stream code from, say, a name table or debug information.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench.h"

namespace {

struct Section {
    std::string name;
    size_t offset, size;
};

uint32_t read32(const std::vector<char> &bytes, size_t at)
{
    uint32_t v = 0;
    if (at + 4 <= bytes.size())
        std::memcpy(&v, &bytes[at], 4);
    return v;
}

uint16_t read16(const std::vector<char> &bytes, size_t at)
{
    uint16_t v = 0;
    if (at + 2 <= bytes.size())
        std::memcpy(&v, &bytes[at], 2);
    return v;
}

std::vector<Section> sectionsOf(const std::vector<char> &bytes)
{
    std::vector<Section> sections;
    const size_t pe = read32(bytes, 0x3c);
    if (pe + 24 > bytes.size() || std::memcmp(&bytes[pe], "PE\0\0", 4) != 0)
        return sections;
    const int count = read16(bytes, pe + 6);
    const size_t symbols = read32(bytes, pe + 12);
    const size_t symbolCount = read32(bytes, pe + 16);
    const size_t stringTable = symbols ? symbols + symbolCount * 18 : 0;
    const size_t headers = pe + 24 + read16(bytes, pe + 20);
    for (int i = 0; i < count; ++i) {
        const size_t at = headers + 40 * static_cast<size_t>(i);
        if (at + 40 > bytes.size())
            break;
        std::string name(&bytes[at], strnlen(&bytes[at], 8));
        // Long names ("/4") live in the COFF string table.
        if (name.size() > 1 && name[0] == '/' && stringTable != 0) {
            const size_t nameAt = stringTable + std::strtoul(name.c_str() + 1, nullptr, 10);
            if (nameAt < bytes.size())
                name.assign(&bytes[nameAt], strnlen(&bytes[nameAt], bytes.size() - nameAt));
        }
        sections.push_back({name, read32(bytes, at + 20), read32(bytes, at + 16)});
    }
    if (stringTable != 0)
        sections.push_back({"(symbol table)", symbols, bytes.size() - symbols});
    return sections;
}

std::string sectionAt(const std::vector<Section> &sections, size_t offset)
{
    for (const Section &s : sections) {
        if (offset >= s.offset && offset < s.offset + s.size)
            return s.name;
    }
    return "(headers)";
}

// The zero-terminated printable text around a hit, shortened.
std::string textAround(const std::vector<char> &bytes, size_t at)
{
    size_t begin = at, end = at;
    auto printable = [&](size_t i) { return bytes[i] >= 0x20 && bytes[i] < 0x7f; };
    while (begin > 0 && printable(begin - 1) && at - begin < 40)
        --begin;
    while (end < bytes.size() && printable(end) && end - at < 60)
        ++end;
    return std::string(&bytes[begin], end - begin);
}

// Where the text first occurs in the file at or after `from`; the file's size
// when nowhere.
size_t findText(const std::vector<char> &bytes, const std::string &text, size_t from)
{
    return static_cast<size_t>(std::search(bytes.begin() + from, bytes.end(), text.begin(), text.end()) -
                               bytes.begin());
}

bool isDebugInformation(const std::string &section)
{
    return section.compare(0, 7, ".debug_") == 0 || section == "(symbol table)";
}

} // namespace

bool scanPluginFile(Bench &bench)
{
    Report &report = bench.report;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(bench.vorn, path, MAX_PATH);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report.failure(format("cannot open %s", path));
        return false;
    }
    std::vector<char> bytes(GetFileSize(file, nullptr));
    DWORD got = 0;
    const bool read = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got != bytes.size()) {
        report.failure(format("cannot read %s", path));
        return false;
    }

    const std::vector<Section> sections = sectionsOf(bytes);
    size_t debugBytes = 0;
    for (const Section &s : sections) {
        if (isDebugInformation(s.name))
            debugBytes += s.size;
    }
    const unsigned long fileBytes = static_cast<unsigned long>(bytes.size());
    report.row("VORN.dll file size",
               debugBytes == 0 ? format("%lu bytes (no debug information or symbol table)", fileBytes)
                               : format("%lu bytes (%lu without debug information and symbols)", fileBytes,
                                        static_cast<unsigned long>(bytes.size() - std::min(debugBytes, bytes.size()))),
               "-", Verdict::Info);

    const char *const machinery[] = {
        "St8ios_base", "ios_base4Init", "NSt6locale5facetE", "St6locale",         "St15basic_streambuf",
        "_ZNSo",       "_ZNSi",         "St7num_put",        "St7num_get",        "St8numpunct",
        "St5ctypeIcE", "St7codecvt",    "St13basic_ostream", "St13basic_istream",
    };
    const char *const words[] = {"basic_ostream", "locale", "ios_base"};

    report.section("VORN.dll: C++ stream and locale machinery");
    report.detail("File: %s", path);
    std::vector<std::string> machineryFound;
    for (const char *needle : machinery) {
        const size_t at = findText(bytes, needle, 0);
        if (at != bytes.size())
            machineryFound.push_back(
                format("%s in %s (\"%s\")", needle, sectionAt(sections, at).c_str(), textAround(bytes, at).c_str()));
    }
    report.detail("Names only the machinery has (mangled symbols, type names), %d searched: %s",
                  static_cast<int>(sizeof machinery / sizeof machinery[0]), machineryFound.empty() ? "none found" : "");
    for (const std::string &f : machineryFound)
        report.detail("  %s", f.c_str());

    int wordsInLoadedSections = 0;
    for (const char *word : words) {
        const std::string w(word);
        std::map<std::string, std::vector<std::string>> bySection;
        for (size_t at = findText(bytes, w, 0); at != bytes.size(); at = findText(bytes, w, at + 1)) {
            const std::string section = sectionAt(sections, at);
            bySection[section].push_back(textAround(bytes, at));
            if (!isDebugInformation(section))
                ++wordsInLoadedSections;
        }
        if (bySection.empty())
            report.detail("\"%s\": not in the file", word);
        for (const auto &entry : bySection) {
            std::string examples;
            for (size_t i = 0; i < entry.second.size() && i < 3; ++i)
                examples += (i ? "; \"" : "\"") + entry.second[i] + "\"";
            report.detail("\"%s\": %d in %s: %s%s", word, static_cast<int>(entry.second.size()), entry.first.c_str(),
                          examples.c_str(), entry.second.size() > 3 ? " ..." : "");
        }
    }
    if (wordsInLoadedSections != 0)
        report.detail(
            "Reading the plain words: in .idata they are names of imported C library functions; in .rdata "
            "next to \"std::iostream\" and the like they are the C++ demangler's table of standard "
            "abbreviations (linked with the default terminate handler), not stream code.");
    report.row("Stream/locale machinery in VORN.dll",
               machineryFound.empty()
                   ? format("none (plain words: %d hits outside debug info, see details)", wordsInLoadedSections)
                   : format("FOUND: %d telltale names", static_cast<int>(machineryFound.size())),
               "none", machineryFound.empty() ? Verdict::Met : Verdict::Missed);
    return true;
}
