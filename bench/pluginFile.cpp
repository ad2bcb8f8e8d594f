// VORN.dll as a file: its size, and whether the C++ stream and locale
// machinery made it in. Its mangled names are there whenever its code is,
// stripped or not; the plain words are listed with their surroundings.
#include <fstream>
#include <iterator>

#include "bench/bench.h"

bool figurePluginFile(Bench &bench)
{
    char path[MAX_PATH] = {};
    Plugin plugin;
    GetModuleFileNameA(plugin.module(), path, MAX_PATH);
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!plugin.loaded() || bytes.empty())
        return bench.fail("cannot load or read VORN.dll");
    bench.row("VORN.dll file size", format("%lu bytes", static_cast<unsigned long>(bytes.size())), "-", false);

    bench.section("VORN.dll: C++ stream and locale machinery");
    // Hits of a name in the file, the first three listed with the printable text around them.
    const auto printable = [&](size_t i) { return bytes[i] >= 0x20 && bytes[i] < 0x7f; };
    const auto hits = [&](const char *name) {
        int n = 0;
        for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1), ++n) {
            size_t begin = at, end = at;
            while (begin > 0 && printable(begin - 1) && at - begin < 40)
                --begin;
            while (end < bytes.size() && printable(end) && end - at < 60)
                ++end;
            if (n < 3)
                bench.detail("\"%s\": \"%s\"", name, bytes.substr(begin, end - begin).c_str());
        }
        return n;
    };
    int machinery = 0, words = 0;
    for (const char *name : {"St8ios_base", "ios_base4Init", "NSt6locale5facetE", "St6locale", "St15basic_streambuf",
                             "_ZNSo", "_ZNSi", "St7num_put", "St7num_get", "St8numpunct", "St5ctypeIcE", "St7codecvt",
                             "St13basic_ostream", "St13basic_istream"})
        machinery += hits(name);
    for (const char *word : {"basic_ostream", "locale", "ios_base"})
        words += hits(word);
    bench.detail("Without a machinery name, plain words are imported C functions or name tables, not stream code.");
    bench.row("Stream/locale machinery in VORN.dll",
              machinery == 0 ? format("none (plain words: %d hits, see details)", words)
                             : format("FOUND: %d telltale names", machinery),
              "none", machinery == 0);
    return true;
}
