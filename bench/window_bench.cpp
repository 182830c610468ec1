// The window with a large address book: how much later it is shown with n
// hosts than with 2, in one run; then, with n hosts, a pick from the list, a
// typed character and the closing save. Needs no display (run it on Qt's
// offscreen platform) and sends nothing: no wake is ever pressed.
//   nuvik_bench_window [HOSTS] [ROUNDS]
#include <QApplication>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hosts/FileSystem.h"
#include "hosts/ProfileName.h"
#include "net/SocketLayer.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/NameBox.h"
#include "ui/qt/QtServices.h"

namespace {

using CClock = std::chrono::steady_clock;

double MsSince(CClock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(CClock::now() - t0).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A profile of n hosts as nuvik writes it, the names in no sorted order and
// in mixed case, so the name box has real sorting to do.
std::string ProfileText(size_t nHosts)
{
    std::string strText = "[list]\r\n";
    char szLine[96];
    for (size_t i = 0; i < nHosts; ++i) {
        const size_t nScrambled = (i * 7919) % (nHosts * 2 + 1);
        std::snprintf(szLine, sizeof szLine, "%zu=%s%zu 10.%zu.%zu.%zu %012zX\r\n", i,
                      i % 2 ? "Host" : "host", nScrambled, i >> 16 & 255, i >> 8 & 255, i & 255, i);
        strText += szLine;
    }
    return strText;
}

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct CRun {
    double dShownMs = 0;
    double dListMs = 0;
    double dPickMs = 0;
    double dTypeMs = 0;
    double dCloseMs = 0;
    bool bSavedInOrder = false;
};

// One window on a profile of n hosts, from the dialog's initialisation to
// its closing.
CRun RunWindow(const QString& strDir, size_t nHosts, bool bInteract)
{
    CProfileName profile{"nuvik.INI", false, (strDir + "/config").toStdString()};
    std::filesystem::create_directories(profile.strConfigDir);
    const std::string strPath = profile.strConfigDir + "/nuvik.INI";
    const std::string strProfile = ProfileText(nHosts);
    std::ofstream(strPath, std::ios::binary) << strProfile;

    CRun run;
    const CClock::time_point t0 = CClock::now();
    CPosixSocketLayer sockets;  // closing sends nothing
    CPosixFileSystem fileSystem;
    CNUVIKDlg dlg({}, CDlgServices{&sockets, nullptr, &profile, &fileSystem, ""});
    const CWindowRequest request{.pDialog = &dlg, .pszTitle = "NUVIK 1.0.3", .pszVersion = "1.0.3"};
    CMainWindow window(request);
    CQtMessageBox messages(&window, "nuvik");
    CQtFileChooser files(&window);
    dlg.AttachWindow(&window, &messages, &files);
    dlg.OnInitDialog();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not shown\n");
    run.dShownMs = MsSince(t0);

    if (bInteract) {
        CNameBox* pName = window.NameBox();
        pName->setFocus();
        CClock::time_point t = CClock::now();
        pName->showPopup();
        QCoreApplication::processEvents();
        run.dListMs = MsSince(t);
        pName->hidePopup();
        // Pick the last item: its host is looked up in the whole list.
        {
            const QSignalBlocker block(pName);
            pName->setCurrentIndex(pName->count() - 2);
        }
        t = CClock::now();
        QTest::keyClick(pName, Qt::Key_Down);
        run.dPickMs = MsSince(t);
        if (window.GetWindowText(IDC_IP) == "0.0.0.0")
            std::fprintf(stderr, "the pick filled in nothing\n");
        t = CClock::now();
        QTest::keyClick(pName, Qt::Key_X);  // a name no host has
        run.dTypeMs = MsSince(t);
        t = CClock::now();
        QTest::keyClick(&window, Qt::Key_Escape);
        run.dCloseMs = MsSince(t);
        run.bSavedInOrder = window.IsEnded() && ReadFile(strPath) == strProfile;
    }
    dlg.AttachWindow(nullptr, nullptr, nullptr);
    return run;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t nHosts = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int nRounds = argc > 2 ? std::atoi(argv[2]) : 3;
    QApplication app(argc, argv);
    QTemporaryDir dir;
    RunWindow(dir.path(), 2, false);  // Qt's own first-time costs (fonts, styles)

    std::vector<double> small, large;
    std::vector<CRun> runs;
    for (int n = 0; n < nRounds; ++n) {
        small.push_back(RunWindow(dir.path(), 2, false).dShownMs);
        runs.push_back(RunWindow(dir.path(), nHosts, true));
        large.push_back(runs.back().dShownMs);
    }
    const auto median = [&](double CRun::*pField) {
        std::vector<double> values;
        for (const CRun& run : runs)
            values.push_back(run.*pField);
        return Median(values);
    };
    const bool bSaved =
        std::all_of(runs.begin(), runs.end(), [](const CRun& run) { return run.bSavedInOrder; });
    std::printf("window shown, 2 hosts:        %8.1f ms\n", Median(small));
    std::printf("window shown, %zu hosts: %8.1f ms  (%.1f ms later; goal < 1000 ms)\n", nHosts,
                Median(large), Median(large) - Median(small));
    std::printf("with %zu hosts: list dropped down %.1f ms, pick %.1f ms, typed character %.1f ms, "
                "closing (save) %.1f ms\n",
                nHosts, median(&CRun::dListMs), median(&CRun::dPickMs), median(&CRun::dTypeMs),
                median(&CRun::dCloseMs));
    std::printf("closing saved every host in order: %s  (medians of %d rounds)\n",
                bSaved ? "yes" : "NO", nRounds);
    return bSaved ? 0 : 1;
}
