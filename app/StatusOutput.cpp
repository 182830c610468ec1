#include "app/StatusOutput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "ui/PrintableText.h"

namespace {

// Characters on screen of a printable UTF-8 text.
size_t Width(const std::string& strText)
{
    return static_cast<size_t>(std::count_if(strText.begin(), strText.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string Cell(const std::string& strText)
{
    return strText.empty() ? "-" : PrintableText(strText);
}

// The round-trip time, or why the state is unknown.
std::string LastText(const CProbeResult& result)
{
    if (result.state == EProbeState::Unknown)
        return result.strReason.empty() ? std::string() : "(" + result.strReason + ")";
    if (result.dRttMs < 0)
        return {};
    char szText[32];
    std::snprintf(szText, sizeof szText, "%.1f ms", result.dRttMs);
    return szText;
}

}  // namespace

std::string ShownUtf8(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    bool bUtf8 = true;
    for (size_t i = 0; i < text.size() && bUtf8;) {
        const size_t n =
            static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8SequenceLength(text, i);
        bUtf8 = n != 0;
        i += n;
    }
    if (bUtf8)
        return std::string(text);
    std::string strOut;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            strOut += c;
        } else {
            strOut += static_cast<char>(0xC0 | b >> 6);
            strOut += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return strOut;
}

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
            anWidth[k] = std::max(anWidth[k], Width(rows.back()[k]));
    }
    std::string strOut;
    for (const auto& row : rows) {
        std::string strLine;
        for (size_t k = 0; k < row.size(); ++k) {
            strLine += row[k];
            if (k < 4)
                strLine.append(anWidth[k] - Width(row[k]) + 2, ' ');
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
    line["reason"] =
        TextOrNull(result.state == EProbeState::Unknown ? result.strReason : std::string());
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
