#include "sim/tds/Packet.h"

#include <algorithm>

namespace sqlsim::tds {

namespace {

bool knownClientType(std::uint8_t type)
{
    switch (static_cast<PacketType>(type)) {
    case PacketType::SqlBatch:
    case PacketType::Rpc:
    case PacketType::Attention:
    case PacketType::BulkLoad:
    case PacketType::TransactionManager:
    case PacketType::Login7:
    case PacketType::Sspi:
    case PacketType::Prelogin:
    case PacketType::TabularResult:
        return true;
    }
    return false;
}

}  // namespace

PacketHeader parseHeader(std::span<const std::uint8_t> header)
{
    Reader r(header);
    PacketHeader h;
    h.type = r.u8();
    h.status = r.u8();
    h.length = r.be16();
    h.spid = r.be16();
    h.packetId = r.u8();
    r.u8();  // window, unused
    if (!knownClientType(h.type))
        throw ProtocolError("unknown packet type " + std::to_string(h.type));
    if (h.length < kHeaderSize || h.length > kMaxPacketSize)
        throw ProtocolError("packet length " + std::to_string(h.length) + " out of range");
    return h;
}

Bytes packetize(PacketType type, std::span<const std::uint8_t> payload, std::size_t packetSize,
                std::uint16_t spid, std::uint8_t firstPacketId)
{
    packetSize = std::clamp(packetSize, kMinPacketSize, kMaxPacketSize);
    const std::size_t room = packetSize - kHeaderSize;
    Writer w;
    std::size_t at = 0;
    std::uint8_t id = firstPacketId;
    do {
        const std::size_t n = std::min(room, payload.size() - at);
        const bool last = at + n == payload.size();
        w.u8(static_cast<std::uint8_t>(type));
        w.u8(last ? kStatusEom : 0);
        w.be16(static_cast<std::uint16_t>(n + kHeaderSize));
        w.be16(spid);
        w.u8(id++);
        w.u8(0);
        w.append(payload.subspan(at, n));
        at += n;
    } while (at < payload.size());
    return std::move(w.bytes());
}

std::optional<Request> MessageAssembler::add(const PacketHeader &header,
                                             std::span<const std::uint8_t> body)
{
    const auto type = static_cast<PacketType>(header.type);
    // An attention stands alone, even between the packets of a request being sent.
    if (type == PacketType::Attention && pending_ && pending_->type != type)
        return Request{type, {}, false};
    if (!pending_) {
        pending_ = Request{type, {}, (header.status & 0x08) != 0};
    } else if (pending_->type != type) {
        throw ProtocolError("packet type changed inside a message");
    }
    if (pending_->payload.size() + body.size() > maxMessageSize_)
        throw ProtocolError("message larger than " + std::to_string(maxMessageSize_) + " bytes");
    pending_->payload.insert(pending_->payload.end(), body.begin(), body.end());
    if (!(header.status & kStatusEom))
        return std::nullopt;
    std::optional<Request> done = std::move(pending_);
    pending_.reset();
    // A client that gave up on a request half sent ends it with the ignore bit.
    if (header.status & kStatusIgnore)
        return std::nullopt;
    return done;
}

}  // namespace sqlsim::tds
