#include "controls/ImageList.h"

#include <QBitmap>
#include <QColor>
#include <QPainter>
#include <algorithm>
#include <stdexcept>

namespace {

// The mask goes into the alpha channel, so that a plain source-over draw
// leaves masked pixels alone.
template <class TIsDrawn> QImage FoldMask(const QImage& AImage, TIsDrawn AIsDrawn) {
    QImage Result = AImage.convertToFormat(QImage::Format_ARGB32);
    for (int Y = 0; Y < Result.height(); ++Y) {
        auto* Line = reinterpret_cast<QRgb*>(Result.scanLine(Y));
        for (int X = 0; X < Result.width(); ++X) {
            if (!AIsDrawn(X, Y)) {
                Line[X] = 0;
            }
        }
    }
    return Result.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage WithMask(const QImage& AImage, const QBitmap& AMask) {
    if (AImage.isNull() || AMask.size() != AImage.size()) {
        return {};
    }
    const QImage Mask = AMask.toImage();
    const QRgb Drawn = QColor(Qt::color1).rgb();
    return FoldMask(AImage, [&](int X, int Y) { return Mask.pixel(X, Y) == Drawn; });
}

QImage WithMaskColor(const QImage& AImage, const QColor& AMaskColor) {
    if (AImage.isNull()) {
        return {};
    }
    const QRgb Key = AMaskColor.rgb() & RGB_MASK;
    const QImage Source = AImage.convertToFormat(QImage::Format_ARGB32);
    return FoldMask(Source, [&](int X, int Y) { return (Source.pixel(X, Y) & RGB_MASK) != Key; });
}

} // namespace

TChangeLink::~TChangeLink() {
    if (FSender) {
        FSender->UnRegisterChanges(this);
    }
}

TImageList::TImageList(int AWidth, int AHeight) : FWidth(AWidth), FHeight(AHeight) {
    if (AWidth <= 0 || AHeight <= 0) {
        throw std::invalid_argument("image list picture size must be positive");
    }
}

TImageList::~TImageList() {
    // One link at a time: a handler may destroy other links, which then take
    // themselves off FLinks while this list is still whole.
    while (!FLinks.empty()) {
        TChangeLink* Link = FLinks.back();
        FLinks.pop_back();
        Link->FSender = nullptr;
        if (auto Handler = Link->OnListDestroyed) {
            Handler();
        }
    }
}

int TImageList::Add(const QImage& AImage, const QBitmap& AMask) {
    return Append(WithMask(AImage, AMask));
}

int TImageList::AddMasked(const QImage& AImage, const QColor& AMaskColor) {
    return Append(WithMaskColor(AImage, AMaskColor));
}

bool TImageList::Replace(int AIndex, const QImage& AImage, const QBitmap& AMask) {
    return Store(AIndex, WithMask(AImage, AMask));
}

bool TImageList::ReplaceMasked(int AIndex, const QImage& AImage, const QColor& AMaskColor) {
    return Store(AIndex, WithMaskColor(AImage, AMaskColor));
}

void TImageList::Clear() {
    if (FPictures.empty()) {
        return;
    }
    FPictures.clear();
    Change();
}

void TImageList::Draw(QPainter& ACanvas, int AX, int AY, int AIndex) const {
    if (AIndex < 0 || AIndex >= Count()) {
        return;
    }
    const QPainter::CompositionMode Mode = ACanvas.compositionMode();
    ACanvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
    ACanvas.drawImage(AX, AY, FPictures[AIndex]);
    ACanvas.setCompositionMode(Mode);
}

void TImageList::RegisterChanges(TChangeLink* AValue) {
    if (!AValue || AValue->FSender == this) {
        return;
    }
    if (AValue->FSender) {
        AValue->FSender->UnRegisterChanges(AValue);
    }
    FLinks.push_back(AValue);
    AValue->FSender = this;
}

void TImageList::UnRegisterChanges(TChangeLink* AValue) {
    if (!AValue || AValue->FSender != this) {
        return;
    }
    FLinks.erase(std::find(FLinks.begin(), FLinks.end(), AValue));
    AValue->FSender = nullptr;
}

int TImageList::Append(const QImage& AMasked) {
    if (AMasked.isNull() || AMasked.height() != FHeight || AMasked.width() % FWidth != 0) {
        return -1;
    }
    const int First = Count();
    for (int X = 0; X < AMasked.width(); X += FWidth) {
        FPictures.push_back(AMasked.copy(X, 0, FWidth, FHeight));
    }
    Change();
    return First;
}

bool TImageList::Store(int AIndex, const QImage& AMasked) {
    if (AIndex < 0 || AIndex >= Count() || AMasked.size() != QSize(FWidth, FHeight)) {
        return false;
    }
    FPictures[AIndex] = AMasked;
    Change();
    return true;
}

void TImageList::Change() {
    // Handlers may take links off or destroy them; call only those still on.
    const std::vector<TChangeLink*> Links = FLinks;
    for (TChangeLink* Link : Links) {
        if (std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end()) {
            continue;
        }
        if (auto Handler = Link->OnChange) {
            Handler(*this);
        }
    }
}
