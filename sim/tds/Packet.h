#pragma once
// TDS packets: the 8-byte header, splitting a message into packets of the negotiated size,
// and reassembling a client's message from its packets.

#include "sim/tds/Bytes.h"

#include <optional>

namespace sqlsim::tds {

enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    TabularResult = 0x04,
    Attention = 0x06,
    BulkLoad = 0x07,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    Prelogin = 0x12,
};

constexpr std::uint8_t kStatusEom = 0x01;
constexpr std::uint8_t kStatusIgnore = 0x02;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;  // whole packet, header included
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;
};

// Parses and checks a header: a known type and a length between 8 and the maximum.
PacketHeader parseHeader(std::span<const std::uint8_t> header);

// Splits a message into packets of at most packetSize bytes; the last carries EOM.
// packetId counts on from the given value (it wraps at 256 as the protocol says).
Bytes packetize(PacketType type, std::span<const std::uint8_t> payload, std::size_t packetSize,
                std::uint16_t spid = 0, std::uint8_t firstPacketId = 1);

struct Request {
    PacketType type = PacketType::SqlBatch;
    Bytes payload;
    bool resetConnection = false;
};

// Collects the packets of one message. add() returns the message once its EOM packet came.
class MessageAssembler {
public:
    explicit MessageAssembler(std::size_t maxMessageSize) : maxMessageSize_(maxMessageSize) {}
    std::optional<Request> add(const PacketHeader &header, std::span<const std::uint8_t> body);

private:
    std::size_t maxMessageSize_;
    std::optional<Request> pending_;
};

}  // namespace sqlsim::tds
