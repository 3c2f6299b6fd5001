#include "app/StatusDisplay.h"

#include <gtest/gtest.h>

TEST(StatusDisplay, EachOutcomeHasItsTextColourAndPicture) {
    const struct {
        TReplyKind Kind;
        TStatusDisplay Expected;
    } Cases[] = {
        {rkEchoReply, {"Reply from 10.1.2.3", clGreen, 1}},
        {rkTimedOut, {"Timed out (10.1.2.3)", clRed, 2}},
        {rkError, {"An error has occurred", clRed, 2}},
        {rkUnreachable, {"An error has occurred", clRed, 2}},
        {rkTtlExpired, {"An error has occurred", clRed, 2}},
    };
    for (const auto& Case : Cases) {
        EXPECT_EQ(ReplyDisplay(Case.Kind, "10.1.2.3"), Case.Expected) << int(Case.Kind);
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
