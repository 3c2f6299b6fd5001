#pragma once

#include <QString>
#include <QWidget>
#include <functional>

using TNotifyEvent = std::function<void(QObject* ASender)>;

// A windowless control: a non-native child that never fills its background,
// so it paints over whatever its parent painted beneath it, and never takes
// the keyboard focus. Qt stacks a later-created sibling above an earlier one,
// for painting and for the mouse alike.
class TGraphicControl : public QWidget {
    Q_OBJECT

  public:
    explicit TGraphicControl(QWidget* AParent);

    // Press and release of the left button inside the control; the sender is
    // the control.
    TNotifyEvent OnClick;

    QString Hint() const { return FHint; }
    void SetHint(const QString& AValue);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool AValue);

  protected:
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;
    virtual void Click();

  private:
    void UpdateToolTip();

    QString FHint;
    bool FShowHint = false;
    bool FPressed = false;
};
