#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

TEST(TextCodec, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    const QString text = fromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toCp1252(text), all);
}

TEST(TextCodec, HighRangeMapsThroughTheTable) {
    EXPECT_EQ(fromCp1252("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(fromCp1252("\x9F"), QString(QChar(0x0178)));
    EXPECT_EQ(fromCp1252("\x8A\x99"), QString::fromUtf16(u"\u0160\u2122"));
    EXPECT_EQ(fromCp1252("\xE9"), QString(QChar(0x00E9)));
    // The undefined bytes keep their numbers.
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(fromCp1252(std::string(1, char(b))), QString(QChar(b))) << int(b);
    EXPECT_EQ(toCp1252(QString::fromUtf16(u"\u20AC\u201Cx\u201D")), "\x80\x93x\x94");
}

TEST(TextCodec, CharactersOutsideBecomeOneQuestionMarkEach) {
    // C1 controls other than the five undefined bytes have no Windows-1252 byte.
    EXPECT_EQ(toCp1252(QString::fromUtf16(u"a\u0080b\u4E2Dc")), "a?b?c");
    // A surrogate pair is one character, a lone surrogate too.
    EXPECT_EQ(toCp1252(QString::fromUtf16(u"\U0001F600!")), "?!");
    QString lone;
    lone.append(QChar(0xD800));
    lone.append(QLatin1Char('x'));
    EXPECT_EQ(toCp1252(lone), "?x");
    EXPECT_EQ(toCp1252(QString()), "");
    EXPECT_EQ(toCp1252(QString(QChar(0))), std::string(1, '\0'));
}

}  // namespace
