#pragma once

// EasyComm II: ASCII words separated by spaces, a line ended by LF (CR taken
// too). "AZ166.7 EL31.5" turns to tenths of a degree and is not answered;
// "AZ EL" asks both readings, answered on one line "AZ166.7 EL31.5" and LF,
// as Hamlib's easycomm backend reads them; "SA SE" stops. Words it does not
// know are passed over, as the protocol has no refusal to give.

#include "companions/controllers/LineFraming.h"
#include "companions/controllers/ProtocolCodec.h"

namespace heliotrope::controllers {

class EasyCommCodec : public ProtocolCodec {
public:
    std::vector<ControllerRequest> take(const QByteArray& bytes) override;
    QByteArray answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const override;
    void reset() override { m_framing.reset(); }

private:
    LineFraming m_framing;
};

}  // namespace heliotrope::controllers
