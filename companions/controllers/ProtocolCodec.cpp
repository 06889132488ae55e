#include "companions/controllers/ProtocolCodec.h"

namespace heliotrope::controllers {

std::unique_ptr<ProtocolCodec> makeCodec(const ControllerModel& model)
{
    return controllerFacts(model.protocol).makeCodec(model);
}

}  // namespace heliotrope::controllers
