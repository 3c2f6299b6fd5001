#pragma once

#include <QImage>
#include <functional>
#include <vector>

class QBitmap;
class QColor;
class QPainter;
class TImageList;

// A subscription to the change notices of one image list. Either side may be
// destroyed first: the list forgets a link that dies, and a link whose list
// dies is told so and forgets the list.
class TChangeLink {
  public:
    TChangeLink() = default;
    ~TChangeLink();
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    // The list this link is subscribed to; null when it is not subscribed.
    TImageList* Sender() const { return FSender; }

    std::function<void(TImageList& ASender)> OnChange;
    // Called from the list's destructor, after Sender() has become null.
    std::function<void()> OnListDestroyed;

  private:
    friend class TImageList;
    TImageList* FSender = nullptr;
};

// Pictures of one fixed size, each with a mask. Masked pixels are transparent:
// drawing a picture leaves them as they were on the canvas.
class TImageList {
  public:
    explicit TImageList(int AWidth = 16, int AHeight = 16);
    ~TImageList();
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FPictures.size()); }

    // Add takes one picture, or a row of pictures side by side (width a
    // multiple of Width()). The mask is drawn where it holds Qt::color1;
    // AddMasked treats every pixel of AMaskColor as masked. Both return the
    // index of the first picture added, or -1 (and change nothing) when the
    // sizes do not fit.
    int Add(const QImage& AImage, const QBitmap& AMask);
    int AddMasked(const QImage& AImage, const QColor& AMaskColor);
    // Replace one picture; false (and no change) for a bad index or size.
    bool Replace(int AIndex, const QImage& AImage, const QBitmap& AMask);
    bool ReplaceMasked(int AIndex, const QImage& AImage, const QColor& AMaskColor);
    void Clear();

    // An index without a picture draws nothing.
    void Draw(QPainter& ACanvas, int AX, int AY, int AIndex) const;

    // A link is subscribed to at most one list: registering it here takes it
    // off any other list first.
    void RegisterChanges(TChangeLink* AValue);
    void UnRegisterChanges(TChangeLink* AValue);

  private:
    int Append(const QImage& AMasked);
    bool Store(int AIndex, const QImage& AMasked);
    void Change();

    int FWidth;
    int FHeight;
    std::vector<QImage> FPictures; // premultiplied ARGB, mask folded into alpha
    std::vector<TChangeLink*> FLinks;
};
