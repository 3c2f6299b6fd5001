#include "app/StatusDisplay.h"

#include "app/AddressFit.h"
#include "app/WindowFont.h"

#include <gtest/gtest.h>

TEST(StatusDisplay, EachOutcomeHasItsTextColourAndPicture) {
    const struct {
        TReplyKind Kind;
        TStatusDisplay Expected;
        const char* Host = "10.1.2.3";
    } Cases[] = {
        {rkEchoReply, {"Reply from 10.1.2.3", clGreen, 1, "10.1.2.3", 11}},
        {rkTimedOut, {"Timed out (10.1.2.3)", clRed, 2, "10.1.2.3", 11}},
        {rkError, {"An error has occurred", clRed, 2}},
        {rkUnreachable, {"An error has occurred", clRed, 2}},
        {rkTtlExpired, {"An error has occurred", clRed, 2}},
        {rkEchoReply, {"Reply from ::1", clGreen, 1, "::1", 11}, "::1"},
        {rkTimedOut, {"Timed out (fe80::1%eth0)", clRed, 2, "fe80::1%eth0", 11}, "fe80::1%eth0"},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(ReplyDisplay(Case.Kind, Case.Host), Case.Expected) << int(Case.Kind);
    }
    EXPECT_EQ(NotPingedDisplay(), (TStatusDisplay{"Not pinged", clBlue, 0}));
    EXPECT_EQ(NameNotFoundDisplay(), (TStatusDisplay{"Name not found", clBlue, 0}));
    EXPECT_EQ(ErrorDisplay("Cannot allocate socket."),
              (TStatusDisplay{"Cannot allocate socket.", clRed, 0}));
}

TEST(StatusDisplay, ErrorBoxAppendsAFullStopOnlyAfterACharacterThatSortsAfterIt) {
    const struct {
        const char* Message;
        const char* Shown;
    } Cases[] = {
        {"", ""},
        {"Stream write error", "Stream write error."},
        {"Cannot allocate socket.", "Cannot allocate socket."},
        {"Key may not contain equals sign (\"=\")", "Key may not contain equals sign (\"=\")"},
        {"Socket Error # 10051\r\nNetwork is unreachable", "Socket Error # 10051\r\nNetwork is "
                                                           "unreachable."},
        {"ends in a comma,", "ends in a comma,"},
        {"ends in a slash/", "ends in a slash/."},
        {"caf\xc3\xa9", "caf\xc3\xa9."},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(ErrorBoxText(Case.Message), Case.Shown) << Case.Message;
    }
}

TEST(StatusDisplay, AnAddressTooLongIsShortenedWithAnEllipsisWhoseDotsStayApartAsDrawn) {
    const auto AtMost = [](qsizetype ALength) {
        return [ALength](const QString& AText) { return AText.size() <= ALength; };
    };
    const QString Ellipsis(QChar(0x2026));
    const QString Long = "2a00:1450:4001:82b::200e";
    EXPECT_EQ(FitAddress(Long, AtMost(24), Ellipsis), Long);
    EXPECT_EQ(FitAddress(Long, AtMost(16), Ellipsis), "2a00:1450" + Ellipsis + ":200e");
    EXPECT_EQ(FitAddress(Long, AtMost(12), "..."), "2a00...:200e");
    EXPECT_EQ(FitAddress("255.255.255.255", AtMost(5), Ellipsis), "255.255.255.255");
    // The bitmap sans has the glyph, its dots one pixel apart: bold would run them together.
    if (const std::optional<QFont> Bitmap = BitmapSans()) {
        EXPECT_EQ(AddressEllipsis(*Bitmap, false), Ellipsis);
        EXPECT_EQ(AddressEllipsis(*Bitmap, true), "...");
    }
}
