#include "device/bootloader/FirmwareUpdateSession.h"

#include "device/core/ZQDevice.h"
#include "device/core/ZQSysEx.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace bootloader;

// The buffer read from firmwarePath; freed, and `image` cleared, on every way
// out of Perform.
class FirmwareUpdateSession::LoadedImage {
public:
    explicit LoadedImage(FirmwareUpdateSession& s) : session(s) {}
    ~LoadedImage() { release(); }

    void adopt(std::unique_ptr<std::uint8_t[]> bytes)
    {
        buffer = std::move(bytes);
        session.image = buffer.get();
    }
    void release()
    {
        if (buffer) {
            buffer.reset();
            session.image = nullptr;
        }
    }

private:
    FirmwareUpdateSession& session;
    std::unique_ptr<std::uint8_t[]> buffer;
};

namespace {

bool Sendable(const std::uint8_t* image, long long size)
{
    return size >= 0 && size < static_cast<long long>(kMaxImageBytes) && (size == 0 || image != nullptr);
}

struct FileDescriptor {
    explicit FileDescriptor(int f) : fd(f) {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    const int fd;
};

// One read, repeated when a signal cuts it short; -1 on an error.
ssize_t readSome(int fd, std::uint8_t* into, std::size_t size)
{
    ssize_t n;
    do
        n = ::read(fd, into, size);
    while (n < 0 && errno == EINTR);
    return n;
}

bool readWhole(int fd, std::uint8_t* into, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = readSome(fd, into, size);
        if (n <= 0)
            return false;
        into += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool FirmwareUpdateSession::fail(int code)
{
    error = code;
    return false;
}

bool FirmwareUpdateSession::sendRequest(ZQDevice* device, std::size_t length)
{
    return device->Send(request, static_cast<int>(length)) >= 0;
}

int FirmwareUpdateSession::loadImage(LoadedImage& loaded)
{
    // Without blocking: a FIFO with no writer must not hold the amplifier in
    // its bootloader. Only a regular file can be an image; a device or a pipe
    // reads as endless or nothing.
    const FileDescriptor file(::open(firmwarePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return kErrorImageFile;
    const off_t length = info.st_size;
    if (length >= static_cast<off_t>(kMaxImageBytes))
        return kErrorImageUnsendable; // not read at all

    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow)
                                              std::uint8_t[static_cast<std::size_t>(length > 0 ? length : 1)]);
    if (!bytes)
        return kErrorImageFile;
    // The file must read exactly as long as it says: a /proc file says 0 and
    // still gives data, a file may shrink or grow meanwhile.
    std::uint8_t beyond = 0;
    if (!readWhole(file.fd, bytes.get(), static_cast<std::size_t>(length)) || readSome(file.fd, &beyond, 1) != 0)
        return kErrorImageFile;
    imageSize = static_cast<int>(length);
    loaded.adopt(std::move(bytes));
    return 0;
}

bool FirmwareUpdateSession::Perform(ZQDevice* device)
{
    // Every bootloader reply reaches the device's default session.
    if (device == nullptr)
        return fail(kErrorNoDevice);
    const int sid = device->defaultSid;
    if (sid == -1)
        return fail(kErrorNoSessionId);
    if (!loadFromFile && !Sendable(image, imageSize))
        return fail(kErrorImageUnsendable);

    // Is the amplifier running its application?
    if (!sendRequest(device, BuildRequest(request, kGetFwStatus)))
        return fail(kErrorFwStatus);
    if (WaitForReply(device, sid, reply, sizeof reply, Reply::FwStatus, kFwStatusIndex) < 1)
        return fail(kErrorFwStatus);

    // Then switch it into its bootloader and let the caller reconnect.
    if (reply[kFwStatusIndex] == 1) {
        if (SendSetFwStatus(device, kStatusToBootloader) < 0)
            return fail(kErrorSetFwStatus);
        if (enterBootloaderCallback != nullptr && !enterBootloaderCallback(device, this, callbackUserData))
            return fail(kErrorEnterBootloader);
    }

    zq::Clock::sleepMs(settleDelayMs);

    // The information block is not used here; the image is sent unverified.
    if (!sendRequest(device, BuildRequest(request, kGetFwInfo)))
        return fail(kErrorFwInfo);
    if (WaitForReply(device, sid, reply, sizeof reply, Reply::FwInfo, 0) < 1)
        return fail(kErrorFwInfo);

    // The file is opened only now, after the switch.
    LoadedImage loaded(*this);
    if (loadFromFile) {
        const int code = loadImage(loaded);
        if (code != 0)
            return fail(code);
    }

    zq::Clock::sleepMs(settleDelayMs);

    // Stop and wait, one chunk in flight.
    std::uint32_t offset = 0;
    const auto size = static_cast<std::uint32_t>(imageSize);
    while (offset < size) {
        std::size_t taken = 0;
        if (!writeChunk(device, sid, offset, taken))
            return fail(kErrorWriteFlash);
        offset += static_cast<std::uint32_t>(taken);
        if (progressCallback != nullptr) {
            const auto percent = std::min<std::uint64_t>(std::uint64_t(offset) * 100 / size, 100);
            progressCallback(device, this, static_cast<int>(percent), progressUserData);
        }
    }

    // Back into the application.
    if (SendSetFwStatus(device, kStatusToApplication) < 0)
        return fail(kErrorSetFwStatus);

    zq::Clock::sleepMs(settleDelayMs);
    loaded.release();

    if (doneCallback != nullptr)
        doneCallback(device, this, callbackUserData);
    return true;
}

bool FirmwareUpdateSession::writeChunk(ZQDevice* device, int sid, std::uint32_t offset, std::size_t& taken)
{
    std::memset(request + kFlashChunkIndex, 0, sizeof request - kFlashChunkIndex);
    BuildRequest(request, kWriteFlash);
    EncodeOffset(offset, request + kFlashOffsetIndex);

    std::uint8_t chunk[kChunkWithChecksum] = {};
    taken = std::min<std::size_t>(kChunkBytes, static_cast<std::size_t>(imageSize) - offset);
    std::memcpy(chunk, image + offset, taken);
    chunk[kChunkBytes] = ChunkChecksum(chunk, taken);
    ZQSysEx::SetupMidiDataFromGeneralData(request + kFlashChunkIndex, chunk, kChunkWithChecksum);
    request[kWriteFlashLength - 1] = 0xF7;

    zq::Clock::sleepMs(chunkDelayMs);
    dropQueued(device, sid);
    if (!sendRequest(device, kWriteFlashLength) || !awaitWriteStatus(device, sid))
        return false;
    if (reply[kWriteStatusIndex] == kChunkAccepted)
        return true;

    // One resend of a refused chunk; a time-out is never resent.
    zq::Clock::sleepMs(chunkDelayMs);
    dropQueued(device, sid);
    if (!sendRequest(device, kWriteFlashLength) || !awaitWriteStatus(device, sid))
        return false;
    return reply[kWriteStatusIndex] == kChunkAccepted;
}

void FirmwareUpdateSession::dropQueued(ZQDevice* device, int sid)
{
    // Whatever waits now answers nothing still asked (an amplifier that
    // answers twice): read as the next chunk's answer, it would let every
    // answer after it run one behind, a refusal among them.
    while (device->ReadNext(sid, reply, sizeof reply, -1) >= 0) {
    }
}

bool FirmwareUpdateSession::awaitWriteStatus(ZQDevice* device, int sid)
{
    std::memset(reply, 0, sizeof reply);
    return WaitForReply(device, sid, reply, sizeof reply, Reply::WriteFlash, kWriteStatusIndex) >= 1;
}
