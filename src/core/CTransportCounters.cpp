#include "core/CTransportCounters.h"

namespace korvex {

STransportCounterValues CTransportCounters::Read() const
{
    STransportCounterValues v;
    v.strName = m_strName;
    v.nFrames = m_nFrames.load(kOrder);
    v.nOtherUnits = m_nOtherUnits.load(kOrder);
    v.nUnrecognizedBytes = m_nUnrecognizedBytes.load(kOrder);
    v.nBadFrames = m_nBadFrames.load(kOrder);
    v.nCrcFaultAnswers = m_nCrcFaultAnswers.load(kOrder);
    v.nConnections = m_nConnections.load(kOrder);
    return v;
}

void CTransportCounters::Clear()
{
    for (auto* counter : { &m_nFrames, &m_nOtherUnits, &m_nUnrecognizedBytes, &m_nBadFrames,
                           &m_nCrcFaultAnswers, &m_nConnections })
        counter->store(0, kOrder);
}

} // namespace korvex
