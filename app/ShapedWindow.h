#pragma once
// A frameless window shaped by its picture: every pixel of the picture in the key colour is
// see-through, neither drawn nor taking the mouse, and a press on the picture itself (where
// no control lies) moves the window.
#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWidget>
#include <optional>

class TShapedWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr QRgb KeyColour = 0xFF800080; // purple: see-through

    explicit TShapedWindow(Qt::WindowFlags AFlags);

    // The picture drawn at the window's top left; the window takes its shape at once.
    void SetPicture(const QImage& APicture);
    // Forgets the picture without reshaping: for a window that is going.
    void DropPicture();
    bool HasPicture() const { return FPicture.has_value(); }

    // The finished window image without its see-through pixels: the window's shape.
    QRegion ShapeRegion() const;

  protected:
    // Parts that are solid wherever they lie, drawn onto the finished image in any colour but
    // the key: controls that are windows of their own over the picture.
    virtual void PaintSolidParts(QPainter& ACanvas) const;
    // Whether a press at APos moves the window; by default where no control lies.
    virtual bool MovesWindow(QPoint APos) const;
    // Takes the shape anew, after what PaintSolidParts draws has changed.
    void Reshape();

    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseMoveEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    void paintEvent(QPaintEvent* AEvent) override;
    void resizeEvent(QResizeEvent* AEvent) override;

  private:
    std::optional<QImage> FPicture;
    // Moving by the background: where the press was, and whether the platform took over.
    bool FDragPending = false;
    bool FDragging = false;
    QPoint FPressPos;
};
