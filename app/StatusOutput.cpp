#include "app/StatusOutput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "base/PrintableText.h"
#include "base/Text.h"

namespace {

std::string Cell(const std::string& strText)
{
    return strText.empty() ? "-" : PrintableText(strText);
}

// The round-trip time, or why the state is unknown.
std::string LastText(const CProbeResult& result)
{
    if (result.state != EProbeState::Up)
        return result.strReason.empty() ? std::string() : "(" + result.strReason + ")";
    if (result.dRttMs < 0)
        return {};
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f ms", result.dRttMs);
    return szText;
}

}  // namespace

std::string ShownMac(const CStatusHost& host, const CProbeResult& result)
{
    return host.strMac.empty() ? result.strMac : host.strMac;
}

std::string FormatStatusTable(const std::vector<CStatusHost>& hosts,
                              const std::vector<CProbeResult>& results)
{
    std::vector<std::vector<std::string>> rows;
    size_t anWidth[4] = {};
    for (size_t i = 0; i < hosts.size() && i < results.size(); ++i) {
        rows.push_back({Cell(ShownUtf8(hosts[i].strName)), Cell(hosts[i].strIp),
                        Cell(ShownMac(hosts[i], results[i])), ProbeStateName(results[i].state),
                        LastText(results[i])});
        for (size_t k = 0; k < 4; ++k)
            anWidth[k] = std::max(anWidth[k], CharacterCount(rows.back()[k]));
    }
    std::string strOut;
    for (const auto& row : rows) {
        std::string strLine;
        for (size_t k = 0; k < row.size(); ++k) {
            strLine += row[k];
            if (k < 4)
                strLine.append(anWidth[k] - CharacterCount(row[k]) + 2, ' ');
        }
        strLine.erase(strLine.find_last_not_of(' ') + 1);
        strOut += strLine + "\n";
    }
    return strOut;
}

std::string StatusJsonLine(const CStatusHost& host, const CProbeResult& result)
{
    const auto TextOrNull = [](const std::string& strText) {
        return strText.empty() ? nlohmann::ordered_json(nullptr)
                               : nlohmann::ordered_json(ShownUtf8(strText));
    };
    nlohmann::ordered_json line;
    line["name"] = ShownUtf8(host.strName);
    line["ip"] = TextOrNull(host.strIp);
    line["mac"] = TextOrNull(ShownMac(host, result));
    line["state"] = ProbeStateName(result.state);
    line["rtt_ms"] = result.dRttMs < 0
        ? nlohmann::ordered_json(nullptr)
        : nlohmann::ordered_json(
              static_cast<double>(static_cast<int64_t>(result.dRttMs * 10 + 0.5)) / 10);
    line["how"] = TextOrNull(ProbeHowName(result.how));
    line["reason"] = TextOrNull(result.state != EProbeState::Up ? result.strReason : std::string());
    line["held_by"] = TextOrNull(result.bOtherMac ? result.strMac : std::string());
    return JsonControlsEscaped(
               line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)) +
        "\n";
}
