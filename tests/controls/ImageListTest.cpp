#include "controls/ImageList.h"
#include "tests/support/GuiTestSupport.h"

#include <QBitmap>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QColor Purple(128, 0, 128);
const QRect Hole(4, 4, 4, 3); // masked part of every test picture
const QPoint At(3, 5);        // where pictures are drawn on the canvas

// Pictures side by side, one per colour, each with the hole in purple.
QImage Row(std::vector<QRgb> AColours, int AHeight = 16) {
    QImage Result(16 * static_cast<int>(AColours.size()), AHeight, QImage::Format_RGB32);
    QPainter Painter(&Result);
    for (int I = 0; I < static_cast<int>(AColours.size()); ++I) {
        Painter.fillRect(16 * I, 0, 16, AHeight, QColor(AColours[I]));
        Painter.fillRect(Hole.translated(16 * I, 0), Purple);
    }
    return Result;
}

QBitmap HoleMask() {
    QBitmap Mask(16, 16);
    Mask.fill(Qt::color1);
    QPainter(&Mask).fillRect(Hole, Qt::color0);
    return Mask;
}

QImage DrawOnPattern(const TImageList& AList, int AIndex) {
    QImage Canvas = guitest::PatternPicture(24, 24);
    QPainter Painter(&Canvas);
    AList.Draw(Painter, At.x(), At.y(), AIndex);
    return Canvas;
}

std::string CheckDrawn(const QImage& ACanvas, QRgb AColour) {
    const QImage Pattern = guitest::PatternPicture(24, 24);
    const QRect Area(At, QSize(16, 16));
    return guitest::CheckPixels(ACanvas, ACanvas.rect(), [&](QPoint P) {
        return Area.contains(P) && !Hole.translated(At).contains(P) ? AColour : Pattern.pixel(P);
    });
}

struct TCounter {
    TChangeLink Link;
    int Changes = 0;
    TCounter() {
        Link.OnChange = [this](TImageList&) { ++Changes; };
    }
};

const QRgb Red = qRgb(200, 0, 0), Green = qRgb(0, 200, 0), Blue = qRgb(0, 0, 200);

} // namespace

TEST(ImageList, DrawsPicturesThroughTheirMasks) {
    TImageList List;
    ASSERT_EQ(List.AddMasked(Row({Red}), Purple), 0);
    ASSERT_EQ(List.Add(Row({Green}), HoleMask()), 1);
    ASSERT_EQ(List.AddMasked(Row({Blue, Red}), Purple), 2); // a row is split
    ASSERT_EQ(List.Count(), 4);

    const std::vector<QRgb> Expected{Red, Green, Blue, Red};
    for (int I = 0; I < 4; ++I) {
        EXPECT_EQ(CheckDrawn(DrawOnPattern(List, I), Expected[I]), "") << "picture " << I;
    }
    for (int Index : {-1, 4, 1000}) {
        EXPECT_EQ(DrawOnPattern(List, Index), guitest::PatternPicture(24, 24)) << Index;
    }
}

TEST(ImageList, NotifiesEverySubscriberOfEachChangeOnly) {
    TImageList List;
    TCounter A, B;
    List.RegisterChanges(&A.Link);
    List.RegisterChanges(&B.Link);
    List.RegisterChanges(&B.Link); // twice is once
    EXPECT_EQ(B.Link.Sender(), &List);

    // Each step must succeed or fail as written, and both subscribers hear of it
    // exactly when the pictures changed.
    int Seen = 0;
    auto Step = [&](const char* AName, bool AAsWritten, int AChanges) {
        EXPECT_TRUE(AAsWritten) << AName;
        EXPECT_EQ(A.Changes, Seen + AChanges) << AName;
        EXPECT_EQ(B.Changes, A.Changes) << AName;
        Seen = A.Changes;
    };
    Step("add", List.AddMasked(Row({Red, Green}), Purple) == 0, 1);
    Step("replace", List.Replace(1, Row({Blue}), HoleMask()), 1);
    Step("wrong width", List.AddMasked(Row({Red}).copy(0, 0, 17, 16), Purple) == -1, 0);
    Step("wrong height", List.AddMasked(Row({Red}, 15), Purple) == -1, 0);
    Step("null image", List.AddMasked(QImage(), Purple) == -1, 0);
    Step("mask size", List.Add(Row({Red, Red}), HoleMask()) == -1, 0);
    Step("replace index", !List.ReplaceMasked(2, Row({Red}), Purple), 0);
    Step("replace negative", !List.ReplaceMasked(-1, Row({Red}), Purple), 0);
    Step("replace size", !List.ReplaceMasked(0, Row({Red, Red}), Purple), 0);
    List.Clear();
    Step("clear", List.Count() == 0, 1);
    List.Clear();
    Step("clear empty", true, 0);

    TImageList Other;
    Other.RegisterChanges(&B.Link);  // takes B off List
    List.UnRegisterChanges(&B.Link); // B is not List's: no effect
    List.UnRegisterChanges(&A.Link);
    EXPECT_EQ(B.Link.Sender(), &Other);
    EXPECT_EQ(A.Link.Sender(), nullptr);
    List.AddMasked(Row({Red}), Purple);
    EXPECT_EQ(A.Changes + B.Changes, 2 * Seen);
}

TEST(ImageList, EitherSideMayBeDestroyedFirst) {
    auto List = std::make_unique<TImageList>();
    auto Early = std::make_unique<TChangeLink>();
    TChangeLink Killer, Late;
    int Destroyed = 0;
    Late.OnListDestroyed = [&] { ++Destroyed; };
    // A subscriber that destroys a later one while being notified.
    Killer.OnChange = [&](TImageList&) { Early.reset(); };
    Early->OnChange = [](TImageList&) { ADD_FAILURE() << "called after destruction"; };
    List->RegisterChanges(&Killer);
    List->RegisterChanges(Early.get());
    List->RegisterChanges(&Late);
    List->AddMasked(Row({Red}), Purple);
    EXPECT_EQ(Early, nullptr);

    List.reset();
    EXPECT_EQ(Destroyed, 1);
    EXPECT_EQ(Late.Sender(), nullptr);
    EXPECT_EQ(Killer.Sender(), nullptr);
    // Late and Killer now die after their list; the sanitizer build checks they leave it alone.
}
