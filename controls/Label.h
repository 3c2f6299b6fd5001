#pragma once
// A text label of fixed size: one line on a filled background. Bold is drawn twice one pixel
// apart with a pixel more between letters, since the bitmap font has no bold face of its own.
// A line that would overflow the box is drawn with its letters closer, so that an address
// always shows whole; a longer one (a system's error message) is cut at the box's edge.
// At a density above 1x the bitmap font's 1x pixels grow with the window's picture, while a
// scalable font is drawn at the density itself and fitted to the box there.
#include <QColor>
#include <QLabel>
#include <optional>

// The letter spacing at which ALine, drawn in AFont as a label draws it at ARatio device pixels
// per pixel, ends inside AWidth device pixels: the natural one where it fits, else up to
// AMaxTighten pixels a gap closer; none when even that is too wide.
std::optional<qreal> SpacingToFit(const QFont& AFont, const QString& ALine, int AWidth, bool ABold,
                                  qreal AMaxTighten = 1, qreal ARatio = 1);

// Whether a label draws AFont's glyphs at the screen's density: a scalable font, not one of
// bitmaps only.
bool DrawnAtDensity(const QFont& AFont);

class TLabel : public QLabel {
    Q_OBJECT

  public:
    explicit TLabel(QWidget* AParent);

    void SetFontColour(const QColor& AValue);
    QColor FontColour() const { return FFontColour; }
    bool Bold() const { return FBold; }
    void SetBold(bool AValue);
    void SetUnderline(bool AValue);

    // Whether the label would show AText whole, its letters closed up as far as it may,
    // drawn at ARatio device pixels per pixel: what decides whether an address is shortened.
    bool Fits(const QString& AText, qreal ARatio) const;

  signals:
    // A left button pressed and let go over the label. A label that nobody listens to takes
    // no presses: they go on to the window beneath, which moves by them.
    void Click();

  protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

  private:
    // The label drawn on ASize device pixels at ARatio device pixels per pixel.
    QImage Picture(QSize ASize, qreal ARatio) const;
    QFont DrawnFont() const;
    bool Clickable() const;

    QColor FFontColour{Qt::black};
    bool FBold = false;
    bool FUnderline = false;
};
