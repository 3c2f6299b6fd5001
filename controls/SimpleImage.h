#pragma once

#include "controls/GraphicControl.h"
#include "controls/ImageList.h"

#include <cstdint>
#include <memory>

// Shows picture ImageIndex of an image list at its top left corner, masked
// pixels left as the parent painted them. The list is not owned; if it is
// destroyed first, the control lets go of it and shows nothing.
class TSimpleImage : public TGraphicControl {
    Q_OBJECT

  public:
    explicit TSimpleImage(QWidget* AOwner);

    TImageList* Images() const { return FImages; }
    // Takes the list's picture size; null keeps the current size.
    void SetImages(TImageList* AValue);
    std::int32_t ImageIndex() const { return FImageIndex; }
    void SetImageIndex(std::int32_t AValue);

  protected:
    void paintEvent(QPaintEvent* AEvent) override;

  private:
    TImageList* FImages = nullptr;
    std::int32_t FImageIndex = 0;
    std::unique_ptr<TChangeLink> FChangeLink;
};
