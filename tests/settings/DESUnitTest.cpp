#include "settings/DESUnit.h"
#include "settings/DESUnitInternal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// A text whose characters are the given bytes.
QString bytesText(std::initializer_list<int> bytes)
{
    QString s;
    for (int b : bytes)
        s.append(QChar(static_cast<ushort>(b)));
    return s;
}

std::string errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const std::runtime_error &e) {
        return e.what();
    }
    return "(no error)";
}

const QString kKey = QStringLiteral("52601");

TEST(DESBlock, KnownAnswerVectors)
{
    // FIPS worked example and NIST SP 800-17 vectors.
    struct Vector { std::initializer_list<int> key, plain; const char *cipher; };
    const Vector vectors[] = {
        {{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1}, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}, "85E813540F0AB405"},
        {{0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}, {0x80, 0, 0, 0, 0, 0, 0, 0}, "95F8A5E5DD31D900"},
        {{0x0E, 0x32, 0x92, 0x32, 0xEA, 0x6D, 0x0D, 0x73}, {0x87, 0x87, 0x87, 0x87, 0x87, 0x87, 0x87, 0x87}, "0000000000000000"},
        {{0x80, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}, {0, 0, 0, 0, 0, 0, 0, 0}, "95A8D72813DAA94D"},
    };
    for (const Vector &v : vectors) {
        const QString key = bytesText(v.key);
        QString plain = bytesText(v.plain);
        if (plain.back() == QChar(0)) {
            // The string layer refuses a trailing U+0000, so check the block layer directly.
            DESUnit::TBlock keyBlock{}, in{}, out{};
            std::copy(v.key.begin(), v.key.end(), keyBlock.begin());
            std::copy(v.plain.begin(), v.plain.end(), in.begin());
            DESUnit::makeKey(keyBlock, DESUnit::subKey);
            DESUnit::desData(DESUnit::dmEncry, in, out);
            QString hex;
            for (auto b : out)
                hex += QStringLiteral("%1").arg(b, 2, 16, QChar('0')).toUpper();
            EXPECT_EQ(hex.toStdString(), v.cipher);
            DESUnit::TBlock back{};
            DESUnit::desData(DESUnit::dmDecry, out, back);
            EXPECT_EQ(back, in);
            continue;
        }
        EXPECT_EQ(DESEncrypt(plain, key).toStdString(), v.cipher);
        EXPECT_EQ(DESDecrypt(QString::fromLatin1(v.cipher), key), plain);
    }
}

