// The pictures are real JPEGs of the faceplate's and module's sizes, and bad data never
// crashes the decoder.
#include <gtest/gtest.h>

#include <QFile>

#include "JpegImage.h"

namespace corvane::console {
namespace {

struct TPicture {
    const char* Path;
    QSize Size;
};

class PictureTest : public ::testing::TestWithParam<TPicture> {};

TEST_P(PictureTest, DecodesToTheExpectedSize) {
    const QImage image = LoadJpeg(GetParam().Path);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), GetParam().Size);
    EXPECT_EQ(image.format(), QImage::Format_RGB888);
}

INSTANTIATE_TEST_SUITE_P(Assets, PictureTest,
                         ::testing::Values(TPicture{":/corvane/faceplate.jpg", {393, 201}},
                                           TPicture{":/corvane/module.jpg", {89, 145}},
                                           TPicture{CORVANE_ASSETS_DIR "/faceplate.jpg",
                                                    {393, 201}},
                                           TPicture{CORVANE_ASSETS_DIR "/module.jpg", {89, 145}}),
                         [](const auto& info) {
                             const std::string path = info.param.Path;
                             const std::string file = path.substr(path.rfind('/') + 1);
                             return (path[0] == ':' ? "Resource_" : "File_") +
                                    file.substr(0, file.find('.'));
                         });

TEST(JpegImageTest, RejectsDataThatIsNoJpeg) {
    EXPECT_TRUE(DecodeJpeg({}).isNull());
    EXPECT_TRUE(DecodeJpeg("not a picture at all").isNull());
    EXPECT_TRUE(LoadJpeg("/nonexistent/picture.jpg").isNull());
}

TEST(JpegImageTest, SurvivesTruncatedAndDamagedPictures) {
    QFile file(CORVANE_ASSETS_DIR "/faceplate.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    for (const qsizetype length : {qsizetype{2}, qsizetype{20}, qsizetype{200}, whole.size() / 2}) {
        const QImage image = DecodeJpeg(whole.left(length));
        if (!image.isNull()) {
            EXPECT_EQ(image.size(), QSize(393, 201));
        }
    }
    QByteArray damaged = whole;
    for (qsizetype i = 300; i < damaged.size(); i += 97)
        damaged[i] = static_cast<char>(~damaged[i]);
    const QImage image = DecodeJpeg(damaged);
    if (!image.isNull()) {
        EXPECT_EQ(image.size(), QSize(393, 201));
    }
}

}  // namespace
}  // namespace corvane::console
