// The run's answers: echo replies, neighbour entries, TCP outcomes, and
// what makes them evidence that a host is up now.
#include <linux/neighbour.h>

#include "discovery/EchoMessage.h"
#include "discovery/ProbeRun.h"

namespace probe {

void CRun::OnEchoReply(uint32_t dwFrom, const uint8_t* pData, size_t nLength, int64_t nNowUs)
{
    const auto range = m_byAddr.equal_range(dwFrom);
    for (auto it = range.first; it != range.second; ++it) {
        CUnit& unit = m_units[it->second];
        if (IsFinal(unit.state) || unit.state == EUnit::Planned)
            continue;
        for (size_t n = 0; n < unit.echoes.size(); ++n) {
            const auto [nSeq, nSentUs] = unit.echoes[n];
            if (IsEchoReplyFor(pData, nLength, m_sockets.IsRawEcho(), m_nIdentifier, nSeq))
                return MarkUp(unit, EProbeHow::Echo, nNowUs,
                              static_cast<double>(nNowUs - nSentUs) / 1000.0, static_cast<int>(n));
        }
    }
}

void CRun::OnTcpOutcome(size_t nUnit, bool bAnswered, int64_t nNowUs)
{
    CUnit& unit = m_units[nUnit];
    if (bAnswered && !IsFinal(unit.state))
        MarkUp(unit, EProbeHow::Tcp, nNowUs, static_cast<double>(nNowUs - unit.nSentUs) / 1000.0,
               unit.result.nProbe);
}

void CRun::SeeRow(const CNeighbourRow& row, int64_t nNowUs, bool bNotified)
{
    const auto range = m_byAddr.equal_range(row.dwAddr);
    for (auto it = range.first; it != range.second; ++it) {
        CUnit& unit = m_units[it->second];
        if (!unit.bOnLink || (unit.nLinkIndex != 0 && row.dwIndex != unit.nLinkIndex))
            continue;
        unit.bHasEntry = true;
        unit.wEntryState = row.wState;
        const bool bAddress =
            row.dwPhysAddrLen > 0 && !(row.wState & (NUD_FAILED | NUD_INCOMPLETE));
        if (bAddress) {
            unit.result.strMac = NeighbourMacText(row);
            unit.result.bOtherMac = !unit.strMac.empty() && unit.result.strMac != unit.strMac;
        }
        if (IsFinal(unit.state))
            continue;
        // When the kernel last heard from the host.
        const int64_t nConfirmedUs = row.dwConfirmedAgoMs == kNeverConfirmed
            ? INT64_MIN
            : nNowUs - int64_t{row.dwConfirmedAgoMs} * 1000;
        if (m_options.bUntilSettled) {
            // Discovery reads the table: a settled entry is all it waits for.
            if (IsNeighbourSettled(row) && (unit.state != EUnit::Planned || !bNotified)) {
                if (unit.state == EUnit::Planned)
                    Ask(unit, nNowUs);  // it is asked all the same, as the host is
                unit.result.how = EProbeHow::Neighbour;
                Decide(unit, bAddress ? EUnit::Up : EUnit::Down);
            }
        } else if (m_options.bOnLinkOnly && IsNeighbourUp(row) &&
                   (unit.state != EUnit::Planned || !bNotified)) {
            // A scan takes a host that answered a moment ago; it is asked all
            // the same, as every host is.
            if (unit.state == EUnit::Planned)
                Ask(unit, nNowUs);
            MarkUp(unit, EProbeHow::Neighbour, nNowUs, -1, unit.result.nProbe);
        } else if (unit.state == EUnit::Asked || unit.state == EUnit::Resting) {
            Evidence(unit, row, nConfirmedUs, nNowUs);
        }
    }
}

// An entry confirmed after the unit's last probe left is the host's answer;
// static entries prove nothing.
void CRun::Evidence(CUnit& unit, const CNeighbourRow& row, int64_t nConfirmedUs, int64_t nNowUs)
{
    const uint16_t wAnswered = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE;
    if (!(row.wState & wAnswered) || row.dwPhysAddrLen == 0 || nConfirmedUs < unit.nSentUs ||
        unit.nEvidenceUs >= 0)
        return;
    if (unit.result.bOtherMac)
        return;  // another machine answers for the address: not the host
    const double dRttMs = static_cast<double>(nConfirmedUs - unit.nSentUs) / 1000.0;
    if (!unit.bEcho)
        return MarkUp(unit, EProbeHow::Neighbour, nNowUs, dRttMs, unit.result.nProbe);
    unit.nEvidenceUs = nNowUs;
    unit.dEvidenceRttMs = dRttMs;
    Schedule(unit, nNowUs + kEchoGraceUs);
}

void CRun::MarkUp(CUnit& unit, EProbeHow how, int64_t nNowUs, double dRttMs, int nProbe)
{
    unit.result.how = how;
    unit.result.dRttMs = dRttMs;
    unit.result.nUpAtMs = (nNowUs - m_nStartUs) / 1000;
    unit.result.nProbe = nProbe;
    Decide(unit, EUnit::Up);
    if (m_options.onUp)
        for (const size_t i : unit.targets)
            m_options.onUp(i, (*m_pResults)[i]);
}

}  // namespace probe
