#pragma once

#include "link/ControllerLink.h"

#include <QHostAddress>
#include <QString>

#include <chrono>

namespace heliotrope::app {

// What the window tells the operator when the controller link does not open
// or does not send, worded from the reason the link gives. A message names
// the box at fault by the caption the operator sees beside it.

// The captions of the controller's two boxes; the port's holds an
// ideographic space.
inline const QString kAddressBoxCaption = QStringLiteral("アンテナコントローラ IP");
inline const QString kPortBoxCaption = QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)");

enum class ControllerBox { None,
                           Address,
                           Port };

// The box whose text caused the problem; None for the system's own refusals.
ControllerBox boxAtFault(link::ControllerLink::OpenProblem problem);

// hostText and portText are the boxes' texts as they were when the start was
// pressed; lookupBound is how long the name server was given.
QString openProblemText(link::ControllerLink::OpenProblem problem, const QString& hostText, const QString& portText,
                        std::chrono::milliseconds lookupBound);

// The tooltip of the controller's boxes after a failed send; empty for None.
QString sendProblemText(link::ControllerLink::SendProblem problem, const QHostAddress& controller, quint16 port);

}  // namespace heliotrope::app
