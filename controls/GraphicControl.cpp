#include "controls/GraphicControl.h"

#include <QMouseEvent>

TGraphicControl::TGraphicControl(QWidget* AParent) : QWidget(AParent) {
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

void TGraphicControl::SetHint(const QString& AValue) {
    FHint = AValue;
    UpdateToolTip();
}

void TGraphicControl::SetShowHint(bool AValue) {
    FShowHint = AValue;
    UpdateToolTip();
}

void TGraphicControl::UpdateToolTip() {
    setToolTip(FShowHint ? FHint : QString());
}

void TGraphicControl::mousePressEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(AEvent);
        return;
    }
    // Taken here, or it would go on to the parent, which may start moving
    // the window on a left press.
    AEvent->accept();
    FPressed = true;
}

void TGraphicControl::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (AEvent->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(AEvent);
        return;
    }
    AEvent->accept();
    const bool WasPressed = FPressed;
    FPressed = false;
    // The press grabbed the mouse, so a release outside still lands here.
    if (WasPressed && rect().contains(AEvent->position().toPoint())) {
        Click();
    }
}

void TGraphicControl::Click() {
    if (auto Handler = OnClick) {
        Handler(this);
    }
}
