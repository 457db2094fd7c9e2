// The icon read at start-up from its unencoded pixels is the PNG's picture, and pixel data
// of the wrong length never becomes an image.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "ConsoleStyle.h"

namespace corvane::console {
namespace {

TEST(AppIconTest, IconShowsExactlyWhatThePngIconShows) {
    EnsureResources();
    const QIcon fromPng(":/corvane/corvane.png");
    ASSERT_EQ(fromPng.availableSizes(), QList<QSize>{QSize(128, 128)});
    const QIcon icon = AppIcon();
    EXPECT_EQ(icon.availableSizes(), fromPng.availableSizes());
    for (const QSize size : {QSize(128, 128), QSize(64, 64), QSize(16, 16)})
        EXPECT_EQ(icon.pixmap(size).toImage(), fromPng.pixmap(size).toImage()) << size.width();
}

TEST(AppIconTest, PixelsAreBlueGreenRedAlphaRowByRow) {
    const QByteArray data("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    const QImage image = DecodeArgb(data, QSize(2, 1));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), qRgba(3, 2, 1, 4));
    EXPECT_EQ(image.pixel(1, 0), qRgba(7, 6, 5, 8));
}

struct TBadPixels {
    const char* Name;
    qsizetype Bytes;
    QSize Size;
};

void PrintTo(const TBadPixels& c, std::ostream* os) {
    *os << c.Name;
}

class BadPixelsTest : public ::testing::TestWithParam<TBadPixels> {};

TEST_P(BadPixelsTest, GiveNoImage) {
    EXPECT_TRUE(DecodeArgb(QByteArray(GetParam().Bytes, '\x7f'), GetParam().Size).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Data, BadPixelsTest,
    ::testing::Values(TBadPixels{"OneByteShort", 128 * 128 * 4 - 1, {128, 128}},
                      TBadPixels{"OnePixelLong", 128 * 128 * 4 + 4, {128, 128}},
                      TBadPixels{"Empty", 0, {128, 128}}, TBadPixels{"NoSize", 0, {0, 0}},
                      TBadPixels{"NegativeSize", 16, {-2, -2}},
                      TBadPixels{"SizeWhoseByteCountOverflows", 16, {0x7fffffff, 0x7fffffff}}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace corvane::console
