#include "app/FixedTexts.h"

#include "app/HostGrid.h"
#include "app/PingFormBoxes.h"
#include "app/StatusDisplay.h"

#include <string>

std::vector<TFixedText> FixedTexts(const QFont& AFont) {
    const std::string Address = WidestAddress(AFont).toStdString();
    std::vector<TFixedText> Result;
    for (const TStatusDisplay& Status :
         {NotPingedDisplay(), NameNotFoundDisplay(), ReplyDisplay(rkEchoReply, Address),
          ReplyDisplay(rkTimedOut, Address), ReplyDisplay(rkError, Address)}) {
        Result.push_back({QString::fromStdString(Status.Text), StatusBox.width(), true, true});
    }
    // A line edit keeps two pixels free on either side; a title two on its left. The grid's
    // name cell is its client width (inside a one-pixel border) less the address cell less 2.
    constexpr int EditMargins = 4;
    constexpr int TitlePadding = 2;
    const int NameWidth = GridBox.width() - 2 - THostGrid::AddressWidth - 2;
    Result.push_back({QStringLiteral("Help"), HelpBox.width(), true});
    Result.push_back({QStringLiteral("127.0.0.1"), EditBox.width() - EditMargins});
    Result.push_back({QString::fromStdString(Address), EditBox.width() - EditMargins});
    Result.push_back({QStringLiteral("IP Address"), THostGrid::AddressWidth - TitlePadding});
    Result.push_back({QStringLiteral("Name"), NameWidth - TitlePadding});
    return Result;
}
