#pragma once
// Shared by the programs whose start-up is measured: marks on the monotonic clock, which
// the driver reads too, and the moment a widget's paint is done.
#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <functional>

namespace startupbench {

inline long long MonotonicNs() {
    timespec Now{};
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return Now.tv_sec * 1000000000LL + Now.tv_nsec;
}

// "LABEL NANOSECONDS" on stdout at once: the driver subtracts the moment it forked.
inline void Mark(const char* ALabel) {
    std::printf("%s %lld\n", ALabel, MonotonicNs());
    std::fflush(stdout);
}

// Calls AThen once, after the window's first frame: its own paint, its children's and the
// flush to the screen all happen in one pass, and a queued call runs after that pass.
class TFirstFrame : public QObject {
  public:
    TFirstFrame(QWidget* AWindow, std::function<void()> AThen)
        : FWindow(AWindow), FThen(std::move(AThen)) {
        FWindow->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
        if (AWatched == FWindow && AEvent->type() == QEvent::Paint && !FSeen) {
            FSeen = true;
            QMetaObject::invokeMethod(this, FThen, Qt::QueuedConnection);
        }
        return false;
    }

  private:
    QWidget* FWindow;
    std::function<void()> FThen;
    bool FSeen = false;
};

// The end of every paint of one widget, on the monotonic clock.
class TPaintClock : public QObject {
  public:
    explicit TPaintClock(QWidget* AWidget) { AWidget->installEventFilter(this); }
    bool Painted = false;
    long long PaintedAt = 0;

  protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
        if (AEvent->type() != QEvent::Paint || FInside) {
            return false;
        }
        // Let the widget paint now, inside this pass, then note the time it finished.
        FInside = true;
        QCoreApplication::sendEvent(AWatched, AEvent);
        FInside = false;
        PaintedAt = MonotonicNs();
        Painted = true;
        return true;
    }

  private:
    bool FInside = false;
};

} // namespace startupbench
