#include "bench/bench.h"

#include <cmath>
#include <cstdarg>

#include "core/settingsNames.h" // inner floor: the plug-in's registry names, to store its settings as a user does

namespace {

std::string vformat(const char *fmt, va_list args)
{
    char buffer[1024];
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

const char kStandIn[] = "Software\\vornbench (stands in for HKCU)";

} // namespace

double ticksToMs(double ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return ticks * 1e3 / static_cast<double>(frequency.QuadPart);
}

bool waitUntil(DWORD timeoutMs, const std::function<bool()> &done)
{
    for (const DWORD start = GetTickCount(); !done(); Sleep(1)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
    return true;
}

double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(std::max<size_t>(rank, 1), values.size()) - 1];
}

std::string format(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    return text;
}

void Bench::row(const std::string &figure, const std::string &value, const std::string &target, bool met)
{
    rows.push_back({figure, value, target, target == "-" ? "-" : met ? "yes" : "NO"});
}

void Bench::section(const std::string &title)
{
    details.insert(details.end(), {"", title, std::string(title.size(), '-')});
}

void Bench::detail(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    details.push_back(vformat(fmt, args));
    va_end(args);
}

bool Bench::fail(const std::string &what)
{
    failures.push_back(what);
    return false;
}

void Bench::resetSimulator(bool paced)
{
    sim.reset();
    sim.freezeDrift(1);
    sim.setPacing(paced ? 1 : 0);
}

bool Bench::awaitFrames(int frames, DWORD timeoutMs) const
{
    const int target = sim.frameCount() + frames;
    return waitUntil(timeoutMs, [&] { return sim.frameCount() >= target; });
}

DWORD Bench::lastOpener() const
{
    SimLogEntry entry;
    for (int i = sim.logCount() - 1; i >= 0 && sim.logGet(i, &entry); --i) {
        if (entry.op == SIM_OP_OPEN)
            return entry.threadId;
    }
    return 0;
}

