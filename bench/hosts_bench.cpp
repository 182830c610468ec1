// The hosts window with a large address book, probed by the real engine: the
// time from reading the book to the window shown with every row, then the
// longest stall of the event loop while every host is probed (a 5 ms timer's
// longest lateness) with a key typed into the filter every 100 ms, sorted by
// state for the second half. Run it in
// a network namespace of its own (bench/hosts.sh does): the probes go out on
// a bridge where nobody answers.
//   nuvik_bench_hosts [HOSTS] [SECONDS]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/SystemServices.h"
#include "ui/HostsBook.h"
#include "ui/qt/HostsModel.h"
#include "ui/qt/HostsWindow.h"
#include "ui/qt/QtServices.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int nHosts = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int nSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    QTemporaryDir dir;
    CProfileName profile{"nuvik.INI", false, dir.path().toStdString()};
    {
        std::ofstream book(profile.Path(), std::ios::binary);
        book << "[list]\r\n";
        for (int i = 0; i < nHosts; ++i)
            book << i << "=host" << i << " 10.80." << (1 + i / 250) << "." << (1 + i % 250)
                 << " 02AB" << std::hex << 0x10000000 + i << std::dec << "\r\n";
    }
    CSystemServices system("nuvik");
    const CAppServices& services = system.Services();
    CHostsServices hosts{services.pSockets, &profile, services.pFiles, services.makeProbeKit};
    hosts.nowMs = services.nowMs;
    hosts.wake.pfnPause = services.pfnPause;

    QElapsedTimer clock;
    clock.start();
    CHostsBook book(std::move(hosts));
    book.Load();
    CHostsWindow window(book, "NUVIK Hosts");
    CQtMessageBox messages(&window, "nuvik");
    book.Attach(&window, &messages);
    window.Reload();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window) || window.Model()->rowCount() != nHosts)
        return std::fprintf(stderr, "the window did not show %d rows\n", nHosts), 1;
    const double dOpenMs = clock.nsecsElapsed() / 1e6;

    // The event loop's longest stall while the hosts are probed and a user
    // types into the filter.
    qint64 nLastNs = clock.nsecsElapsed(), nWorstNs = 0;
    int nKeys = 0;
    QTimer tick, typing;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nNowNs = clock.nsecsElapsed();
        nWorstNs = std::max(nWorstNs, nNowNs - nLastNs - 5000000);
        nLastNs = nNowNs;
    });
    QObject::connect(&typing, &QTimer::timeout, [&] {
        QTest::keyClick(window.FilterBox(), nKeys++ % 8 == 7 ? Qt::Key_Backspace : Qt::Key_9);
        if (nKeys % 40 == 0)
            window.FilterBox()->clear();
    });
    tick.start(5);
    typing.start(100);
    // Halfway, sorted by state: every change of state moves rows.
    QTimer::singleShot(nSeconds * 500, [&] {
        window.Table()->sortByColumn(CHostsModel::State, Qt::AscendingOrder);
    });
    QTimer::singleShot(nSeconds * 1000, &app, &QApplication::quit);
    app.exec();
    int nProbed = 0;
    for (const CHostRow& row : book.Rows())
        nProbed += row.state != EHostState::Unknown;
    book.Attach(nullptr, nullptr);
    std::printf("hosts %d: window shown with every row after %.0f ms\n", nHosts, dOpenMs);
    std::printf("%d s of probing (%d of %d hosts probed), %d keys typed: longest event-loop "
                "stall %.1f ms\n",
                nSeconds, nProbed, nHosts, nKeys, nWorstNs / 1e6);
    return 0;
}
