#pragma once

#include "device/core/CMessage.h"
#include "device/core/MivoSeriesStackCodec.h"
#include "device/core/SessionOperationCode.h"
#include "device/core/StdStringPacker.h"
#include "device/core/ZQDevice.h"
#include "device/core/ZQDeviceSession.h"

#include <array>
#include <memory>
#include <stdexcept>

namespace zq {

// A query over one command frame each way.
template <typename RequestCode, typename Request, typename ReplyCode, typename Reply, bool Flag>
class GenericDeviceSession
    : public ZQDeviceSession,
      public std::enable_shared_from_this<GenericDeviceSession<RequestCode, Request, ReplyCode, Reply, Flag>> {
public:
    static constexpr std::size_t kBufferSize = 1024;

    // Throws "Device reading timeout" when no reply comes in time.
    bool do_perform(ZQDevice* device, int sid) override
    {
        std::array<std::uint8_t, kBufferSize> buffer{};
        std::uint8_t* packed = buffer.data();
        std::size_t packedLength = 0;
        request.pack(buffer.data(), buffer.size(), &packed, &packedLength);

        const auto id = static_cast<std::uint8_t>(sid);
        const MivoSeriesStackCodec requestCodec(id, requestCode.op1, requestCode.op2);
        const ByteVector frame = requestCodec.encode(ByteVector(packed, packed + packedLength));
        device->Send(frame.data(), static_cast<int>(frame.size()));

        std::array<std::uint8_t, kBufferSize> replyBuffer{};
        const int n = device->ReadNext(sid, replyBuffer.data(), replyBuffer.size(), timeoutMs);
        if (n < 0)
            throw std::runtime_error("Device reading timeout");

        const MivoSeriesStackCodec replyCodec(id, replyCode.op1, replyCode.op2);
        const ByteVector payload = replyCodec.decode(ByteVector(replyBuffer.begin(), replyBuffer.begin() + n));
        reply.unpack(payload.data(), payload.size());
        return true;
    }

    RequestCode requestCode;
    Request request;
    ReplyCode replyCode;
    Reply reply;
};

using ModelNameSession = GenericDeviceSession<SessionOperationCode<2, 17>, zqmsgpack::CNull,
                                              SessionOperationCode<3, 17>, bootloader::StdStringPacker, true>;
using SerialNumberSession = GenericDeviceSession<SessionOperationCode<2, 35>, zqmsgpack::CNull,
                                                 SessionOperationCode<2, 35>, bootloader::StdStringPacker, true>;

} // namespace zq
