#pragma once
// The window's edit box, where the user types the host to ping.
#include <QLineEdit>

// Selects its whole text whenever it takes the focus other than by a press.
class TIpEdit : public QLineEdit {
    Q_OBJECT

  public:
    using QLineEdit::QLineEdit;
    void SetBackground(const QColor& AColour);

  protected:
    void focusInEvent(QFocusEvent* AEvent) override;
};
