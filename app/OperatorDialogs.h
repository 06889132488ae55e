#pragma once

#include <QString>

class QWidget;

namespace heliotrope::app {

// The window's modal questions and warnings, behind one seam so that tests
// can preset the operator's answer instead of clicking a real box.
class OperatorDialogs {
public:
    virtual ~OperatorDialogs() = default;
    // "終了しますか？" with Yes/No, the question icon and No as the default
    // button. True when the operator answers Yes.
    virtual bool confirmQuit(QWidget* parent);
    // A failure the operator must acknowledge, such as a link that cannot open.
    virtual void warn(QWidget* parent, const QString& text);
};

}  // namespace heliotrope::app
