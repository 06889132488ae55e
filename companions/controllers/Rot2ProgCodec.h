#pragma once

// SPID Rot2Prog: binary frames. A command is 13 bytes: 'W', four ASCII digits
// of the azimuth (H1..H4), its pulses per degree (PH), four ASCII digits of
// the elevation (V1..V4), PV, the command byte K and a space. The digits give
// PH × (360 + degrees). K is 0x2F to turn (not answered), 0x1F to ask the
// readings, 0x0F to stop (both answered). The answer is 12 bytes: 'W', the
// azimuth's hundreds, tens, units and tenths as plain numbers 0..9 (not
// ASCII) of 360 + degrees, PH, the same four for the elevation, PV, a space.
// Hamlib's spid backend asks the readings first to learn PH and PV.

#include "companions/controllers/ProtocolCodec.h"

namespace heliotrope::controllers {

class Rot2ProgCodec : public ProtocolCodec {
public:
    // resolution: degrees per pulse, 1, 0.5, 0.2 or 0.1 (PH = PV = 1/resolution).
    explicit Rot2ProgCodec(double resolution);

    std::vector<ControllerRequest> take(const QByteArray& bytes) override;
    QByteArray answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const override;
    void reset() override { m_pending.clear(); }

private:
    ControllerRequest understood(const QByteArray& frame) const;

    int m_pulsesPerDegree;
    QByteArray m_pending;
};

}  // namespace heliotrope::controllers
