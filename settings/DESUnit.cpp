#include "settings/DESUnit.h"
#include "settings/DESUnitInternal.h"

#include <algorithm>
#include <stdexcept>

namespace DESUnit {

thread_local std::array<TKeyByte, 16> subKey{};

namespace {

bool bitAt(const std::uint8_t *data, int p)
{
    return (data[p / 8] >> (7 - p % 8)) & 1;
}

void setBit(std::uint8_t *data, int p)
{
    data[p / 8] = static_cast<std::uint8_t>(data[p / 8] | (0x80 >> (p % 8)));
}

// Output bit i takes input bit table[i]; out is cleared first.
template <typename Table>
void permute(const std::uint8_t *in, std::uint8_t *out, std::size_t outBytes, const Table &table)
{
    for (std::size_t i = 0; i < outBytes; ++i)
        out[i] = 0;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (bitAt(in, static_cast<int>(table[i])))
            setBit(out, static_cast<int>(i));
}

} // namespace

void initPermutation(std::uint8_t *inData)
{
    std::uint8_t out[8];
    permute(inData, out, 8, BitIP);
    std::copy(out, out + 8, inData);
}

void conversePermutation(std::uint8_t *inData)
{
    std::uint8_t out[8];
    permute(inData, out, 8, BitCP);
    std::copy(out, out + 8, inData);
}

void expand(const std::uint8_t *inData, std::uint8_t *outData)
{
    permute(inData, outData, 6, BitExp);
}

void permutation(std::uint8_t *inData)
{
    std::uint8_t out[4];
    permute(inData, out, 4, BitPM);
    std::copy(out, out + 4, inData);
}

std::uint8_t si(int s, std::uint8_t inByte)
{
    const int row = ((inByte >> 4) & 2) | (inByte & 1);
    const int column = (inByte >> 1) & 0x0F;
    return sBox[static_cast<std::size_t>(s)][static_cast<std::size_t>(row * 16 + column)] & 0x0F;
}

void permutationChoose1(const std::uint8_t *inData, std::uint8_t *outData)
{
    permute(inData, outData, 7, BitPMC1);
}

void permutationChoose2(const std::uint8_t *inData, std::uint8_t *outData)
{
    permute(inData, outData, 6, BitPMC2);
}

void cycleMove(std::uint8_t *inData, std::uint8_t bitMove)
{
    for (int step = 0; step < bitMove; ++step) {
        inData[0] = static_cast<std::uint8_t>((inData[0] << 1) | (inData[1] >> 7));
        inData[1] = static_cast<std::uint8_t>((inData[1] << 1) | (inData[2] >> 7));
        inData[2] = static_cast<std::uint8_t>((inData[2] << 1) | (inData[3] >> 7));
        // The bit that left the top of the 28 bits is now bit 4 of the first byte.
        inData[3] = static_cast<std::uint8_t>((inData[3] << 1) | ((inData[0] >> 4) & 1));
        inData[0] &= 0x0F;
    }
}

void makeKey(const TBlock &inKey, std::array<TKeyByte, 16> &outKey)
{
    std::uint8_t key56[7];
    permutationChoose1(inKey.data(), key56);

    // Each 28-bit half is held right-aligned in 4 bytes.
    std::uint8_t key28l[4] = {};
    std::uint8_t key28r[4] = {};
    for (int i = 0; i < 28; ++i) {
        if (bitAt(key56, i))
            setBit(key28l, i + 4);
        if (bitAt(key56, i + 28))
            setBit(key28r, i + 4);
    }

    for (std::size_t round = 0; round < 16; ++round) {
        cycleMove(key28l, bitDisplace[round]);
        cycleMove(key28r, bitDisplace[round]);
        std::uint8_t key56o[7] = {};
        for (int i = 0; i < 28; ++i) {
            if (bitAt(key28l, i + 4))
                setBit(key56o, i);
            if (bitAt(key28r, i + 4))
                setBit(key56o, i + 28);
        }
        permutationChoose2(key56o, outKey[round].data());
    }
}

void encry(const std::uint8_t *inData, const TKeyByte &roundKey, std::uint8_t *outData)
{
    std::uint8_t expanded[6];
    expand(inData, expanded);
    for (std::size_t i = 0; i < 6; ++i)
        expanded[i] ^= roundKey[i];

    for (int i = 0; i < 4; ++i)
        outData[i] = 0;
    for (int group = 0; group < 8; ++group) {
        std::uint8_t six = 0;
        for (int b = 0; b < 6; ++b)
            six = static_cast<std::uint8_t>((six << 1) | (bitAt(expanded, group * 6 + b) ? 1 : 0));
        const std::uint8_t four = si(group, six);
        outData[group / 2] = static_cast<std::uint8_t>(outData[group / 2] | (group % 2 == 0 ? four << 4 : four));
    }
    permutation(outData);
}

void desData(TDesMode desMode, const TBlock &inData, TBlock &outData)
{
    outData = inData;
    initPermutation(outData.data());

    std::uint8_t left[8] = {};
    std::uint8_t right[4];
    std::copy(outData.begin(), outData.begin() + 4, left);
    std::copy(outData.begin() + 4, outData.end(), right);

    for (int round = 0; round < 16; ++round) {
        const std::size_t k = desMode == dmEncry ? static_cast<std::size_t>(round) : static_cast<std::size_t>(15 - round);
        std::uint8_t keptLeft[4];
        std::copy(left, left + 4, keptLeft);
        std::copy(right, right + 4, left);
        std::uint8_t f[4];
        encry(left, subKey[k], f);
        for (int i = 0; i < 4; ++i)
            right[i] = keptLeft[i] ^ f[i];
    }

    std::copy(right, right + 4, outData.begin());
    std::copy(left, left + 4, outData.begin() + 4);
    conversePermutation(outData.data());
}

namespace {

// Fills the key with U+0000 to 8 characters and builds subKey from the low bytes of the first eight.
void prepareKey(QString &Key)
{
    while (Key.size() < 8)
        Key.append(QChar(0));
    TBlock KeyByte{};
    for (qsizetype i = 0; i < 8; ++i)
        KeyByte[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Key.at(i).unicode() & 0xFF);
    makeKey(KeyByte, subKey);
}

QString runBlocks(TDesMode mode, const QString &Str)
{
    QString result;
    result.reserve(Str.size() / 8 * 8);
    for (qsizetype start = 0; start + 8 <= Str.size(); start += 8) {
        TBlock StrByte{};
        for (qsizetype i = 0; i < 8; ++i)
            StrByte[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Str.at(start + i).unicode() & 0xFF);
        TBlock OutByte{};
        desData(mode, StrByte, OutByte);
        for (std::uint8_t byte : OutByte)
            result.append(QChar(byte));
    }
    return result;
}

} // namespace

QString EncryStr(QString Str, QString Key)
{
    if (!Str.isEmpty() && Str.back() == QChar(0))
        throw std::runtime_error("Error: the last char is NULL char.");
    while (Str.size() % 8 != 0)
        Str.append(QChar(0));
    prepareKey(Key);
    return runBlocks(dmEncry, Str);
}

QString DecryStr(const QString &Str, QString Key)
{
    prepareKey(Key);
    QString result = runBlocks(dmDecry, Str);
    while (!result.isEmpty() && result.back() == QChar(0))
        result.chop(1);
    return result;
}

} // namespace DESUnit

