#include "resources/Pictures.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

// Our pictures are XPM text of one character a pixel, each colour "c #RRGGBB" or "c None",
// compiled in as resources. Loading them by name would go through the image reader, which
// first lists every image-format plugin and, guessing the format, loads each of them: a
// dozen libraries opened at every start. QtGui's own XPM reader, handed the strings, keeps
// a table of colour names and takes a hundred instructions a pixel; a table indexed by the
// character takes a few. Anything else is no picture of ours: a null image.
QImage FromXpm(const QString& AResource) {
    QFile File(AResource);
    if (!File.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Each string on a line of its own, and no quote in a comment.
    std::vector<QByteArray> Strings;
    for (const QByteArray& Line : File.readAll().split('\n')) {
        const QByteArray Text = Line.trimmed();
        const qsizetype Close = Text.indexOf('"', 1);
        if (Text.startsWith('"') && Close > 0) {
            Strings.push_back(Text.mid(1, Close - 1));
        }
    }
    int Width = 0;
    int Height = 0;
    int Colours = 0;
    int CharsPerPixel = 0;
    if (Strings.empty() ||
        std::sscanf(Strings[0].constData(), "%d %d %d %d", &Width, &Height, &Colours,
                    &CharsPerPixel) != 4 ||
        Width <= 0 || Height <= 0 || Colours <= 0 || CharsPerPixel != 1 ||
        Strings.size() != static_cast<size_t>(1 + Colours + Height)) {
        return {};
    }
    std::array<std::optional<QRgb>, 256> Table;
    for (int I = 1; I <= Colours; ++I) {
        const QByteArray& Entry = Strings[static_cast<size_t>(I)];
        const QByteArray ColourText = Entry.mid(1).simplified();
        bool Ok = ColourText.size() == 9 && ColourText.startsWith("c #");
        const uint Rgb = Ok ? ColourText.mid(3).toUInt(&Ok, 16) : 0;
        if (Entry.isEmpty() || !(Ok || ColourText == "c None")) {
            return {};
        }
        Table[static_cast<uint8_t>(Entry[0])] =
            Ok ? qRgb(qRed(Rgb), qGreen(Rgb), qBlue(Rgb)) : qRgba(0, 0, 0, 0);
    }
    QImage Picture(Width, Height, QImage::Format_ARGB32);
    for (int Y = 0; Y < Height; ++Y) {
        const QByteArray& Row = Strings[static_cast<size_t>(1 + Colours + Y)];
        if (Row.size() != Width) {
            return {};
        }
        auto* Out = reinterpret_cast<QRgb*>(Picture.scanLine(Y));
        for (int X = 0; X < Width; ++X) {
            const std::optional<QRgb>& Colour = Table[static_cast<uint8_t>(Row[X])];
            if (!Colour) {
                return {};
            }
            Out[X] = *Colour;
        }
    }
    return Picture;
}

} // namespace

QImage BackgroundPicture() {
    return FromXpm(QStringLiteral(":/vexlo/background.xpm"));
}

QImage StatusPictures() {
    return FromXpm(QStringLiteral(":/vexlo/status.xpm"));
}

QImage ProgramIcon() {
    return FromXpm(QStringLiteral(":/vexlo/icon.xpm"));
}
