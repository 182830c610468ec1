#pragma once
// The main dialog, headless: fake controls, sockets, file chooser, message
// boxes and lookup services, and a profile in a fresh directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fakes/FakeControls.h"
#include "fakes/FakeDiscovery.h"
#include "fakes/FakeFileChooser.h"
#include "fakes/FakeSocketLayer.h"
#include "fakes/RecordingMessageBox.h"
#include "fakes/TempDir.h"
#include "hosts/ProfileName.h"
#include "ui/NUVIKDlg.h"

class CDialogFixture : public ::testing::Test {
protected:
    CTempDir dir;
    CFakeSocketLayer sockets;
    CRecordingMessageBox messages;
    CFakeControls controls;
    CFakeFileChooser files;
    CFakeResolver resolver;
    CFakeEcho echo;
    CFakeNeighbours neighbours;
    CProfileName profile{"nuvik.INI", false, dir / "config"};
    std::unique_ptr<CNUVIKDlg> dlg;

    // Opens the dialog on a profile holding strProfileBytes (no file when empty).
    void Open(const std::string& strProfileBytes = "")
    {
        if (!strProfileBytes.empty()) {
            std::filesystem::create_directories(profile.strConfigDir);
            WriteBytes(ProfilePath(), strProfileBytes);
        }
        dlg = std::make_unique<CNUVIKDlg>(std::vector<std::string>{},
                                          CDlgServices{&sockets, nullptr, &profile, dir / "help.html",
                                                       &resolver, &echo, &neighbours});
        dlg->AttachWindow(&controls, &messages, &files);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    std::string ProfilePath() const { return profile.strConfigDir + "/nuvik.INI"; }
    std::vector<std::string> Entries() const { return {dlg->m_hosts.begin(), dlg->m_hosts.end()}; }
    void Type(int nId, const std::string& strText) { controls.texts[nId] = strText; }
    void TypeIp(const std::string& strDotted) { controls.SetWindowText(IDC_IP, strDotted); }
    void Command(int nId, int nCode = BN_CLICKED) { dlg->OnCommand(nId, nCode); }
    void ExpectBoxes(const std::string& strName, const std::string& strIp, const std::string& strMac)
    {
        EXPECT_EQ(controls.texts[IDC_NAME], strName);
        EXPECT_EQ(controls.GetWindowText(IDC_IP), strIp);
        EXPECT_EQ(controls.texts[IDC_MAC], strMac);
    }
};
