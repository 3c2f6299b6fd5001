#include "controls/SimpleImage.h"
#include "tests/support/GuiTestSupport.h"

#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

namespace {

const QColor Purple(128, 0, 128);
const QRect Hole(4, 4, 4, 3); // masked in every picture
const QRgb Colours[] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200)};

QImage Solid(QRgb AColour) {
    QImage Result(16, 16, QImage::Format_RGB32);
    Result.fill(AColour);
    QPainter(&Result).fillRect(Hole, Purple);
    return Result;
}

struct SimpleImageTest : ::testing::Test {
    guitest::TPictureSurface Surface{guitest::PatternPicture(64, 48)};
    TImageList List;

    SimpleImageTest() {
        for (QRgb Colour : Colours) {
            List.AddMasked(Solid(Colour), Purple);
        }
    }
    TSimpleImage* MakeImage(QPoint AAt, TImageList* AList) {
        auto* Image = new TSimpleImage(&Surface);
        Image->move(AAt);
        Image->SetImages(AList);
        return Image;
    }
    // The control's rectangle shows AColour through the hole, or the background only.
    std::string CheckImage(const QImage& AScreen, const TSimpleImage& AImage,
                           std::optional<QRgb> AColour) {
        const QRect HoleThere = Hole.translated(AImage.pos());
        return guitest::CheckPixels(AScreen, AImage.geometry(), [&](QPoint P) {
            return AColour && !HoleThere.contains(P) ? *AColour : Surface.Picture().pixel(P);
        });
    }
};

} // namespace

TEST_F(SimpleImageTest, ShowsThePictureOfItsIndexOrOnlyTheBackground) {
    TSimpleImage* Image = MakeImage({10, 8}, &List);
    ASSERT_TRUE(guitest::ShowAt(Surface, {60, 44}));
    struct TCase {
        int Index;
        std::optional<QRgb> Colour;
    };
    const std::vector<TCase> Cases{
        {1, Colours[1]},    {2, Colours[2]},         {3, std::nullopt},      {0, Colours[0]},
        {-1, std::nullopt}, {INT_MAX, std::nullopt}, {INT_MIN, std::nullopt}};
    for (const TCase& Case : Cases) {
        Image->SetImageIndex(Case.Index);
        EXPECT_EQ(Image->ImageIndex(), Case.Index);
        EXPECT_EQ(CheckImage(guitest::OnScreen(Surface), *Image, Case.Colour), "") << Case.Index;
    }
}

TEST_F(SimpleImageTest, TakesTheSizeOfAListAndKeepsItWithout) {
    TSimpleImage* Image = MakeImage({10, 8}, nullptr);
    EXPECT_EQ(Image->size(), QSize(32, 32));
    EXPECT_EQ(Image->ImageIndex(), 0);
    EXPECT_EQ(CheckImage(guitest::Grab(Surface), *Image, std::nullopt), "");

    TImageList Wide(24, 20);
    Image->SetImages(&Wide);
    EXPECT_EQ(Image->size(), QSize(24, 20));
    Image->SetImages(&List);
    EXPECT_EQ(Image->size(), QSize(16, 16));
    EXPECT_EQ(Image->Images(), &List);
    Image->SetImages(nullptr);
    EXPECT_EQ(Image->size(), QSize(16, 16));
    EXPECT_EQ(CheckImage(guitest::Grab(Surface), *Image, std::nullopt), "");
}

TEST_F(SimpleImageTest, ListChangeRepaintsEveryControlUsingIt) {
    TSimpleImage* First = MakeImage({4, 4}, &List);
    TSimpleImage* Second = MakeImage({30, 20}, &List);
    ASSERT_TRUE(guitest::ShowAt(Surface, {60, 44}));
    ASSERT_EQ(CheckImage(guitest::OnScreen(Surface), *Second, Colours[0]), "");

    const QRgb Grey = qRgb(90, 90, 90);
    List.ReplaceMasked(0, Solid(Grey), Purple);
    const QImage Screen = guitest::OnScreen(Surface);
    EXPECT_EQ(CheckImage(Screen, *First, Grey), "");
    EXPECT_EQ(CheckImage(Screen, *Second, Grey), "");
    List.Clear();
    EXPECT_EQ(CheckImage(guitest::OnScreen(Surface), *First, std::nullopt), "");
}

TEST_F(SimpleImageTest, ListDestroyedFirstLeavesNothingToDrawFrom) {
    auto Doomed = std::make_unique<TImageList>();
    Doomed->AddMasked(Solid(Colours[1]), Purple);
    TSimpleImage* Image = MakeImage({10, 8}, Doomed.get());
    ASSERT_TRUE(guitest::ShowAt(Surface, {60, 44}));
    ASSERT_EQ(CheckImage(guitest::OnScreen(Surface), *Image, Colours[1]), "");

    Doomed.reset();
    EXPECT_EQ(Image->Images(), nullptr);
    EXPECT_EQ(CheckImage(guitest::OnScreen(Surface), *Image, std::nullopt), "");
    Image->SetImages(nullptr);
    delete Image;
}
