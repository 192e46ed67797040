#pragma once

#include <cstddef>
#include <cstdint>

namespace zqmsgpack {

// A request or reply payload that packs into bytes and unpacks from them.
class CAbstractMessage {
public:
    virtual ~CAbstractMessage() = default;
    virtual bool pack(std::uint8_t* buffer, std::size_t capacity, std::uint8_t** out, std::size_t* outLength) = 0;
    virtual bool unpack(const std::uint8_t* data, std::size_t length) = 0;
};

template <typename T>
class CMessage : public CAbstractMessage {
public:
    T value{};
};

// The empty payload.
class CNull : public CMessage<std::nullptr_t> {
public:
    bool pack(std::uint8_t*, std::size_t, std::uint8_t**, std::size_t*) override { return true; }
    bool unpack(const std::uint8_t*, std::size_t) override { return true; }
};

} // namespace zqmsgpack
