// The hosts window on Qt's offscreen platform, with the real hosts book
// behind it, its prober and waker on a simulated link whose hosts the test
// turns on, and a clock the test moves.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <mutex>
#include <sstream>

#include "../fakes/FakeNet.h"
#include "../fakes/FakeSockets.h"
#include "base/MacText.h"
#include "hosts/FileSystem.h"
#include "ui/HostsBook.h"
#include "ui/MessageBox.h"
#include "ui/qt/HostsModel.h"
#include "ui/qt/HostsWindow.h"

namespace {

std::mutex g_mutex;
std::map<std::string, CFakeNet::CHost> g_lan;  // the hosts that answer now
std::atomic<int64_t> g_nNowMs = 1000000;

// A kit on the simulated link, which reads the test's hosts at each send.
struct CLanKit : CProbeKit, CFakeNet {
    CLanKit() { pPlatform = this, pRoutes = this, pNeighbours = this; }
    int SendTo(int h, const std::vector<uint8_t>& data, uint32_t dwAddr, uint16_t nPort,
               unsigned nIf) override
    {
        std::lock_guard lock(g_mutex);
        hosts = g_lan;
        return CFakeNet::SendTo(h, data, dwAddr, nPort, nIf);
    }
    int LinkAddresses(std::vector<CLinkAddress>& links) override
    {
        return links = {{2, "eth0", inet_addr("10.0.0.1"), 28}}, 0;
    }
};

struct CAnswers : IMessageBox {
    ESaveChoice answer = ESaveChoice::StayOpen;
    int nAsked = 0;
    void MessageBox(const std::string&) override { }
    ESaveChoice AskSave(ESaveQuestion, const std::string&) override { return ++nAsked, answer; }
};

std::string FileText(const std::string& strPath)
{
    std::ostringstream text;
    text << std::ifstream(strPath, std::ios::binary).rdbuf();
    return text.str();
}

}  // namespace

class TestHosts : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    CFakeSocketLayer m_sockets;
    CPosixFileSystem m_files;
    CProfileName m_profile;
    std::unique_ptr<CHostsBook> m_pBook;
    std::unique_ptr<CHostsWindow> m_pWindow;
    CAnswers m_messages;

    QAbstractItemModel& Shown() { return *m_pWindow->Table()->model(); }
    int RowOf(const QString& strName)
    {
        for (int i = 0; i < Shown().rowCount(); ++i)
            if (Shown().index(i, CHostsModel::Name).data().toString() == strName)
                return i;
        return -1;
    }
    QString Cell(const QString& strName, int nColumn)
    {
        return Shown().index(RowOf(strName), nColumn).data().toString();
    }
    uint64_t IdOf(const QString& strName)
    {
        return Shown().index(RowOf(strName), 0).data(CHostsModel::kIdRole).toULongLong();
    }
    QStringList Names()
    {
        QStringList names;
        for (int i = 0; i < Shown().rowCount(); ++i)
            names << Shown().index(i, CHostsModel::Name).data().toString();
        return names;
    }
    QString Status() { return m_pWindow->StatusLine(); }