TEST(DESBlock, KeyScheduleMatchesWorkedExample)
{
    const DESUnit::TBlock key{0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    std::array<DESUnit::TKeyByte, 16> rounds{};
    DESUnit::makeKey(key, rounds);
    EXPECT_EQ(rounds[0], (DESUnit::TKeyByte{0x1B, 0x02, 0xEF, 0xFC, 0x70, 0x72}));
    EXPECT_EQ(rounds[15], (DESUnit::TKeyByte{0xCB, 0x3D, 0x8B, 0x0E, 0x17, 0xF5}));

    // The parity bits are never read.
    DESUnit::TBlock flipped = key;
    for (auto &b : flipped)
        b ^= 1;
    std::array<DESUnit::TKeyByte, 16> same{};
    DESUnit::makeKey(flipped, same);
    EXPECT_EQ(rounds, same);
}

TEST(DESBlock, TablesHaveTheirStandardShape)
{
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(DESUnit::BitCP[DESUnit::BitIP[static_cast<std::size_t>(i)]], i) << "IP and its inverse disagree at " << i;
    for (const auto &box : DESUnit::sBox)
        for (std::size_t row = 0; row < 4; ++row) {
            std::set<int> values(box.begin() + static_cast<long>(row * 16), box.begin() + static_cast<long>(row * 16 + 16));
            EXPECT_EQ(values.size(), 16u);
            EXPECT_EQ(*values.rbegin(), 15);
        }
    std::set<int> pc1(DESUnit::BitPMC1.begin(), DESUnit::BitPMC1.end());
    EXPECT_EQ(pc1.size(), 56u);
    for (int parity = 7; parity < 64; parity += 8)
        EXPECT_EQ(pc1.count(parity), 0u);
    EXPECT_EQ(std::set<int>(DESUnit::BitPMC2.begin(), DESUnit::BitPMC2.end()).size(), 48u);
    EXPECT_EQ(std::set<int>(DESUnit::BitExp.begin(), DESUnit::BitExp.end()).size(), 32u);
    EXPECT_EQ(std::set<int>(DESUnit::BitPM.begin(), DESUnit::BitPM.end()).size(), 32u);
    int shifts = 0;
    for (auto s : DESUnit::bitDisplace)
        shifts += s;
    EXPECT_EQ(shifts, 28);
}

TEST(DESString, MultiBlockTextUnderAByteKey)
{
    const QString key = bytesText({0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF});
    const QString text = QStringLiteral("Now is the time for all ");
    const QString hex = DESEncrypt(text, key);
    EXPECT_EQ(hex, QStringLiteral("3FA40E8A984D48156A271787AB8883F9893D51EC4B563B53"));
    EXPECT_EQ(DESDecrypt(hex, key), text);
}

TEST(DESString, LengthsAndFilling)
{
    EXPECT_EQ(DESEncrypt(QString(), kKey), QString());
    EXPECT_EQ(DESDecrypt(QString(), kKey), QString());
    for (int n = 1; n <= 24; ++n) {
        const QString text(n, QChar('x'));
        const QString hex = DESEncrypt(text, kKey);
        EXPECT_EQ(hex.size(), (n + 7) / 8 * 16) << n;
        EXPECT_EQ(DESDecrypt(hex, kKey), text) << n;
    }
    // Equal runs of 8 at block boundaries give equal runs of 16 digits (no chaining).
    const QString hex = DESEncrypt(QStringLiteral("abcdefghabcdefgh"), kKey);
    EXPECT_EQ(hex.left(16), hex.mid(16));
    EXPECT_EQ(DESEncrypt(QStringLiteral("sa"), kKey), DESEncrypt(QStringLiteral("sa"), kKey));
    EXPECT_NE(DESEncrypt(QStringLiteral("sa"), kKey), DESEncrypt(QStringLiteral("sa"), QStringLiteral("52602")));
}

TEST(DESString, NullCharacters)
{
    EXPECT_EQ(errorOf([] { DESEncrypt(QStringLiteral("abc") + QChar(0), kKey); }), "Error: the last char is NULL char.");
    EXPECT_EQ(errorOf([] { DESEncrypt(QString(1, QChar(0)), kKey); }), "Error: the last char is NULL char.");
    const QString inner = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    EXPECT_EQ(DESDecrypt(DESEncrypt(inner, kKey), kKey), inner);
}

TEST(DESString, KeyFillingAndCutting)
{
    const QString text = QStringLiteral("password");
    EXPECT_EQ(DESEncrypt(text, kKey), DESEncrypt(text, kKey + QString(3, QChar(0))));
    EXPECT_EQ(DESEncrypt(text, QString()), DESEncrypt(text, QString(8, QChar(0))));
    EXPECT_EQ(DESEncrypt(text, QStringLiteral("abcdefgh")), DESEncrypt(text, QStringLiteral("abcdefghXYZ1234")));
    // Only the low byte of a key character counts.
    EXPECT_EQ(DESEncrypt(text, QString(QChar(0x4E2D))), DESEncrypt(text, QString(QChar(0x2D))));
}

TEST(DESString, CharactersAboveLatin1KeepTheirLowByte)
{
    EXPECT_EQ(DESDecrypt(DESEncrypt(QString::fromUtf8("数据"), kKey), kKey), bytesText({0x70, 0x6E}));
    // A last character with a zero low byte passes the check but is lost.
    EXPECT_EQ(DESDecrypt(DESEncrypt(QStringLiteral("ab") + QChar(0x0100), kKey), kKey), QStringLiteral("ab"));
}

TEST(DESHex, AcceptedForms)
{
    const QString hex = DESEncrypt(QStringLiteral("sa"), kKey);
    EXPECT_EQ(hex, hex.toUpper());
    EXPECT_EQ(DESDecrypt(hex.toLower(), kKey), QStringLiteral("sa"));
    // An odd last character is never examined.
    EXPECT_EQ(DESDecrypt(hex + QStringLiteral("Z"), kKey), QStringLiteral("sa"));
    // A partial block is ignored.
    EXPECT_EQ(DESDecrypt(hex + QStringLiteral("0A0B"), kKey), QStringLiteral("sa"));
    EXPECT_EQ(DESDecrypt(hex.left(14), kKey), QString());
    EXPECT_EQ(DESDecrypt(QStringLiteral("1234"), kKey), QString());
    EXPECT_EQ(DESDecrypt(QStringLiteral("aaa"), kKey), QString());
}

TEST(DESHex, RejectedCharacters)
{
    const QString hex = DESEncrypt(QStringLiteral("sa"), kKey);
    for (const QString &bad : {QStringLiteral("sa"), QString(hex).replace(3, 1, QChar('G')), hex.left(15) + QChar(' '),
                               QStringLiteral("0x12345678901234"), QString(hex).replace(0, 1, QChar(0xFF11)),
                               QString(hex).replace(5, 1, QChar(0))}) {
        EXPECT_EQ(errorOf([&] { DESDecrypt(bad, kKey); }), "Error: not a Hex String") << bad.toStdString();
    }
}

TEST(DESHex, WrongKeyGivesUnreadableTextWithoutError)
{
    const QString hex = DESEncrypt(QStringLiteral("secret12"), kKey);
    EXPECT_NE(DESDecrypt(hex, QStringLiteral("other")), QStringLiteral("secret12"));
}

} // namespace
