// Stand-in for the closed Bluetooth-module production library. It accepts the
// calls in the order the updater makes them, reads the firmware file's
// version, and simulates a download on a thread of its own that reports
// progress and completion through the callback. Test knobs come from
// KOVRA_STANDIN_* environment variables (see docs/demo.md).

#include "device/ble/ProductionLibraryApi.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

// The eight entry points the updater looks up; some test variants leave one out.
STANDIN_EXPORT int Initialize(int mode, ZQBLEEventCallback callback);
STANDIN_EXPORT int SetLibPath(const char* folder);
STANDIN_EXPORT int RefreshDevice(int kind);
STANDIN_EXPORT int SetFirmwareFile(const char* path, char* text);
STANDIN_EXPORT int SetConfiguration(const char* key, const char* value);
STANDIN_EXPORT int GetConfiguration(const char* key, char* value, int capacity);
STANDIN_EXPORT int Download();
STANDIN_EXPORT int Release();

// The variants without some entry points leave some helpers and values unused.
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-const-variable"

namespace {

// SetFirmwareFile's own codes.
constexpr int kFileMissing = 2;
constexpr int kFileMalformed = 3;
// Download's own codes for calls out of order.
constexpr int kNoFirmware = 2;
constexpr int kNoModule = 3;
constexpr int kBusy = 4;

// An event the updater does not handle: the module answered.
constexpr int kEventModuleFound = 3;

constexpr int kRefreshKind = 257;
const char* const kFirmwareMagic = "KOVRA-BLE-FW 1";
const char* const kVersionKey = "version ";

// Globals with trivial destructors only: the library may stay loaded with a
// download thread still inside it while the process exits.
std::atomic<ZQBLEEventCallback> g_callback{nullptr};
std::atomic<bool> g_firmwareAccepted{false};
std::atomic<bool> g_moduleFound{false};
std::atomic<unsigned> g_settings{0};

const char* const kSettingKeys[] = {"PRODUCTION", "FLASH_ERASE", "RESTART"};
constexpr unsigned kAllSettings = 7;

const char* knob(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool knobSet(const char* name)
{
    const char* value = knob(name);
    return value != nullptr && std::strcmp(value, "0") != 0;
}

int knobInt(const char* name, int fallback)
{
    const char* value = knob(name);
    return value != nullptr ? static_cast<int>(std::strtol(value, nullptr, 10)) : fallback;
}

std::vector<int> knobProgress()
{
    std::vector<int> values;
    if (const char* list = knob("KOVRA_STANDIN_PROGRESS")) {
        std::stringstream in(list);
        std::string item;
        while (std::getline(in, item, ','))
            values.push_back(static_cast<int>(std::strtol(item.c_str(), nullptr, 10)));
    } else {
        for (int p = 0; p <= 100; p += 10)
            values.push_back(p);
    }
    return values;
}

std::string callLogPath()
{
    const char* path = knob("KOVRA_STANDIN_CALL_LOG");
    return path != nullptr ? path : "";
}

void appendLine(const std::string& path, const std::string& line)
{
    if (path.empty())
        return;
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    const ssize_t written = write(fd, text.data(), text.size());
    (void)written;
    close(fd);
}

void logCall(const std::string& line) { appendLine(callLogPath(), line); }

// One simulated download. Its worker is the library's own thread.
struct Run {
    ZQBLEEventCallback callback = nullptr;
    std::vector<int> progress;
    int lengthMs = 3000;
    int result = 0;
    int completeCode = 0;
    bool sendCompletion = true;
    bool neverEnds = false;
    std::string logPath;

    std::atomic<bool> released{false};
    std::atomic<bool> finished{false};
};

void emit(const Run& run, int event, int value)
{
    if (run.callback != nullptr && !run.released.load())
        run.callback(event, &value, nullptr);
}

// False when Release came first.
bool pause(const Run& run, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!run.released.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(5)));
    }
    return false;
}

