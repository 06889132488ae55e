#include "companions/controllers/ProtocolCodec.h"

#include "companions/controllers/EasyCommCodec.h"
#include "companions/controllers/Gs232Codec.h"
#include "companions/controllers/Rot2ProgCodec.h"

namespace heliotrope::controllers {

std::unique_ptr<ProtocolCodec> makeCodec(const ControllerModel& model)
{
    switch (model.protocol) {
    case ControllerProtocol::Gs232A:
        return std::make_unique<Gs232Codec>(Gs232Codec::Reading::PlusZero);
    case ControllerProtocol::Gs232B:
        return std::make_unique<Gs232Codec>(Gs232Codec::Reading::AzEqualsElEquals);
    case ControllerProtocol::EasyComm2:
        return std::make_unique<EasyCommCodec>();
    case ControllerProtocol::Rot2Prog:
        return std::make_unique<Rot2ProgCodec>(model.resolution);
    }
    return nullptr;
}

}  // namespace heliotrope::controllers
