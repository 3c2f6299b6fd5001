#include "app/WindowFont.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace {

QString AddBitmapSans() {
    // Fontconfig rejects bitmap fonts by default, so the file is added by hand.
    for (const char* Path : {"/usr/share/wine/fonts/ms_sans_serif.ttf",
                             "/usr/share/fonts/truetype/wine/ms_sans_serif.ttf"}) {
        if (!QFile::exists(QString::fromLatin1(Path))) {
            continue;
        }
        const int Id = QFontDatabase::addApplicationFont(QString::fromLatin1(Path));
        const QStringList Families = QFontDatabase::applicationFontFamilies(Id);
        if (!Families.isEmpty()) {
            return Families.first();
        }
    }
    return {};
}

} // namespace

QFont WindowFont() {
    static const QString Family = AddBitmapSans();
    QFont Font;
    if (Family.isEmpty()) {
        Font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                          QStringLiteral("DejaVu Sans")});
        Font.setStyleHint(QFont::SansSerif);
    } else {
        Font.setFamily(Family);
    }
    Font.setPixelSize(11);
    Font.setStyleStrategy(QFont::NoAntialias);
    return Font;
}
