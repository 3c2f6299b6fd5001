#include "app/IpEdit.h"

#include <QFocusEvent>
#include <QPalette>

void TIpEdit::SetBackground(const QColor& AColour) {
    QPalette Palette = palette();
    Palette.setColor(QPalette::Base, AColour);
    setPalette(Palette);
}

void TIpEdit::focusInEvent(QFocusEvent* AEvent) {
    QLineEdit::focusInEvent(AEvent);
    // A press places the caret where it was made; any other way in selects everything, so
    // that typing replaces the last host.
    if (AEvent->reason() != Qt::MouseFocusReason) {
        selectAll();
    }
}
