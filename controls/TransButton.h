#pragma once

#include "controls/GraphicControl.h"

// A see-through button: only a 1-pixel frame, white while the pointer is away
// and silver while it is over the button; the parent's picture shows inside.
class TTransButton : public TGraphicControl {
    Q_OBJECT

  public:
    using TGraphicControl::TGraphicControl;

    // Whether the pointer is over the button; only enter and leave events change it.
    bool Hovered() const { return FHovered; }

  protected:
    void paintEvent(QPaintEvent* AEvent) override;
    void enterEvent(QEnterEvent* AEvent) override;
    void leaveEvent(QEvent* AEvent) override;

  private:
    bool FHovered = false;
};
