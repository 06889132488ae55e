#include "app/observatories/ObservatoryCombo.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace heliotrope::app {

// The combo's line edit, which marks the moments when QComboBox turns typed
// text into an activation of its own (focus leaving the box, Enter).
class ObservatoryLineEdit final : public QLineEdit {
public:
    explicit ObservatoryLineEdit(ObservatoryCombo* combo)
        : QLineEdit(combo)
        , m_combo(combo)
    {
    }

protected:
    void focusOutEvent(QFocusEvent* event) override
    {
        ++m_combo->m_typingGuard;
        QLineEdit::focusOutEvent(event);
        --m_combo->m_typingGuard;
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const bool finishes = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (finishes)
            ++m_combo->m_typingGuard;
        QLineEdit::keyPressEvent(event);
        if (finishes)
            --m_combo->m_typingGuard;
    }

private:
    ObservatoryCombo* m_combo;
};

ObservatoryCombo::ObservatoryCombo(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setLineEdit(new ObservatoryLineEdit(this));
    // Enter must not add the typed text to the list, and inline completion
    // must not turn a typed "東" into "東京" behind the operator's back.
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(10);

    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit typed(); });
    connect(this, &QComboBox::activated, this, &ObservatoryCombo::onActivated);
}

void ObservatoryCombo::onActivated(int)
{
    if (m_typingGuard > 0)
        return;
    emit picked();
}

}  // namespace heliotrope::app
