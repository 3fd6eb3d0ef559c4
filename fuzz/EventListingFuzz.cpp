// The event listing on any table the interface may send back, by two roads.
// The first four bytes are the clock the listing is headed with. The rest
// is decoded directly as up to 128 slots of ten bytes, each line on its own
// and the whole listing; and it is played, after the six-byte handshake, as
// the interface's whole reply to command 5 on a pseudo-terminal, so that
// the driver's own reader takes the status byte and the slots off the wire
// (mode byte, then seven bytes unless the slot is empty). Unless the lowest
// bit of the first byte is set the reply is padded with empty slots to a
// full table; set, the reply is cut where the input ends and the reader
// must time out and leave the table as it was.

#include "cp290/Driver.h"
#include "cp290/DriverHost.h"
#include "cp290/DriverTesting.h"
#include "cp290/EventListing.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vantrel;
using Bytes = std::vector<std::uint8_t>;

// The driver's frame for command 5: sixteen 0xFF and the command, no data.
constexpr std::size_t GetEventsFrameLength = 17;
// Reply bytes: the status, then 128 slots of at most eight bytes.
constexpr std::size_t FullReplyLength = 1 + CP290MaxEvents * 8;

// The interface, on the master side of a pseudo-terminal: answers every
// frame with the reply of the current input.
class Interface
{
  public:
    Interface()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            std::abort();
        m_path = ptsname(m_master);
        // Held open so the master never sees a hang-up while the driver has
        // the port closed between exchanges.
        m_keeper = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        m_thread = std::thread([this] { run(); });
    }

    const std::string& path() const { return m_path; }

    void setReply(Bytes reply)
    {
        std::lock_guard lock(m_mutex);
        m_reply = std::move(reply);
    }

  private:
    void run()
    {
        std::size_t received = 0;
        for (;;) {
            pollfd fd = {m_master, POLLIN, 0};
            if (poll(&fd, 1, -1) < 0)
                continue;
            std::uint8_t buffer[256];
            const ssize_t got = read(m_master, buffer, sizeof buffer);
            if (got <= 0)
                continue;
            received += static_cast<std::size_t>(got);
            if (received < GetEventsFrameLength)
                continue;
            received = 0;
            Bytes reply;
            {
                std::lock_guard lock(m_mutex);
                reply = m_reply;
            }
            for (std::size_t at = 0; at < reply.size();) {
                const ssize_t put = write(m_master, reply.data() + at, reply.size() - at);
                if (put > 0)
                    at += static_cast<std::size_t>(put);
                else if (put < 0 && errno != EAGAIN && errno != EINTR)
                    break;
            }
        }
    }

    int m_master = -1;
    int m_keeper = -1;
    std::string m_path;
    std::mutex m_mutex;
    Bytes m_reply;
    std::thread m_thread;
};

Interface* interface = nullptr;
SilentDriverHost host;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    interface = new Interface;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    std::uint32_t now = 0;
    std::memcpy(&now, data, sizeof now);
    const bool cutShort = (data[0] & 1) != 0;
    data += sizeof now;
    size -= sizeof now;

    // Decoded directly.
    const std::size_t count = std::min<std::size_t>(size / CP290TimerEventSize, CP290MaxEvents);
    std::vector<std::uint8_t> bytes(data, data + count * CP290TimerEventSize);
    auto* slots = reinterpret_cast<TimerEventEntry*>(bytes.data());
    for (std::size_t i = 0; i < count; ++i)
        (void)eventListingLine(slots[i]);
    (void)eventListingText({slots, count}, now);
    (void)usedSlotCount({slots, count});

    // Read off the wire. The byte time-out is 300 ticks: 3 ms here.
    resetDriverState();
    setDriverHost(&host);
    setDriverTickForTests(std::chrono::microseconds(10));
    CP290Verbose = false;
    setCP290DeviceFilePath(interface->path().c_str());
    Bytes reply(6, 0xFF);
    reply.insert(reply.end(), data, data + std::min(size, FullReplyLength));
    if (!cutShort && reply.size() < 6 + FullReplyLength)
        reply.resize(6 + FullReplyLength, CP290EmptySlotMode);
    interface->setReply(std::move(reply));

    std::uint8_t before[CP290MaxEvents][CP290TimerEventSize];
    std::memset(CP290TimerEvent, 0xA5, sizeof CP290TimerEvent);
    std::memcpy(before, CP290TimerEvent, sizeof before);
    if (SendCP290Command(CP290GetEvents, nullptr, 0)) {
        // Bytes 0 and 1 of each slot are not on the wire; an empty slot
        // keeps the rest of its old bytes.
        for (int i = 0; i < CP290MaxEvents; ++i) {
            if (std::memcmp(CP290TimerEvent[i], before[i], 2) != 0)
                std::abort();
            if (CP290TimerEvent[i][2] == CP290EmptySlotMode &&
                std::memcmp(&CP290TimerEvent[i][3], &before[i][3], CP290TimerEventSize - 3) != 0)
                std::abort();
        }
        const std::span<const TimerEventEntry> table(CP290TimerEvent, CP290MaxEvents);
        (void)eventListingText(table, now);
        (void)usedSlotCount(table);
    } else if (std::memcmp(CP290TimerEvent, before, sizeof before) != 0) {
        // A reply cut short or refused leaves the table as it was.
        std::abort();
    }
    resetDriverState();
    return 0;
}