void Bench::print(const std::string &header) const
{
    std::fputs(header.c_str(), stdout);
    int f = 6, v = 5, t = 6; // the columns' widths
    for (const Row &r : rows)
        f = std::max<int>(f, r.figure.size()), v = std::max<int>(v, r.value.size()),
        t = std::max<int>(t, r.target.size());
    std::printf("\n%-*s | %-*s | %-*s | met\n", f, "figure", v, "value", t, "target");
    const auto rule = [](int n) { return std::string(n, '-'); };
    std::printf("%s-+-%s-+-%s-+----\n", rule(f).c_str(), rule(v).c_str(), rule(t).c_str());
    int targets = 0, missed = 0;
    for (const Row &r : rows) {
        std::printf("%-*s | %-*s | %-*s | %s\n", f, r.figure.c_str(), v, r.value.c_str(), t, r.target.c_str(),
                    r.met.c_str());
        targets += r.met != "-";
        missed += r.met == "NO";
    }
    std::printf("\n%d figure(s) with a target, %d missed.\n", targets, missed);
    for (const std::string &what : failures)
        std::printf("COULD NOT MEASURE: %s\n", what.c_str());
    for (const std::string &line : details)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

const MeterRange kMeters[kMeterCount] = {
    {"GetDigitalTemp", true, 0, SIM_DIGITAL_TEMPS - 1},
    {"GetAnalogTemp", true, 0, SIM_ANALOG_TEMPS - 1},
    {"GetFanRPM", false, 0, SIM_FANS - 1},
    {"GetFanPercentage", false, 0, SIM_FANS - 1},
    {"GetFanMaxRPM", false, 0, SIM_FANS - 1},
    {"GetFanManualMode", false, 0, SIM_FANS - 1},
    {"GetValue", false, 1, SIM_FRAME_SIZE},
};

const char *parameterText(int index)
{
    static const auto texts = [] {
        std::vector<std::string> t;
        for (int i = 0; i <= SIM_FRAME_SIZE; ++i)
            t.push_back(std::to_string(i));
        return t;
    }();
    return index >= 0 && index <= SIM_FRAME_SIZE ? texts[index].c_str() : "";
}

Plugin::Plugin()
    : module_(LoadLibraryA("VORN.dll")), openConnection_(get<OpenConnectionFn>("openConnection")),
      readFromVorn_(get<ReadFromVornFn>("readFromVorn"))
{
}

Plugin::~Plugin()
{
    if (started_)
        get<DllShutdownFn>("dllshutdown")(instanceBlock_);
    if (module_ != nullptr)
        FreeLibrary(module_);
}

void Plugin::start(HWND window)
{
    const auto dllstartup = get<DllStartupFn>("dllstartup");
    started_ = dllstartup != nullptr;
    instanceBlock_ = started_ ? dllstartup(window, 0) : nullptr;
}

const char *Plugin::exchange() const
{
    uint8_t frame[SIM_FRAME_SIZE];
    FT_HANDLE handle = nullptr;
    const char *error = openConnection_(0, &handle);
    if (error == nullptr) {
        error = readFromVorn_(handle, frame);
        FT_Close(handle);
    }
    return error;
}

Bench::~Bench()
{
    if (window != nullptr)
        DestroyWindow(window);
    if (standIn_ == nullptr)
        return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(standIn_);
    RegDeleteTreeA(HKEY_CURRENT_USER, kStandIn);
}

bool Bench::seed(bool damagedRefreshRate)
{
    if (!seeded_) {
        seeded_ = true;
        window = CreateWindowExA(0, "STATIC", "vornbench host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kStandIn, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &standIn_, nullptr) == ERROR_SUCCESS &&
            RegOverridePredefKey(HKEY_CURRENT_USER, standIn_) != ERROR_SUCCESS) {
            RegCloseKey(standIn_);
            standIn_ = nullptr;
        }
    }
    HKEY key = nullptr;
    if (standIn_ == nullptr || RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_VOLATILE,
                                               KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    // A damaged rate: two bytes where the plug-in expects a DWORD.
    const DWORD device = 0, rate = 1;
    const bool ok = RegSetValueExA(key, kDeviceIdValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&device),
                                   sizeof device) == 0 &&
                    RegSetValueExA(key, kRefreshRateValue, 0, damagedRefreshRate ? REG_BINARY : REG_DWORD,
                                   reinterpret_cast<const BYTE *>(&rate), damagedRefreshRate ? 2 : sizeof rate) == 0;
    RegCloseKey(key);
    return ok;
}

DWORD pumpSettingsBox(HWND owner, bool pressOk, DWORD timeoutMs)
{
    DWORD poller = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
        while (box != nullptr && GetWindow(box, GW_OWNER) != owner)
            box = FindWindowExA(nullptr, box, "#32770", nullptr);
        if (box == nullptr && poller != 0)
            return poller; // pressed, and gone
        if (box != nullptr && IsWindowVisible(box)) {
            poller = GetWindowThreadProcessId(box, nullptr);
            if (!pressOk)
                return poller;
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return 0;
}

bool runThreads(const std::vector<ThreadSpec> &threads, std::atomic<bool> &stop, const std::function<void()> &meanwhile)
{
    std::vector<HANDLE> handles;
    for (const ThreadSpec &t : threads) {
        HANDLE h = CreateThread(nullptr, 0, t.first, t.second, 0, nullptr);
        if (h != nullptr)
            handles.push_back(h);
    }
    if (handles.size() == threads.size())
        meanwhile();
    stop.store(true);
    const DWORD waited = handles.empty()
                             ? WAIT_OBJECT_0
                             : WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, 15000);
    for (HANDLE h : handles)
        CloseHandle(h);
    return handles.size() == threads.size() && waited < WAIT_OBJECT_0 + handles.size();
}
