#include "device/core/MivoSeriesStackCodec.h"

#include "device/core/SevenBitsCodec.h"
#include "device/core/SysExCommandCodec.h"

#include <stdexcept>

namespace zq {

MivoSeriesStackCodec::MivoSeriesStackCodec(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2)
{
    MessageStackCodec::addCodec(std::make_unique<SevenBitsCodec>());
    MessageStackCodec::addCodec(std::make_unique<SysExCommandCodec>(sid, op1, op2));
}

void MivoSeriesStackCodec::addCodec(std::unique_ptr<MessageCodec>)
{
    throw std::logic_error("MIVO series should not call this function");
}

} // namespace zq
