// Arbitrary replies into the bootloader sessions' waits, through a device
// whose transport answers every send from the input.
//
// Input: one byte choosing the session (bit 0: the firmware update, else the
// information read) and the image length (bits 1-3), then records, one per
// send: a kind byte, a length byte, that many bytes. Kind bits 0-2 put a tag
// before the bytes (0: none; from 1 on each of the bootloader's reply tags in
// turn, then each of them one letter short), bit 3 an F7 after them, bit 4
// delivers the next
// record with the same send, bit 5 adds 256 to the length. Waits end at once:
// the clock runs as fast as it can.
#include "device/bootloader/BootloaderMessages.h"
#include "device/bootloader/DownloadFirmwareVersionSession.h"
#include "device/bootloader/FirmwareUpdateSession.h"
#include "fuzz/FuzzCheck.h"
#include "runtime/Clock.h"
#include "tests/support/RecordingDevice.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kReplies = sizeof bootloader::kReplyTags / sizeof bootloader::kReplyTags[0];

// The tag that kind bits 0-2 put before a record's bytes.
std::string TagOfKind(std::uint8_t kind)
{
    const std::size_t k = kind & 7u;
    if (k == 0)
        return {};
    const std::string tag = bootloader::kReplyTags[(k - 1) % kReplies];
    return k <= kReplies ? tag : tag.substr(0, tag.size() - 1);
}
const int kImageSizes[] = {0, 1, 255, 256, 257, 600, 1024, 1100};

class Replies {
public:
    Replies(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}

    std::vector<Bytes> next()
    {
        std::vector<Bytes> out;
        bool more = true;
        while (more && at < size) {
            const std::uint8_t kind = data[at++];
            std::size_t n = at < size ? data[at++] : 0;
            n += (kind & 0x20) ? 256 : 0;
            n = std::min(n, size - at);
            Bytes reply;
            const std::string tag = TagOfKind(kind);
            if (!tag.empty()) {
                reply.push_back(0xF0);
                reply.insert(reply.end(), tag.begin(), tag.end());
            }
            reply.insert(reply.end(), data + at, data + at + n);
            at += n;
            if (kind & 0x08)
                reply.push_back(0xF7);
            out.push_back(std::move(reply));
            more = (kind & 0x10) != 0;
        }
        return out;
    }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

struct Progress {
    std::vector<int> percents;
    static void record(ZQDevice*, FirmwareUpdateSession*, int percent, void* user)
    {
        static_cast<Progress*>(user)->percents.push_back(percent);
    }
};

void CheckUpdate(RecordingDevice& device, const FirmwareUpdateSession& session, bool ok, int imageSize,
                 const Progress& progress)
{
    FUZZ_CHECK(ok ? session.error == 0 : session.error >= 11 && session.error <= 16);
    const int chunks = (imageSize + 255) / 256;
    std::int64_t lastOffset = -256;
    int writes = 0;
    for (const Bytes& m : device.sentMessages()) {
        if (!bootloader::HasTag(m.data(), m.size(), bootloader::kWriteFlash))
            continue;
        ++writes;
        FUZZ_CHECK(m.size() == bootloader::kWriteFlashLength && m.back() == 0xF7);
        FUZZ_CHECK(std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; }));
        const std::int64_t offset = bootloader::DecodeOffset(m.data() + bootloader::kFlashOffsetIndex);
        FUZZ_CHECK(offset == lastOffset || offset == lastOffset + 256); // in order, a chunk at most twice
        FUZZ_CHECK(offset < imageSize);
        lastOffset = offset;
    }
    FUZZ_CHECK(writes <= 2 * chunks);
    FUZZ_CHECK(std::is_sorted(progress.percents.begin(), progress.percents.end()));
    FUZZ_CHECK(progress.percents.empty() || progress.percents.back() <= 100);
    if (ok) {
        FUZZ_CHECK(static_cast<int>(progress.percents.size()) == chunks);
        FUZZ_CHECK(chunks == 0 || progress.percents.back() == 100);
        const Bytes last = device.sentMessages().back();
        FUZZ_CHECK(last.size() == bootloader::kSetFwStatusLength && last[bootloader::kFwStatusIndex] == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    zq::Clock::setSpeedup(std::numeric_limits<std::uint32_t>::max());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    Replies replies(data + 1, size - 1);
    RecordingDevice device([&replies](const Bytes&) { return replies.next(); });

    if (data[0] & 1) {
        const int imageSize = kImageSizes[(data[0] >> 1) & 7];
        Bytes image(static_cast<std::size_t>(imageSize));
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i * 131 + 7);
        Progress progress;
        FirmwareUpdateSession session;
        session.image = image.data();
        session.imageSize = imageSize;
        session.progressCallback = Progress::record;
        session.progressUserData = &progress;
        const bool ok = session.Perform(&device);
        CheckUpdate(device, session, ok, imageSize, progress);
    } else {
        bootloader::DownloadFirmwareVersionSession session;
        const bool ok = session.Perform(&device);
        FUZZ_CHECK(ok ? session.error == 0 : session.error == 14);
        if (ok) {
            std::uint8_t block[bootloader::FirmwareInfo::kSize];
            session.info.toBytes(block);
            FUZZ_CHECK(bootloader::FirmwareInfo::fromBytes(block, sizeof block).hardwareType
                       == session.info.hardwareType);
        }
    }
    return 0;
}
