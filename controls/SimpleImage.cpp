#include "controls/SimpleImage.h"

#include <QPainter>

TSimpleImage::TSimpleImage(QWidget* AOwner)
    : TGraphicControl(AOwner), FChangeLink(std::make_unique<TChangeLink>()) {
    resize(32, 32);
    FChangeLink->OnChange = [this](TImageList&) { update(); };
    FChangeLink->OnListDestroyed = [this] {
        FImages = nullptr;
        update();
    };
}

void TSimpleImage::SetImages(TImageList* AValue) {
    if (FImages) {
        FImages->UnRegisterChanges(FChangeLink.get());
    }
    FImages = AValue;
    if (FImages) {
        FImages->RegisterChanges(FChangeLink.get());
        resize(FImages->Width(), FImages->Height());
    }
    update();
}

void TSimpleImage::SetImageIndex(std::int32_t AValue) {
    FImageIndex = AValue;
    update();
}

void TSimpleImage::paintEvent(QPaintEvent*) {
    if (!FImages) {
        return;
    }
    QPainter Canvas(this);
    FImages->Draw(Canvas, 0, 0, FImageIndex);
}
