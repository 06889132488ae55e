#pragma once

// Yaesu GS-232A and GS-232B: ASCII commands ended by CR. "Waaa eee" turns to
// whole degrees and is not answered; "C2" is answered with both readings and
// CR LF, "C" with the azimuth; "S" stops both axes, "A" the azimuth and "E"
// the elevation. A command it cannot take is answered "?>". The two differ
// only in how the readings are written: "AZ=aaa  EL=eee" (B) or "+0aaa+0eee"
// (A), which is how Hamlib's gs232b and gs232a backends read them.

#include "companions/controllers/LineFraming.h"
#include "companions/controllers/ProtocolCodec.h"

namespace heliotrope::controllers {

class Gs232Codec : public ProtocolCodec {
public:
    enum class Reading { AzEqualsElEquals,
                         PlusZero };
    explicit Gs232Codec(Reading reading)
        : m_reading(reading)
    {
    }

    std::vector<ControllerRequest> take(const QByteArray& bytes) override;
    QByteArray answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const override;
    void reset() override { m_framing.reset(); }

private:
    Reading m_reading;
    LineFraming m_framing;
};

}  // namespace heliotrope::controllers
