#include "app/AddressFit.h"

#include "net/AddressEllipsis.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace {

// The narrowest blank between two inked columns of AText drawn in AFont; the text's width
// where it has a single stroke.
int NarrowestGap(const QFont& AFont, const QString& AText) {
    const QFontMetrics Metrics(AFont);
    QImage Picture(Metrics.horizontalAdvance(AText) + Metrics.maxWidth(), Metrics.height(),
                   QImage::Format_RGB32);
    Picture.fill(Qt::white);
    {
        QPainter Canvas(&Picture);
        Canvas.setFont(AFont);
        Canvas.setPen(Qt::black);
        Canvas.drawText(0, Metrics.ascent(), AText);
    }
    int Narrowest = Picture.width();
    int LastInk = -1;
    for (int X = 0; X < Picture.width(); ++X) {
        bool Inked = false;
        for (int Y = 0; Y < Picture.height() && !Inked; ++Y) {
            Inked = Picture.pixel(X, Y) != qRgb(255, 255, 255);
        }
        if (!Inked) {
            continue;
        }
        if (LastInk >= 0 && X - LastInk > 1) {
            Narrowest = std::min(Narrowest, X - LastInk - 1);
        }
        LastInk = X;
    }
    return Narrowest;
}

} // namespace

QString AddressEllipsis(const QFont& AFont, bool ABold) {
    const QString Ellipsis(QChar(u'\u2026'));
    if (!QFontMetrics(AFont).inFont(Ellipsis.front()) ||
        (ABold && NarrowestGap(AFont, Ellipsis) < 2)) {
        return QStringLiteral("...");
    }
    return Ellipsis;
}

QString FitAddress(const QString& AAddress, const std::function<bool(const QString&)>& AFits,
                   const QString& AEllipsis) {
    // The fit is all the shortening asks of a width: a line that fits measures no more than
    // the box, one that does not, more.
    const auto Width = [&](std::string_view AText) {
        return AFits(QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size()))) ? 0 : 1;
    };
    const QByteArray Address = AAddress.toUtf8();
    const QByteArray Ellipsis = AEllipsis.toUtf8();
    return QString::fromStdString(
        ShortenAddress(Address.toStdString(), Width, 0,
                       std::string_view(Ellipsis.data(), static_cast<size_t>(Ellipsis.size()))));
}