void work(const std::shared_ptr<Run>& run)
{
    const int steps = static_cast<int>(run->progress.size()) + 1;
    const int stepMs = std::max(0, run->lengthMs) / steps;
    emit(*run, kEventModuleFound, 1);
    bool going = true;
    for (int value : run->progress) {
        if (!(going = pause(*run, stepMs)))
            break;
        emit(*run, ZQBLE_EVENT_PROGRESS, value);
    }
    if (going && run->neverEnds) {
        const int last = run->progress.empty() ? 0 : run->progress.back();
        while (pause(*run, 20))
            emit(*run, ZQBLE_EVENT_PROGRESS, last);
    } else if (going && pause(*run, stepMs) && run->sendCompletion) {
        emit(*run, ZQBLE_EVENT_COMPLETE, run->completeCode);
    }
    run->finished = true;
}

// Downloads in progress, for Release. Plain pointers in a fixed table: the
// library is loaded and unloaded many times in one process, and may stay
// loaded at exit with a download still inside it. Each Run is owned by its
// Download call, which takes it out of the table before it lets go.
constexpr int kMaxRuns = 16;
std::mutex g_runsMutex;
Run* g_runs[kMaxRuns] = {};

bool enter(Run* run)
{
    std::lock_guard<std::mutex> lock(g_runsMutex);
    for (Run*& slot : g_runs) {
        if (slot == nullptr) {
            slot = run;
            return true;
        }
    }
    return false;
}

void forgetLocked(const Run* run)
{
    for (Run*& slot : g_runs)
        if (slot == run)
            slot = nullptr;
}

void forget(const Run* run)
{
    std::lock_guard<std::mutex> lock(g_runsMutex);
    forgetLocked(run);
}

