// Randomized fuzzing of the request parsers: random bytes and mutations of valid messages
// must either parse or throw ProtocolError, never crash or read out of bounds (the
// sanitizer build checks the latter). Bounded to a couple of seconds.
#include "sim/tds/Packet.h"
#include "sim/tds/Requests.h"
#include "sim/tds/Rpc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>

using namespace sqlsim::tds;

namespace {

void feedAll(std::span<const std::uint8_t> data)
{
    try {
        parsePrelogin(data);
    } catch (const ProtocolError &) {
    }
    try {
        parseLogin7(data);
    } catch (const ProtocolError &) {
    }
    for (std::uint32_t v : {kTds71, kTds74}) {
        try {
            parseSqlBatch(data, v);
        } catch (const ProtocolError &) {
        }
        try {
            parseRpc(data, v);
        } catch (const ProtocolError &) {
        } catch (const UnsupportedRpc &) {
        }
    }
    // As a packet stream.
    MessageAssembler assembler(1 << 16);
    std::size_t at = 0;
    try {
        while (data.size() - at >= kHeaderSize) {
            const PacketHeader h = parseHeader(data.subspan(at, kHeaderSize));
            if (data.size() - at < h.length)
                break;
            assembler.add(h, data.subspan(at + kHeaderSize, h.length - kHeaderSize));
            at += h.length;
        }
    } catch (const ProtocolError &) {
    }
}

Bytes mutate(Bytes b, std::mt19937 &rng)
{
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < edits && !b.empty(); ++i) {
        switch (rng() % 4) {
        case 0: b[rng() % b.size()] = static_cast<std::uint8_t>(rng()); break;
        case 1: b.resize(rng() % b.size()); break;
        case 2: b.insert(b.begin() + static_cast<std::ptrdiff_t>(rng() % b.size()), static_cast<std::uint8_t>(rng())); break;
        default: b[rng() % b.size()] = (rng() & 1) ? 0xFF : 0x00; break;
        }
    }
    return b;
}

}  // namespace

TEST(Fuzz, ParsersSurviveRandomAndMutatedInput)
{
    // SQLSIM_FUZZ_SEED repeats a run; SQLSIM_FUZZ_SECONDS runs longer by hand.
    const char *seedText = std::getenv("SQLSIM_FUZZ_SEED");
    const char *secondsText = std::getenv("SQLSIM_FUZZ_SECONDS");
    const unsigned seed = seedText ? static_cast<unsigned>(std::stoul(seedText)) : std::random_device{}();
    const int seconds = secondsText ? std::stoi(secondsText) : 2;
    std::cout << "fuzz seed " << seed << "\n";
    std::mt19937 rng(seed);
    Login7Fields fields;
    fields.database = "db";
    const std::vector<Bytes> seeds = {
        buildPrelogin(kEncryptOff), buildLogin7(fields), buildSqlBatch("select 1", kTds74),
        packetize(PacketType::SqlBatch, buildSqlBatch(std::string(3000, 'a'), kTds74), 512),
        packetize(PacketType::Login7, buildLogin7(fields), 4096),
        buildRpc(kSpPrepExec, {{std::nullopt, std::nullopt, true}, {}, {std::string("select 1"), {}, false}}, kTds74),
        buildRpc(kSpExecute, {{std::nullopt, 3, false}}, kTds74)};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    long runs = 0;
    while (std::chrono::steady_clock::now() < deadline && (secondsText || runs < 2000000)) {
        for (int i = 0; i < 100; ++i, ++runs) {
            if (rng() % 4 == 0) {
                Bytes random(rng() % 300);
                for (auto &b : random)
                    b = static_cast<std::uint8_t>(rng());
                feedAll(random);
            } else {
                feedAll(mutate(seeds[rng() % seeds.size()], rng));
            }
        }
    }
    EXPECT_GT(runs, 1000);
}
