#pragma once
// A text label of fixed size: one line, cut off at its edges, on a filled background. Bold
// is drawn twice one pixel apart, since the bitmap font has no bold face of its own.
#include <QColor>
#include <QLabel>

class TLabel : public QLabel {
    Q_OBJECT

  public:
    explicit TLabel(QWidget* AParent);

    void SetFontColour(const QColor& AValue);
    QColor FontColour() const { return FFontColour; }
    void SetBold(bool AValue);
    void SetUnderline(bool AValue);

  protected:
    void paintEvent(QPaintEvent* AEvent) override;

  private:
    QColor FFontColour{Qt::black};
    bool FBold = false;
};
