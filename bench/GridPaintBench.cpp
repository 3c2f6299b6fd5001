// The host list grid over a 1,000,000-entry list, offscreen: the time from showing it to its
// first painted frame, and how many cells the view asks the model for while scrolling,
// which must stay near the number of visible cells, whatever the list's length.
#include "app/HostGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIdentityProxyModel>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string GeneratedList(int AEntries) {
    std::string Bytes;
    Bytes.reserve(static_cast<std::size_t>(AEntries) * 26);
    for (int I = 0; I < AEntries; ++I) {
        Bytes += "10." + std::to_string((I >> 16) & 255) + "." + std::to_string((I >> 8) & 255) +
                 "." + std::to_string(I & 255) + "=host-" + std::to_string(I) + "\r\n";
    }
    return Bytes;
}

class TPaintClock : public QObject {
  public:
    bool Painted = false;

  protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
        if (AEvent->type() == QEvent::Paint) {
            // Let the view paint, then note that it has.
            static_cast<QWidget*>(AWatched)->removeEventFilter(this);
            QCoreApplication::sendEvent(AWatched, AEvent);
            Painted = true;
            return true;
        }
        return false;
    }
};

class TCountingProxy : public QIdentityProxyModel {
  public:
    mutable long Calls = 0;
    QVariant data(const QModelIndex& AIndex, int ARole) const override {
        if (ARole == Qt::DisplayRole) {
            ++Calls;
        }
        return QIdentityProxyModel::data(AIndex, ARole);
    }
};

double Median(std::vector<double> AValues) {
    std::sort(AValues.begin(), AValues.end());
    return AValues[AValues.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication App(argc, argv);
    const int Entries = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int Runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string Bytes = GeneratedList(Entries);

    std::vector<double> FirstPaint;
    std::vector<double> LoadIntoGrid;
    for (int Run = 0; Run < Runs; ++Run) {
        THostGrid Grid(nullptr);
        Grid.resize(206, 148);
        QElapsedTimer Timer;
        Timer.start();
        Grid.List().Assign(Bytes);
        Grid.ListReset();
        LoadIntoGrid.push_back(Timer.nsecsElapsed() / 1e6);
        TPaintClock Clock;
        Grid.viewport()->installEventFilter(&Clock);
        Timer.restart();
        Grid.show();
        while (!Clock.Painted) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        FirstPaint.push_back(Timer.nsecsElapsed() / 1e6);
    }

    // Cells asked for while paging through the list: a view that touched every row would
    // ask for millions.
    THostGrid Grid(nullptr);
    Grid.resize(206, 148);
    Grid.List().Assign(Bytes);
    Grid.ListReset();
    TCountingProxy Proxy;
    Proxy.setSourceModel(Grid.model());
    Grid.setModel(&Proxy);
    Grid.show();
    QCoreApplication::processEvents();
    const int Pages = 200;
    Proxy.Calls = 0;
    QScrollBar* Bar = Grid.verticalScrollBar();
    for (int Page = 1; Page <= Pages; ++Page) {
        Bar->setValue(Bar->maximum() / Pages * Page);
        Grid.viewport()->repaint();
    }
    const int VisibleCells = (Grid.viewport()->height() / THostGrid::RowHeight + 1) * 2;

    std::printf("grid over %d entries (%.1f MB), %d runs, offscreen\n", Entries, Bytes.size() / 1e6,
                Runs);
    std::printf("  list into the grid (assign + reset): median %8.1f ms\n", Median(LoadIntoGrid));
    std::printf("  show to first painted frame:         median %8.1f ms   (target <= 50 ms)\n",
                Median(FirstPaint));
    std::printf("  cells asked per page while scrolling: %6.1f   (visible cells %d)\n",
                static_cast<double>(Proxy.Calls) / Pages, VisibleCells);
    return 0;
}