// Silences every running download and waits for its worker to end. A
// download that never ends is forgotten then; its call stays blocked.
void releaseRuns()
{
    std::lock_guard<std::mutex> lock(g_runsMutex);
    for (Run* run : g_runs)
        if (run != nullptr)
            run->released = true;
    for (Run* run : g_runs) {
        if (run == nullptr)
            continue;
        while (!run->finished.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (run->neverEnds)
            forgetLocked(run);
    }
}

bool readFile(const char* path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

__attribute__((constructor)) void onLoad() { logCall("Load"); }

__attribute__((destructor)) void onUnload() { logCall("Unload"); }

} // namespace

#ifndef KOVRA_STANDIN_WITHOUT_INITIALIZE
STANDIN_EXPORT int Initialize(int mode, ZQBLEEventCallback callback)
{
    logCall("Initialize " + std::to_string(mode));
    g_firmwareAccepted = false;
    g_moduleFound = false;
    g_settings = 0;
    if (mode != 2)
        return 1;
    g_callback = callback;
    return 0;
}
static_assert(std::is_same<decltype(&Initialize), ZQBLEInitializeFn>::value, "Initialize");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_SETLIBPATH
STANDIN_EXPORT int SetLibPath(const char* folder)
{
    logCall(std::string("SetLibPath ") + (folder != nullptr ? folder : ""));
    return folder != nullptr && *folder != '\0' ? 0 : 1;
}
static_assert(std::is_same<decltype(&SetLibPath), ZQBLESetLibPathFn>::value, "SetLibPath");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_REFRESHDEVICE
STANDIN_EXPORT int RefreshDevice(int kind)
{
    logCall("RefreshDevice " + std::to_string(kind));
    const bool found = kind == kRefreshKind && !knobSet("KOVRA_STANDIN_NO_MODULE");
    g_moduleFound = found;
    return found ? 1 : 0;
}
static_assert(std::is_same<decltype(&RefreshDevice), ZQBLERefreshDeviceFn>::value, "RefreshDevice");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_SETFIRMWAREFILE
// The file: the line "KOVRA-BLE-FW 1", then a line "version TEXT" whose TEXT
// (raw, at most 127 bytes) is handed back; the rest is payload.
STANDIN_EXPORT int SetFirmwareFile(const char* path, char* text)
{
    logCall(std::string("SetFirmwareFile ") + (path != nullptr ? path : ""));
    g_firmwareAccepted = false;
    if (const int refusal = knobInt("KOVRA_STANDIN_REFUSE_FILE", 0))
        return refusal;
    std::string content;
    if (path == nullptr || text == nullptr || !readFile(path, content))
        return kFileMissing;

    std::stringstream lines(content);
    std::string line;
    if (!std::getline(lines, line) || line.substr(0, line.find_last_not_of('\r') + 1) != kFirmwareMagic)
        return kFileMalformed;
    const std::size_t keyLength = std::strlen(kVersionKey);
    while (std::getline(lines, line)) {
        if (line.compare(0, keyLength, kVersionKey) != 0)
            continue;
        std::string version = line.substr(keyLength);
        if (!version.empty() && version.back() == '\r')
            version.pop_back();
        const std::size_t length = std::min<std::size_t>(version.size(), ZQBLE_FIRMWARE_TEXT_SIZE - 1);
        std::memcpy(text, version.data(), length);
        text[length] = '\0';
        g_firmwareAccepted = true;
        return 0;
    }
    return kFileMalformed;
}
static_assert(std::is_same<decltype(&SetFirmwareFile), ZQBLESetFirmwareFileFn>::value, "SetFirmwareFile");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_SETCONFIGURATION
STANDIN_EXPORT int SetConfiguration(const char* key, const char* value)
{
    const std::string k = key != nullptr ? key : "";
    const std::string v = value != nullptr ? value : "";
    logCall("SetConfiguration " + k + " " + v);
    for (unsigned i = 0; i < 3; ++i) {
        if (k == kSettingKeys[i]) {
            if (v == "1")
                g_settings |= 1u << i;
            else
                g_settings &= ~(1u << i);
            return 0;
        }
    }
    return 1;
}
static_assert(std::is_same<decltype(&SetConfiguration), ZQBLESetConfigurationFn>::value, "SetConfiguration");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_GETCONFIGURATION
STANDIN_EXPORT int GetConfiguration(const char* key, char* value, int capacity)
{
    logCall(std::string("GetConfiguration ") + (key != nullptr ? key : ""));
    if (key == nullptr || value == nullptr || capacity < 2)
        return 1;
    for (unsigned i = 0; i < 3; ++i) {
        if (std::strcmp(key, kSettingKeys[i]) == 0) {
            value[0] = (g_settings.load() & (1u << i)) != 0 ? '1' : '0';
            value[1] = '\0';
            return 0;
        }
    }
    return 1;
}
static_assert(std::is_same<decltype(&GetConfiguration), ZQBLEGetConfigurationFn>::value, "GetConfiguration");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_DOWNLOAD
// Blocks until the simulated download has ended; a download that never ends
// keeps reporting its last progress until Release and then stays here.
STANDIN_EXPORT int Download()
{
    logCall("Download");
    const std::string logPath = callLogPath();
    if (!g_firmwareAccepted.load() || g_settings.load() != kAllSettings) {
        appendLine(logPath, "Download returned " + std::to_string(kNoFirmware));
        return kNoFirmware;
    }
    if (!g_moduleFound.load()) {
        appendLine(logPath, "Download returned " + std::to_string(kNoModule));
        return kNoModule;
    }

    auto run = std::make_shared<Run>();
    run->callback = g_callback.load();
    run->progress = knobProgress();
    // A program that runs its own waits faster passes its factor on, so
    // that its download time-out still outlasts this download.
    run->lengthMs = knobInt("KOVRA_STANDIN_DOWNLOAD_MS", 3000) / std::max(1, knobInt("KOVRA_STANDIN_SPEEDUP", 1));
    run->result = knobInt("KOVRA_STANDIN_DOWNLOAD_RESULT", 0);
    run->completeCode = knobInt("KOVRA_STANDIN_COMPLETE_CODE", run->result);
    run->sendCompletion = !knobSet("KOVRA_STANDIN_NO_COMPLETE");
    run->neverEnds = knobSet("KOVRA_STANDIN_NEVER_ENDS");
    run->logPath = logPath;
    if (!enter(run.get())) {
        appendLine(logPath, "Download returned " + std::to_string(kBusy));
        return kBusy;
    }

    std::thread worker(work, run);
    worker.join();
    if (run->neverEnds) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    forget(run.get());
    appendLine(logPath, "Download returned " + std::to_string(run->result));
    return run->result;
}
static_assert(std::is_same<decltype(&Download), ZQBLEDownloadFn>::value, "Download");
#endif

#ifndef KOVRA_STANDIN_WITHOUT_RELEASE
STANDIN_EXPORT int Release()
{
    logCall("Release");
    releaseRuns();
    g_callback = nullptr;
    g_firmwareAccepted = false;
    g_moduleFound = false;
    g_settings = 0;
    return 0;
}
static_assert(std::is_same<decltype(&Release), ZQBLEReleaseFn>::value, "Release");
#endif
