#pragma once

#include <QComboBox>

namespace heliotrope::app {

// The editable list of observation points. It tells a pick from the list apart
// from typing, which a plain QComboBox does not:
//  - picked() when the operator chooses an entry from the open list, or steps
//    through the entries with the arrow keys or the wheel;
//  - typed() when the edit text changes by a keystroke, a paste or an
//    input-method commit (so composing "東京" with the Japanese input method
//    counts, once per commit).
// A pick also changes the edit text, but that is not reported as typing. And
// the activation a plain QComboBox raises on its own when typed text happens to
// equal an entry (on leaving the box, pressing Enter or opening the list) is
// not reported as a pick: the operator typed that text, they did not pick it.
class ObservatoryCombo : public QComboBox {
    Q_OBJECT
public:
    explicit ObservatoryCombo(QWidget* parent = nullptr);

signals:
    void picked();
    void typed();

private:
    void onActivated(int index);

    int m_typingGuard = 0;  // > 0 while the line edit finishes typed text
    friend class ObservatoryLineEdit;
};

}  // namespace heliotrope::app
