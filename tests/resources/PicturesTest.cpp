#include "resources/Pictures.h"
#include "tests/support/GuiTestSupport.h"

#include <QFile>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

const QRgb Black = qRgb(0, 0, 0), White = qRgb(255, 255, 255), Purple = qRgb(128, 0, 128),
           Magenta = qRgb(255, 0, 255), Red = qRgb(255, 0, 0), Yellow = qRgb(255, 255, 0),
           DarkGreen = qRgb(0, 128, 0), Grey = qRgb(128, 128, 128), Silver = qRgb(192, 192, 192),
           Navy = qRgb(0, 0, 128), Blue = qRgb(0, 0, 255), Aqua = qRgb(0, 255, 255),
           Maroon = qRgb(128, 0, 0), Olive = qRgb(128, 128, 0), Teal = qRgb(0, 128, 128),
           Lime = qRgb(0, 255, 0);
const QRgb Palette[] = {Black,  Maroon, DarkGreen, Olive,  Navy, Purple,  Teal, Grey,
                        Silver, Red,    Lime,      Yellow, Blue, Magenta, Aqua, White};

// Loaded without any initialisation call: linking the library has to be enough.
QImage Picture(const char* AName) {
    return QImage(QString(":/vexlo/") + AName).convertToFormat(QImage::Format_ARGB32);
}

QImage StatusPicture(int AIndex) {
    return Picture("status.xpm").copy(16 * AIndex, 0, 16, 16);
}

// Corners inclusive, the way the layout gives its coordinates.
QRect Span(int AX0, int AY0, int AX1, int AY1) {
    return QRect(QPoint(AX0, AY0), QPoint(AX1, AY1));
}

// The smallest rectangle within AArea that holds every pixel AMatches accepts.
QRect Bounds(const QImage& AImage, const QRect& AArea, const std::function<bool(QRgb)>& AMatches) {
    QRect Result;
    for (int Y = AArea.top(); Y <= AArea.bottom(); ++Y) {
        for (int X = AArea.left(); X <= AArea.right(); ++X) {
            if (AMatches(AImage.pixel(X, Y))) {
                Result |= QRect(X, Y, 1, 1);
            }
        }
    }
    return Result;
}

auto Is(QRgb AColour) {
    return [AColour](QRgb P) { return P == AColour; };
}
auto IsNot(QRgb AColour) {
    return [AColour](QRgb P) { return P != AColour; };
}
bool IsOpaque(QRgb P) {
    return qAlpha(P) == 255;
}

bool Holds(const QImage& AImage, const QRect& AArea, QRgb AColour) {
    return !Bounds(AImage, AArea, Is(AColour)).isNull();
}

struct TArea {
    const char* What;
    QRect Where;
    QRgb Colour;
};

} // namespace

TEST(Pictures, LoadFromTheLinkedResourcesAtTheirSizes) {
    const struct {
        const char* Name;
        QImage (*Load)();
        QSize Size;
    } Cases[] = {{"background.xpm", BackgroundPicture, {210, 90}},
                 {"status.xpm", StatusPictures, {48, 16}},
                 {"icon.xpm", ProgramIcon, {32, 32}}};
    for (const auto& C : Cases) {
        EXPECT_EQ(Picture(C.Name).size(), C.Size) << C.Name;
        EXPECT_EQ(C.Load().convertToFormat(QImage::Format_ARGB32), Picture(C.Name)) << C.Name;
    }
}

// Each start loads them: the image-format plugins (a dozen libraries, and whatever a user
// planted beside the program) stay out of the process. Run alone, as ctest runs each test.
TEST(Pictures, LoadWithoutAnyImageFormatPlugin) {
    for (QImage (*Load)() : {BackgroundPicture, StatusPictures, ProgramIcon}) {
        ASSERT_FALSE(Load().isNull());
    }
    QFile Maps(QStringLiteral("/proc/self/maps"));
    if (!Maps.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "no /proc/self/maps here";
    }
    EXPECT_FALSE(Maps.readAll().contains("/imageformats/"));
}

TEST(Pictures, UseOnlyTheSixteenColourPaletteAndOnlyStatusPicturesSeeThrough) {
    const struct {
        const char* Name;
        bool MaySeeThrough;
    } Cases[] = {{"background.xpm", false}, {"status.xpm", true}, {"icon.xpm", false}};
    for (const auto& C : Cases) {
        const QImage Image = Picture(C.Name);
        const QRect Off = Bounds(Image, Image.rect(), [&](QRgb P) {
            if (qAlpha(P) == 0) {
                return !C.MaySeeThrough;
            }
            return !IsOpaque(P) ||
                   std::find(std::begin(Palette), std::end(Palette), P) == std::end(Palette);
        });
        EXPECT_TRUE(Off.isNull()) << C.Name << ": off the palette from " << Off.x() << ","
                                  << Off.y();
    }
}

