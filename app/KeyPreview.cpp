#include "app/KeyPreview.h"

#include "app/Guarded.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

TKeyPreview::TKeyPreview(QWidget* AWindow, THandler AHandler)
    : QObject(AWindow), FWindow(AWindow), FHandler(std::move(AHandler)) {
    FWindow->installEventFilter(this);
}

void TKeyPreview::Watch(QWidget* AControl) {
    AControl->installEventFilter(this);
    for (QWidget* Inner : AControl->findChildren<QWidget*>()) {
        Inner->installEventFilter(this);
    }
}

bool TKeyPreview::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AEvent->type() != QEvent::KeyRelease) {
        return false;
    }
    // A release that no control takes goes on to its parents; only its first delivery, to
    // the control with the focus (or to the window when none has it), counts.
    const QWidget* Focus = QApplication::focusWidget();
    if (AWatched != Focus && (Focus != nullptr || AWatched != FWindow)) {
        return false;
    }
    auto* Key = static_cast<QKeyEvent*>(AEvent);
    // Holding a key down repeats press and release; the action is for the real release.
    if (!Key->isAutoRepeat()) {
        Guarded([&] { FHandler(Key->key(), Key->modifiers()); });
    }
    return false;
}
