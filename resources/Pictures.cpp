#include "resources/Pictures.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <vector>

namespace {

// Handed to the XPM reader that QtGui has built in, as the strings of the C array the file
// is. Loading the file by name would go through the image reader, which first lists every
// image-format plugin and, guessing the format, loads each of them: a dozen libraries
// opened for nothing at every start.
QImage FromXpm(const QString& AResource) {
    QFile File(AResource);
    if (!File.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Our pictures keep each string on a line of its own, and no quote in a comment.
    std::vector<QByteArray> Strings;
    for (const QByteArray& Line : File.readAll().split('\n')) {
        const QByteArray Text = Line.trimmed();
        const qsizetype Close = Text.indexOf('"', 1);
        if (Text.startsWith('"') && Close > 0) {
            Strings.push_back(Text.mid(1, Close - 1));
        }
    }
    // The reader trusts the header: it reads as many colours and rows as that names, each
    // row as wide, so a string short of that would be read past its end.
    int Width = 0;
    int Height = 0;
    int Colours = 0;
    int CharsPerPixel = 0;
    if (Strings.empty() ||
        std::sscanf(Strings[0].constData(), "%d %d %d %d", &Width, &Height, &Colours,
                    &CharsPerPixel) != 4 ||
        Width <= 0 || Height <= 0 || Colours <= 0 || CharsPerPixel <= 0 ||
        Strings.size() != static_cast<size_t>(1 + Colours + Height)) {
        return {};
    }
    std::vector<const char*> Array;
    for (size_t I = 0; I < Strings.size(); ++I) {
        if (I > static_cast<size_t>(Colours) && Strings[I].size() != Width * CharsPerPixel) {
            return {};
        }
        Array.push_back(Strings[I].constData());
    }
    return QImage(Array.data());
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
