#pragma once

#include "device/core/MessageStackCodec.h"

namespace zq {

// The fixed chain of the command sessions: 7-bit packing, then the frame.
class MivoSeriesStackCodec : public MessageStackCodec {
public:
    MivoSeriesStackCodec(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2);

    // The chain is fixed; always throws std::logic_error.
    void addCodec(std::unique_ptr<MessageCodec> codec) override;
};

} // namespace zq
