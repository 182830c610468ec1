#pragma once
// A headless stand-in for the main window's controls. It behaves like the
// real ones where the handlers depend on it: a sorted, case-insensitive name
// list, an IP address control whose blank fields read 0, a 12-character
// hardware address box. It records focus, selection and window calls, and
// can play a toolkit that notifies on programmatic changes.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/ControlServices.h"
#include "ui/Resource.h"

class CFakeControls : public IControlServices {
public:
    std::map<int, std::string> texts;      // IDC_NAME, IDC_MAC
    std::map<int, bool> enabled{{IDC_NAME, true}, {IDC_IP, true}};
    std::vector<std::string> items;        // the name box's list, sorted
    int nCurSel = CB_ERR;
    bool bIpBlank = true;
    uint32_t dwIp = 0;
    int nFocus = 0;
    int nChecked = 0;
    int nEndResult = -1;                   // -1: still open
    int nAboutBoxes = 0;
    std::vector<std::string> openedFiles;
    std::vector<std::string> cursor;       // "begin", "restore", "end"
    std::vector<int> selectedAll;
    // Called on every programmatic change of the name box's text, as a
    // toolkit that notifies would.
    std::function<void()> onNameTextSet;

    std::string GetWindowText(int nId) override
    {
        if (nId == IDC_IP) {
            const uint32_t a = GetAddress();
            char sz[16];
            std::snprintf(sz, sizeof sz, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
            return sz;
        }
        return texts[nId];
    }
    void SetWindowText(int nId, const std::string& strText) override
    {
        if (nId == IDC_IP) {
            in_addr addr{};
            bIpBlank = inet_aton(strText.c_str(), &addr) == 0;
            dwIp = bIpBlank ? 0 : ntohl(addr.s_addr);
            return;
        }
        texts[nId] = strText;
        if (nId == IDC_NAME) {
            nCurSel = CB_ERR;
            if (onNameTextSet)
                onNameTextSet();
        }
    }
    void EnableWindow(int nId, bool bEnable) override { enabled[nId] = bEnable; }
    bool IsWindowEnabled(int nId) override { return enabled[nId]; }
    void GotoDlgCtrl(int nId) override { nFocus = nId; }
    void SelectAll(int nId) override { selectedAll.push_back(nId); }
    void LimitText(int, int) override {}
    void CheckRadioButton(int, int, int nCheck) override { nChecked = nCheck; }

    int AddString(const std::string& strItem) override
    {
        auto it = std::upper_bound(items.begin(), items.end(), strItem, LessNoCase);
        return static_cast<int>(items.insert(it, strItem) - items.begin());
    }
    void AddStrings(const std::vector<std::string>& newItems) override
    {
        for (const std::string& strItem : newItems)
            AddString(strItem);
    }
    void ResetContent() override
    {
        items.clear();
        nCurSel = CB_ERR;
        texts[IDC_NAME].clear();
    }
    int GetCurSel() override { return nCurSel; }
    void DeleteString(int nIndex) override
    {
        items.erase(items.begin() + nIndex);
        if (nCurSel == nIndex)
            nCurSel = CB_ERR;
        else if (nCurSel > nIndex)
            --nCurSel;
    }
    int GetCount() override { return static_cast<int>(items.size()); }
    std::string GetLBText(int nIndex) override { return items.at(static_cast<size_t>(nIndex)); }

    void ClearAddress() override { bIpBlank = true; dwIp = 0; }
    void SetAddress(uint32_t dwAddress) override { bIpBlank = false; dwIp = dwAddress; }
    uint32_t GetAddress() override { return bIpBlank ? 0 : dwIp; }

    void EndDialog(int nResult) override { nEndResult = nResult; }
    void BeginWaitCursor() override { cursor.push_back("begin"); }
    void RestoreWaitCursor() override { cursor.push_back("restore"); }
    void EndWaitCursor() override { cursor.push_back("end"); }
    void RunAboutBox() override { ++nAboutBoxes; }
    bool OpenLocalFile(const std::string& strPath) override { openedFiles.push_back(strPath); return false; }
    void RunBlocking(const std::function<void()>& work) override { work(); }

    // The user picks item i from the list: the field shows it first.
    void Pick(int i)
    {
        nCurSel = i;
        texts[IDC_NAME] = items.at(static_cast<size_t>(i));
    }

private:
    static bool LessNoCase(const std::string& a, const std::string& b)
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};