TEST(BackgroundPicture, IsPurpleWhereTheWindowIsCutAway) {
    const QImage Back = Picture("background.xpm");
    const TArea Areas[] = {
        {"rows above the panels", Span(0, 0, 209, 1), Purple},
        {"row between the panels", Span(0, 60, 209, 60), Purple},
        {"rows below the lower panel", Span(0, 87, 209, 89), Purple},
        {"left of the upper panel", Span(0, 2, 1, 59), Purple},
        {"right of the upper panel", Span(208, 2, 209, 59), Purple},
        {"left of the lower panel", Span(0, 61, 7, 86), Purple},
        {"right of the lower panel", Span(202, 61, 209, 86), Purple},
        {"upper panel, top left corner", Span(2, 2, 7, 2), Purple},
        {"upper panel, top left corner", Span(2, 2, 2, 7), Purple},
        {"upper panel, top right corner", Span(202, 2, 207, 2), Purple},
        {"upper panel, top right corner", Span(207, 2, 207, 7), Purple},
        {"upper panel, bottom left corner", Span(2, 59, 7, 59), Purple},
        {"upper panel, bottom left corner", Span(2, 54, 2, 59), Purple},
        {"upper panel, bottom right corner", Span(202, 59, 207, 59), Purple},
        {"upper panel, bottom right corner", Span(207, 54, 207, 59), Purple},
    };
    for (const TArea& A : Areas) {
        EXPECT_EQ(guitest::CheckPixels(Back, A.Where, [&](QPoint) { return A.Colour; }), "")
            << A.What;
    }
}

TEST(BackgroundPicture, DrawsPanelsAndInputWellWhereTheControlsExpectThem) {
    const QImage Back = Picture("background.xpm");
    EXPECT_EQ(Bounds(Back, Span(0, 0, 209, 59), IsNot(Purple)), Span(2, 2, 207, 59));
    EXPECT_EQ(Bounds(Back, Span(0, 60, 209, 89), IsNot(Purple)), Span(8, 61, 201, 86));
    EXPECT_EQ(Bounds(Back, Span(0, 0, 141, 59), Is(Magenta)), Span(7, 8, 136, 32));
    const TArea Areas[] = {
        {"upper panel, left edge", Span(2, 8, 2, 53), Black},
        {"upper panel, right edge", Span(207, 8, 207, 53), Black},
        {"upper panel, top edge", Span(8, 2, 201, 2), Black},
        {"upper panel, bottom edge", Span(8, 59, 201, 59), Black},
        {"lower panel, left edge", Span(8, 70, 8, 77), Black},
        {"lower panel, right edge", Span(201, 70, 201, 77), Black},
        {"lower panel, top edge", Span(30, 61, 180, 61), Black},
        {"lower panel, bottom edge", Span(30, 86, 180, 86), Black},
        {"status area", Span(8, 34, 201, 58), White},
        {"well, outer outline left", Span(6, 20, 6, 20), Black},
        {"well, outer outline right", Span(137, 20, 137, 20), Black},
        {"well, outer outline top", Span(30, 7, 110, 7), Black},
        {"well, outer outline bottom", Span(30, 33, 110, 33), Black},
        {"well, ring left", Span(7, 20, 12, 20), Magenta},
        {"well, ring right", Span(130, 20, 136, 20), Magenta},
        {"well, ring top", Span(30, 8, 110, 10), Magenta},
        {"well, ring bottom", Span(30, 30, 110, 32), Magenta},
        {"opening, outline left", Span(13, 20, 13, 20), Black},
        {"opening, outline right", Span(129, 20, 129, 20), Black},
        {"opening, outline top", Span(30, 11, 110, 11), Black},
        {"opening, outline bottom", Span(30, 29, 110, 29), Black},
        {"opening, widest row", Span(14, 20, 128, 20), White},
        {"opening, under the edit box", Span(18, 14, 108, 27), White},
    };
    for (const TArea& A : Areas) {
        EXPECT_EQ(guitest::CheckPixels(Back, A.Where, [&](QPoint) { return A.Colour; }), "")
            << A.What;
    }
}

TEST(BackgroundPicture, DrawsEachGlyphFillingItsBoxAndNothingElseInItsButton) {
    const QImage Back = Picture("background.xpm");
    const struct {
        const char* Glyph;
        QRect Button;
        QRect Box;
        std::vector<QRgb> Colours;
    } Cases[] = {
        {"ping", Span(142, 8, 165, 31), Span(146, 13, 161, 27), {Yellow, Silver, Grey, Black}},
        {"list", Span(164, 8, 187, 31), Span(168, 11, 185, 28), {Navy, Blue, Aqua, Grey, Black}},
        {"exit", Span(190, 4, 203, 17), Span(193, 7, 200, 14), {Red}},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(Bounds(Back, C.Button, IsNot(White)), C.Box) << C.Glyph;
        for (QRgb Colour : C.Colours) {
            EXPECT_TRUE(Holds(Back, C.Box, Colour)) << C.Glyph << " " << guitest::RgbText(Colour);
        }
    }
}

TEST(BackgroundPicture, DrawsTheExitGlyphAsARedSquareCrossedByItsDiagonals) {
    const QImage Back = Picture("background.xpm");
    EXPECT_EQ(guitest::CheckPixels(Back, Span(193, 7, 200, 14),
                                   [](QPoint P) {
                                       const int X = P.x() - 193, Y = P.y() - 7;
                                       return X == Y || X == 7 - Y ? White : Red;
                                   }),
              "");
}

