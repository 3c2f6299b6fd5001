#pragma once
// The window's key preview: it sees each key release of the controls it watches before the
// control does. A focused QLineEdit swallows releases, so the window's own handler cannot
// wait for them to reach it.
#include <QObject>
#include <functional>

class QWidget;

class TKeyPreview : public QObject {
    Q_OBJECT

  public:
    // AKey released with AShift, the modifiers still down.
    using THandler = std::function<void(int AKey, Qt::KeyboardModifiers AShift)>;

    // Watches AWindow itself, for releases while none of its controls has the focus.
    TKeyPreview(QWidget* AWindow, THandler AHandler);

    // Watches AControl and every control inside it.
    void Watch(QWidget* AControl);

  protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

  private:
    QWidget* FWindow;
    THandler FHandler;
};
