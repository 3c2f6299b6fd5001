#include "controls/TransButton.h"
#include "tests/support/GuiTestSupport.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

const QRgb White = qRgb(255, 255, 255), Silver = qRgb(192, 192, 192);
const QPoint Away(75, 55); // inside the window, outside every button

struct TransButtonTest : ::testing::Test {
    guitest::TPictureSurface Surface{guitest::PatternPicture(80, 60)};

    TTransButton* MakeButton(QRect AGeometry) {
        auto* Button = new TTransButton(&Surface);
        Button->setGeometry(AGeometry);
        return Button;
    }
    QWindow* Window() { return Surface.windowHandle(); }

    // The frame in AColour, and inside it the surface's picture.
    std::string CheckButton(const QImage& AImage, QRect AGeometry, QRgb AColour) {
        const QRect Inside = AGeometry.adjusted(1, 1, -1, -1);
        return guitest::CheckPixels(AImage, AGeometry, [&](QPoint P) {
            return Inside.contains(P) ? Surface.Picture().pixel(P) : AColour;
        });
    }
};

} // namespace

TEST_F(TransButtonTest, FrameIsSilverExactlyWhileThePointerIsInside) {
    const QRect Geometry(10, 10, 20, 16);
    TTransButton* Button = MakeButton(Geometry);
    ASSERT_TRUE(guitest::ShowAt(Surface, Away));
    EXPECT_FALSE(Button->Hovered());
    EXPECT_EQ(CheckButton(guitest::OnScreen(Surface), Geometry, White), "");

    struct TCase {
        QPoint Pointer;
        bool Inside;
    };
    // Alternating, so that every step crosses the edge once.
    const std::vector<TCase> Cases{{{10, 10}, true},  {{9, 15}, false}, {{29, 25}, true},
                                   {{30, 15}, false}, {{20, 18}, true}, {{20, 26}, false},
                                   {{29, 10}, true},  {{29, 9}, false}};
    for (const TCase& Case : Cases) {
        QTest::mouseMove(Window(), Case.Pointer);
        EXPECT_EQ(Button->Hovered(), Case.Inside) << Case.Pointer.x() << "," << Case.Pointer.y();
        EXPECT_EQ(CheckButton(guitest::OnScreen(Surface), Geometry, Case.Inside ? Silver : White),
                  "")
            << Case.Pointer.x() << "," << Case.Pointer.y();
    }
}

TEST_F(TransButtonTest, LaterButtonLiesAboveWhereTheyOverlap) {
    TTransButton* A = MakeButton({10, 10, 20, 20});
    TTransButton* B = MakeButton({20, 20, 20, 20});
    std::vector<QObject*> Clicks;
    A->OnClick = B->OnClick = [&](QObject* ASender) { Clicks.push_back(ASender); };
    ASSERT_TRUE(guitest::ShowAt(Surface, Away));

    // Pixels where the frames cross take B's colour; A's frame shows through B's inside.
    const QPoint Crossings[] = {{29, 20}, {20, 29}}, AInsideB[] = {{29, 25}, {25, 29}};
    for (const QPoint Pointer : {QPoint(12, 12), QPoint(25, 25)}) {
        QTest::mouseMove(Window(), Pointer);
        const bool OnB = Pointer == QPoint(25, 25);
        EXPECT_EQ(A->Hovered(), !OnB);
        EXPECT_EQ(B->Hovered(), OnB);
        const QImage Screen = guitest::OnScreen(Surface);
        for (const QPoint P : Crossings) {
            EXPECT_EQ(Screen.pixel(P), OnB ? Silver : White) << P.x() << "," << P.y();
        }
        for (const QPoint P : AInsideB) {
            EXPECT_EQ(Screen.pixel(P), OnB ? White : Silver) << P.x() << "," << P.y();
        }
        EXPECT_EQ(Screen.pixel(25, 25), Surface.Picture().pixel(25, 25));
    }

    for (const QPoint P : {QPoint(25, 25), QPoint(29, 29), QPoint(20, 20), QPoint(12, 12)}) {
        QTest::mouseClick(Window(), Qt::LeftButton, {}, P);
    }
    EXPECT_EQ(Clicks, (std::vector<QObject*>{B, B, B, A}));
}

TEST_F(TransButtonTest, ClickIsLeftPressAndReleaseInside) {
    TTransButton* Button = MakeButton({10, 10, 20, 20});
    std::vector<QObject*> Clicks;
    Button->OnClick = [&](QObject* ASender) { Clicks.push_back(ASender); };
    ASSERT_TRUE(guitest::ShowAt(Surface, Away));

    struct TCase {
        QPoint Press, Release;
        Qt::MouseButton Which;
        size_t Clicks;
        int ParentPresses; // a left press on the button must not reach the window
    };
    const std::vector<TCase> Cases{{{15, 15}, {20, 20}, Qt::LeftButton, 1, 0},
                                   {{15, 15}, {40, 40}, Qt::LeftButton, 0, 0},
                                   {{40, 40}, {15, 15}, Qt::LeftButton, 0, 1},
                                   {{15, 15}, {15, 15}, Qt::RightButton, 0, 1},
                                   {{10, 10}, {29, 29}, Qt::LeftButton, 1, 0}};
    for (size_t I = 0; I < Cases.size(); ++I) {
        Clicks.clear();
        Surface.Presses = 0;
        QTest::mousePress(Window(), Cases[I].Which, {}, Cases[I].Press);
        QTest::mouseRelease(Window(), Cases[I].Which, {}, Cases[I].Release);
        EXPECT_EQ(Clicks, std::vector<QObject*>(Cases[I].Clicks, Button)) << "case " << I;
        EXPECT_EQ(Surface.Presses, Cases[I].ParentPresses) << "case " << I;
    }
}

TEST_F(TransButtonTest, HintIsTheToolTipOnlyWhileShown) {
    TTransButton* Button = MakeButton({10, 10, 20, 20});
    Button->SetHint("Send a ping (ctrl + P)");
    EXPECT_EQ(Button->toolTip(), "");
    Button->SetShowHint(true);
    EXPECT_EQ(Button->toolTip(), "Send a ping (ctrl + P)");
    Button->SetHint("Exit (escape)");
    EXPECT_EQ(Button->toolTip(), "Exit (escape)");
    Button->SetShowHint(false);
    EXPECT_EQ(Button->toolTip(), "");
    EXPECT_EQ(Button->Hint(), "Exit (escape)");
}