TEST(BackgroundPicture, WritesTheKeySummaryInBlackInsideItsFourTextBoxes) {
    const QImage Back = Picture("background.xpm");
    const QRect Boxes[] = {Span(30, 63, 84, 71), Span(108, 63, 183, 71), Span(31, 75, 86, 84),
                           Span(132, 75, 179, 84)};
    const QRect Inside = Span(15, 62, 194, 85); // the lower panel clear of its corners
    EXPECT_EQ(
        guitest::CheckPixels(Back, Inside,
                             [&](QPoint P) {
                                 const bool InText =
                                     std::any_of(std::begin(Boxes), std::end(Boxes),
                                                 [&](const QRect& B) { return B.contains(P); });
                                 const QRgb Got = Back.pixel(P);
                                 return InText && (Got == Black || Got == White) ? Got : White;
                             }),
        "");
    for (const QRect& Box : Boxes) {
        // Most of the box's width is used, so the text is not a stray mark.
        EXPECT_GE(Bounds(Back, Box, Is(Black)).width(), Box.width() - 6)
            << Box.x() << "," << Box.y();
    }
}

TEST(StatusPictures, ShowTheCaseWithinItsBoundsWithOneHoleInItsFront) {
    const QImage NotPinged = StatusPicture(0);
    EXPECT_EQ(Bounds(NotPinged, NotPinged.rect(), IsOpaque), Span(3, 0, 12, 14));
    EXPECT_EQ(Bounds(NotPinged, Span(3, 0, 12, 14), [](QRgb P) { return !IsOpaque(P); }),
              Span(8, 12, 8, 12));
    for (QRgb Colour : {Silver, Grey, White, Black}) {
        EXPECT_TRUE(Holds(NotPinged, NotPinged.rect(), Colour)) << guitest::RgbText(Colour);
    }
}

TEST(StatusPictures, ChangeOnlyTheLowerRightOfTheCaseForAnOutcome) {
    const QImage NotPinged = StatusPicture(0);
    for (int Index : {1, 2}) {
        const QImage Outcome = StatusPicture(Index);
        QRect Differs;
        for (int Y = 0; Y < 16; ++Y) {
            for (int X = 0; X < 16; ++X) {
                if (Outcome.pixel(X, Y) != NotPinged.pixel(X, Y)) {
                    Differs |= QRect(X, Y, 1, 1);
                }
            }
        }
        EXPECT_FALSE(Differs.isNull()) << Index;
        EXPECT_TRUE(Span(7, 7, 15, 15).contains(Differs)) << Index;
    }
}

TEST(StatusPictures, ShowAReplyAsAGreenArrowPointingUp) {
    const QImage Reply = StatusPicture(1);
    const QRect Arrow = Bounds(Reply, Reply.rect(), Is(DarkGreen));
    ASSERT_FALSE(Arrow.isNull());
    const auto GreenIn = [&](int AY) {
        int Count = 0;
        for (int X = Arrow.left(); X <= Arrow.right(); ++X) {
            Count += Reply.pixel(X, AY) == DarkGreen;
        }
        return Count;
    };
    EXPECT_EQ(GreenIn(Arrow.top()), 1);
    EXPECT_LT(GreenIn(Arrow.bottom()), Arrow.width());
    EXPECT_TRUE(Holds(Reply, Arrow.adjusted(-1, -1, 1, 1), White));
}

TEST(StatusPictures, ShowAFailureAsAWhiteXOnARedDisc) {
    const QImage Failure = StatusPicture(2);
    const QRect Cross = Bounds(Failure, Span(7, 7, 15, 15), Is(White));
    ASSERT_FALSE(Cross.isNull());
    const QPoint Centre = Cross.center();
    for (QPoint End :
         {Cross.topLeft(), Cross.topRight(), Cross.bottomLeft(), Cross.bottomRight(), Centre}) {
        EXPECT_EQ(Failure.pixel(End), White) << End.x() << "," << End.y();
    }
    for (QPoint Side : {QPoint(Centre.x(), Cross.top()), QPoint(Cross.left(), Centre.y())}) {
        EXPECT_EQ(Failure.pixel(Side), Red) << Side.x() << "," << Side.y();
    }
}

TEST(Icon, ShowsAYellowBellInsideABlackBorder) {
    const QImage Icon = Picture("icon.xpm");
    const QRect Inside = Icon.rect().adjusted(1, 1, -1, -1);
    EXPECT_EQ(
        guitest::CheckPixels(Icon, Icon.rect(),
                             [&](QPoint P) { return Inside.contains(P) ? Icon.pixel(P) : Black; }),
        "");
    const QRect Bell = Bounds(Icon, Inside, Is(Yellow));
    EXPECT_TRUE(Bell.contains(Inside.center())) << Bell.x() << "," << Bell.y();
    for (QRgb Colour : {White, Silver, Grey}) {
        EXPECT_TRUE(Holds(Icon, Bell, Colour)) << guitest::RgbText(Colour);
    }
}
