#pragma once

#include "device/core/ZQQueue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// An amplifier connection: 64 session slots with reply queues, the receive
// framer and router. Transports implement the four pure operations.
class ZQDevice {
public:
    static constexpr int kSlotCount = 64;
    // Bytes that never complete a message are dropped past this size, and so
    // is a message longer than this; the longest real message is far shorter.
    static constexpr std::size_t kMaxReceiveBuffer = 64 * 1024;

    ZQDevice();
    virtual ~ZQDevice();
    ZQDevice(const ZQDevice&) = delete;
    ZQDevice& operator=(const ZQDevice&) = delete;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual const std::uint8_t* GetUUID() const;
    virtual int Internal_Send(const std::uint8_t* data, std::size_t length) = 0;

    // Round robin after the slot given out last; -1 when all 64 are taken.
    int AllocateSid();
    void ReleaseSid(int sid);

    int Send(const std::uint8_t* data, int length);

    // Transport entry for received bytes (receive thread only).
    void OnReadNext(const std::uint8_t* data, int length);

    // Takes the oldest message of slot `sid` into `out`, at most `capacity`
    // bytes of it (a longer message is cut; the rest is dropped; a queue keeps
    // no more than ZQQueue::kMaxMessageBytes of any message). Returns the
    // number of bytes copied, -1 on a bad id, a free slot or a time-out, 0 for
    // a null `out`. timeoutMs 0 waits without limit, a negative one polls;
    // time in which the process could not run (stopped) does not count.
    int ReadNext(int sid, std::uint8_t* out, std::size_t capacity, int timeoutMs);

    std::vector<std::shared_ptr<ZQQueue>> queues;
    std::unique_ptr<std::vector<std::uint8_t>> receiveBuffer;
    std::mutex slotMutex;
    int defaultSid;
    int lastSid;

protected:
    void Internal_OnReadNext(const std::uint8_t* message, int length);

private:
    std::shared_ptr<ZQQueue> QueueOf(int sid);
    // OnReadNext for a delivery of at most kMaxReceiveBuffer bytes.
    void Frame(const std::uint8_t* data, std::size_t length);

    // How far the framer has looked into receiveBuffer: its first `scanned`
    // bytes complete no message, and `scanStart` is where the unfinished one
    // begins (`scanned` when none does). Each delivery goes on from there, so
    // bytes that arrive in many small pieces are not scanned again each time.
    std::size_t scanned = 0;
    std::size_t scanStart = 0;
};
