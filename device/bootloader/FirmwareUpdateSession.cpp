#include "FirmwareUpdateSession.h"

#include "Clock.h"
#include "ZQDevice.h"
#include "ZQSysEx.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

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

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(firmwarePath.c_str(), "rb"));
    if (!file)
        return kErrorImageFile;
    // Something that opens but does not read (a directory) may still report
    // a length; a first read tells.
    if (std::fgetc(file.get()) == EOF && std::ferror(file.get()))
        return kErrorImageFile;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return kErrorImageFile;
    const long length = std::ftell(file.get());
    if (length < 0)
        return kErrorImageFile;
    if (length >= static_cast<long>(kMaxImageBytes))
        return kErrorImageUnsendable; // not read at all
    std::rewind(file.get());

    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length > 0 ? length : 1]);
    if (!bytes)
        return kErrorImageFile;
    // Only what was read can be sent: a short read fails the whole file.
    if (std::fread(bytes.get(), 1, static_cast<std::size_t>(length), file.get()) != static_cast<std::size_t>(length))
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
    if (WaitForReply(device, sid, reply, sizeof reply, kRetFwStatus, kFwStatusIndex) < 1)
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
    if (WaitForReply(device, sid, reply, sizeof reply, kRetFwInfo, 0) < 1)
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
    if (!sendRequest(device, kWriteFlashLength) || !awaitWriteStatus(device, sid))
        return false;
    if (reply[kWriteStatusIndex] == kChunkAccepted)
        return true;

    // One resend of a refused chunk; a time-out is never resent.
    zq::Clock::sleepMs(chunkDelayMs);
    if (!sendRequest(device, kWriteFlashLength) || !awaitWriteStatus(device, sid))
        return false;
    return reply[kWriteStatusIndex] == kChunkAccepted;
}

bool FirmwareUpdateSession::awaitWriteStatus(ZQDevice* device, int sid)
{
    std::memset(reply, 0, sizeof reply);
    return WaitForReply(device, sid, reply, sizeof reply, kRetWriteFlash, kWriteStatusIndex) >= 1;
}
