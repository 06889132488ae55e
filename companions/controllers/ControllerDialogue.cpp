#include "companions/controllers/ControllerDialogue.h"

namespace heliotrope::controllers {

ControllerDialogue::ControllerDialogue(const ControllerModel& model, const MotionSettings& motion, ControllerAngles start, long long nowMs)
    : m_model(model)
    , m_codec(makeCodec(model))
    , m_rotator(motion.azimuthRate, motion.elevationRate, motion.deadBand, start, nowMs)
{
}

void ControllerDialogue::fail(RotatorFault fault, long long nowMs)
{
    if (fault == m_fault)
        return;
    if (fault == RotatorFault::Frozen)
        m_frozenReading = reading(nowMs);
    if (fault == RotatorFault::Stuck) {
        m_stuckTarget = m_rotator.target();
        m_rotator.stop(nowMs);
    } else if (m_fault == RotatorFault::Stuck) {
        m_rotator.setTarget(m_stuckTarget, nowMs);
    }
    m_fault = fault;
}

ControllerAngles ControllerDialogue::reading(long long nowMs)
{
    if (m_fault == RotatorFault::Frozen)
        return m_frozenReading;
    const ControllerAngles standing = m_rotator.position(nowMs);
    return {roundToStep(standing.azimuth, m_model.resolution), roundToStep(standing.elevation, m_model.resolution)};
}

std::vector<Exchange> ControllerDialogue::receive(const QByteArray& bytes, long long nowMs)
{
    std::vector<Exchange> exchanges;
    for (const ControllerRequest& request : m_codec->take(bytes))
        exchanges.push_back(handle(request, nowMs));
    return exchanges;
}

Exchange ControllerDialogue::handle(const ControllerRequest& request, long long nowMs)
{
    Exchange exchange;
    exchange.request = request;
    switch (request.kind) {
    case ControllerRequest::Kind::SetPoint: {
        const ControllerAngles current = m_fault == RotatorFault::Stuck ? m_stuckTarget : m_rotator.target();
        exchange.commanded = {request.azimuth.value_or(current.azimuth), request.elevation.value_or(current.elevation)};
        exchange.withinLimits = m_model.azimuth.contains(exchange.commanded.azimuth) && m_model.elevation.contains(exchange.commanded.elevation);
        exchange.refused = !exchange.withinLimits && !m_model.clampsOutsideLimits;
        if (exchange.refused) {
            exchange.target = current;
            break;
        }
        // Rounded first, then held within the limits, so that a limit that
        // is not a multiple of the step is never passed.
        exchange.target = {m_model.azimuth.clamp(roundToStep(exchange.commanded.azimuth, m_model.resolution)),
                           m_model.elevation.clamp(roundToStep(exchange.commanded.elevation, m_model.resolution))};
        // Taken and answered as ever; a stuck rotator's motors do not turn.
        if (m_fault == RotatorFault::Stuck)
            m_stuckTarget = exchange.target;
        else
            m_rotator.setTarget(exchange.target, nowMs);
        break;
    }
    case ControllerRequest::Kind::Stop:
        m_rotator.stop(nowMs);
        break;
    case ControllerRequest::Kind::Query:
    case ControllerRequest::Kind::Ignored:
    case ControllerRequest::Kind::Unknown:
        break;
    }
    exchange.answer = m_codec->answer(request, reading(nowMs), exchange.refused);
    return exchange;
}

}  // namespace heliotrope::controllers