QString DESEncrypt(const QString &Input, const QString &Key)
{
    static const char digits[] = "0123456789ABCDEF";
    const QString bytes = DESUnit::EncryStr(Input, Key);
    QString result;
    result.reserve(bytes.size() * 2);
    for (QChar c : bytes) {
        const ushort code = c.unicode();
        result.append(QChar(digits[code >> 4]));
        result.append(QChar(digits[code & 0x0F]));
    }
    return result;
}

QString DESDecrypt(const QString &Input, const QString &Key)
{
    const auto HexToInt = [](QStringView Hex) {
        int value = 0;
        for (QChar c : Hex) {
            const ushort u = c.unicode();
            int digit;
            if (u >= '0' && u <= '9')
                digit = u - '0';
            else if (u >= 'A' && u <= 'F')
                digit = u - 'A' + 10;
            else if (u >= 'a' && u <= 'f')
                digit = u - 'a' + 10;
            else
                throw std::runtime_error("Error: not a Hex String");
            value = value * 16 + digit;
        }
        return value;
    };

    QString bytes;
    bytes.reserve(Input.size() / 2);
    // A last, unpaired character is never looked at.
    for (qsizetype i = 0; i < Input.size() / 2; ++i)
        bytes.append(QChar(static_cast<ushort>(HexToInt(QStringView(Input).mid(2 * i, 2)))));
    return DESUnit::DecryStr(bytes, Key);
}