private slots:
    void init()
    {
        m_profile = {"nuvik.INI", false, m_dir.path().toStdString()};
        std::ofstream(m_profile.Path(), std::ios::binary)
            << "[list]\r\n0=nas 10.0.0.2 001122334455\r\n1=pc2 10.0.0.12 "
               "00-11-22-33-44-12\r\n2=printer 10.0.1.1 0800271A2B3C\r\n";
        g_lan = {{"10.0.0.2", {}}};
        CHostsServices services{&m_sockets, &m_profile, &m_files};
        services.makeProbeKit = [] { return std::make_unique<CLanKit>(); };
        services.nowMs = [] { return g_nNowMs.load(); };
        services.reverseLookup = [](uint32_t, std::string&) { return false; };
        m_pBook = std::make_unique<CHostsBook>(std::move(services));
        QVERIFY(m_pBook->Load().Ok());
        m_pWindow = std::make_unique<CHostsWindow>(*m_pBook, "NUVIK Hosts");
        m_pBook->Attach(m_pWindow.get(), &m_messages);
        m_pWindow->Reload();
        m_pWindow->show();
        QTRY_COMPARE(Cell("pc2", CHostsModel::State), "down");
    }
    void cleanup()
    {
        m_pBook->Attach(nullptr, nullptr);
        m_pWindow.reset();
        m_pBook.reset();
        m_sockets.sends.clear();
    }

    void showsSortsAndFilters()
    {
        QCOMPARE(Cell("nas", CHostsModel::State), "up (echo)");
        QCOMPARE(Cell("pc2", CHostsModel::Hardware), "00:11:22:33:44:12");
        const struct {
            int nColumn;
            Qt::SortOrder order;
            QStringList names;
        } sorts[] = {
            {CHostsModel::Address, Qt::AscendingOrder, {"nas", "pc2", "printer"}},
            {CHostsModel::Name, Qt::DescendingOrder, {"printer", "pc2", "nas"}},
        };
        for (const auto& sort : sorts) {
            m_pWindow->Table()->sortByColumn(sort.nColumn, sort.order);
            QCOMPARE(Names().join(' '), sort.names.join(' '));
        }
        for (const auto& [strFilter, names] : {std::pair{"44:12", QStringList{"pc2"}},
                                               {"PRINT", {"printer"}},
                                               {"0.1", {"printer", "pc2"}},
                                               {"up", {"nas"}}}) {
            QTest::keyClicks(m_pWindow->FilterBox(), strFilter);
            QCOMPARE(Names(), names);  // by name, descending
            m_pWindow->FilterBox()->clear();
        }
    }

    // Woken hosts wait until they answer or their time is up, and never
    // flip back in between.
    void wakesSeveralAndWatchesThem()
    {
        m_pWindow->Table()->selectRow(RowOf("pc2"));
        m_pWindow->Table()->selectionModel()->select(Shown().index(RowOf("printer"), 0),
                                                     QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
        m_pWindow->Action("wake")->trigger();
        std::vector<std::string> sent;  // each datagram's hardware address
        for (const auto& send : m_sockets.sends)
            sent.push_back(MacBytesText(send.data.data() + 6, 6));
        QCOMPARE(sent, (std::vector<std::string>{"001122334412", "0800271A2B3C"}));
        QTRY_COMPARE(Status(), "pc2 and printer: sent");
        QTRY_COMPARE(Cell("printer", CHostsModel::State), "waking 0 s");
        {
            std::lock_guard lock(g_mutex);
            g_lan["10.0.0.12"] = {};
        }
        g_nNowMs += 7000;
        QTRY_COMPARE(Cell("pc2", CHostsModel::State), "up (echo)");
        QTRY_COMPARE(Status(), "pc2: up 7 s after the wake");
        m_pWindow->Model()->Tick(g_nNowMs);
        QCOMPARE(Cell("printer", CHostsModel::State), "waking 7 s");
        g_nNowMs += kWakingMs;
        QTRY_COMPARE(Cell("printer", CHostsModel::State), "down");
        QTRY_COMPARE(Status(), "printer: no answer 120 s after the wake");
    }

    void editsAreSavedAndTheBookIsFollowed()
    {
        const std::string strBefore = FileText(m_profile.Path());
        std::string strError;
        for (const auto& [pszName, pszIp, pszMac] :
             {std::tuple{"pc2", "10.0.0.300", "001122334412"},
              {"NAS", "10.0.0.12", "001122334412"},
              {"pc2", "10.0.0.12", "0011.2233.44"},
              {" ", "", "001122334412"}}) {
            QVERIFY(!m_pBook->Edit(IdOf("pc2"), pszName, pszIp, pszMac, strError));
            QVERIFY(!strError.empty());
        }
        QCOMPARE(FileText(m_profile.Path()), strBefore);

        QVERIFY2(m_pBook->Edit(IdOf("pc2"), "pc 2", "", "aa:bb:cc:dd:ee:ff", strError),
                 strError.c_str());
        QTRY_COMPARE(Status(), "pc2: saved");
        QVERIFY(FileText(m_profile.Path()).find("1=pc2 0.0.0.0 AABBCCDDEEFF\r\n") !=
                std::string::npos);
        // Deleted only when the user agrees.
        m_pWindow->Table()->selectRow(RowOf("printer"));
        QTimer no;  // the question's answer: closed, so no
        no.callOnTimeout([] {
            if (QWidget* pBox = QApplication::activeModalWidget())
                pBox->close();
        });
        no.start(50);
        m_pWindow->Action("delete")->trigger();
        QVERIFY(FileText(m_profile.Path()).find("printer") != std::string::npos);
        m_pBook->Delete({IdOf("printer")});
        QTRY_COMPARE(Status(), "printer: deleted from the address book");
        QVERIFY(FileText(m_profile.Path()).find("printer") == std::string::npos);

        // Another program's change: read again, the states kept, also of a
        // host it renamed. Hidden, so that no probe comes in between.
        m_pBook->SetShown(false);
        std::ofstream(m_profile.Path(), std::ios::binary)
            << "[list]\r\n0=files 10.0.0.2 001122334455\r\n1=pc2 0.0.0.0 AABBCCDDEEFF\r\n"
               "2=tv 10.0.0.40 0A0B0C0D0E0F\r\n[other]\r\nkeep=1\r\n";
        m_pBook->CheckBook();
        std::vector<CHostRow> rows = m_pBook->Rows();
        QCOMPARE(rows.size(), 3u);
        QCOMPARE(rows[0].strName + " " + std::to_string(int(rows[0].state)),
                 "files " + std::to_string(int(EHostState::Up)));

        // What the list does not carry is kept unless the user agrees.
        const std::string strOther = FileText(m_profile.Path());
        QVERIFY(m_pBook->Edit(rows[2].nId, "tv", "10.0.0.41", "0A0B0C0D0E0F", strError));
        QTRY_VERIFY(Status().startsWith("tv: not saved, so not done: "));
        QCOMPARE(FileText(m_profile.Path()), strOther);
        QCOMPARE(m_messages.nAsked, 1);
        QCOMPARE(m_pBook->Rows()[2].strIp, "10.0.0.40");
    }
};

QTEST_MAIN(TestHosts)
#include "test_hosts.moc"
