#include "app/WindowFont.h"

#include "app/FixedTexts.h"
#include "controls/Label.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
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

QFont Sans(int APixelSize) {
    QFont Font;
    // The narrower families first; DejaVu Sans is the one that every Debian desktop has.
    Font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    Font.setStyleHint(QFont::SansSerif);
    Font.setPixelSize(APixelSize);
    Font.setStyleStrategy(QFont::NoAntialias);
    return Font;
}

bool AllFit(const QFont& AFont, const TFixedTexts& AFixed) {
    for (const TFixedText& Fixed : AFixed(AFont)) {
        const bool Fits = Fixed.Label
                              ? SpacingToFit(AFont, Fixed.Text, Fixed.Width, Fixed.Bold).has_value()
                              : QFontMetricsF(AFont).horizontalAdvance(Fixed.Text) <= Fixed.Width;
        if (!Fits) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<QFont> BitmapSans() {
    static const QString Family = AddBitmapSans();
    if (Family.isEmpty()) {
        return std::nullopt;
    }
    QFont Font(Family);
    Font.setPixelSize(11);
    Font.setStyleStrategy(QFont::NoAntialias);
    return Font;
}

QFont FallbackSans(const TFixedTexts& AFixed) {
    constexpr int Smallest = 8;
    for (int Size = 11; Size > Smallest; --Size) {
        if (AllFit(Sans(Size), AFixed)) {
            return Sans(Size);
        }
    }
    return Sans(Smallest);
}

QString WidestAddress(const QFont& AFont) {
    const QFontMetricsF Metrics(AFont);
    QString Widest;
    for (int Number = 0; Number <= 255; ++Number) {
        const QString Text = QString::number(Number);
        if (Metrics.horizontalAdvance(Text) > Metrics.horizontalAdvance(Widest)) {
            Widest = Text;
        }
    }
    return QStringList{Widest, Widest, Widest, Widest}.join(QLatin1Char('.'));
}

QFont WindowFont() {
    static const QFont Chosen = [] {
        const std::optional<QFont> Bitmap = BitmapSans();
        return Bitmap ? *Bitmap : FallbackSans(FixedTexts);
    }();
    return Chosen;
}

QFont WidgetFont(const QFont& AWindowFont, qreal ARatio) {
    // The window's own labels (TLabel) draw the bitmap font at 1x and grow it without
    // smoothing, like the pixel art around them, and a scalable font at the screen's density;
    // either way their texts fit their boxes. The edit box and the grid are Qt's widgets,
    // drawn at the screen's density with caret and selection; the bitmap font has glyphs at
    // 1x only, and Qt would spread them over grown advances. So there they take a scalable
    // sans, smoothed as text at that density is.
    if (qFuzzyCompare(ARatio, 1.0)) {
        return AWindowFont;
    }
    static const QFont Scalable = [] {
        QFont Font = FallbackSans(FixedTexts);
        Font.setStyleStrategy(QFont::PreferDefault);
        return Font;
    }();
    return Scalable;
}
