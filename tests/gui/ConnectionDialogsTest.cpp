// The Options and Select Connection dialogs driven through their widgets, in both languages,
// and the Com commands that show them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "GuiFixture.h"
#include "app/Language.h"
#include "app/Menus.h"
#include "app/PelinDoc.h"
#include "gui/OptionsDialog.h"
#include "gui/SelectConnectionDialog.h"
#include "gui/WhenModal.h"

namespace tavrin {
namespace {

using Items = std::vector<std::string>;

ConnectionEntry Entry(const std::string& item, int order) {
    ConnectionEntry e;
    e.Item = item;
    e.Order = order;
    e.IsTcp = item.compare(0, 3, "COM") == 0 ? 0 : 1;
    return e;
}

Items ItemsOf(const std::vector<ConnectionEntry>& list) {
    Items out;
    for (const auto& e : list) out.push_back(e.Item + "=" + std::to_string(e.Order));
    return out;
}

Items ListTexts(QListWidget* list) {
    Items out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
    return out;
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

bool HasLabel(QWidget* parent, const char* text) {
    for (QLabel* label : parent->findChildren<QLabel*>())
        if (label->text() == QString::fromUtf8(text)) return true;
    return false;
}

// Restores the process-wide language and remembered tab a test changes.
struct Restore {
    int savedLanguage = CurrentLanguage();
    int savedTab = COptionsModel::rememberedTab;
    ~Restore() {
        SetCurrentLanguage(savedLanguage);
        COptionsModel::rememberedTab = savedTab;
    }
};

struct Captions {
    int language;
    const char* title;
    std::vector<const char*> labels;
    std::vector<std::pair<const char*, const char*>> buttons;
};

const Captions kOptionsCaptions[] = {
    {1,
     "Options",
     {"Port", "Baud Rate", "Data Bits", "Stop Bits", "Parity", "IP Address", "Port No", "Name"},
     {{"comAdd", "Add"},
      {"comInsert", "Insert"},
      {"comEdit", "Edit"},
      {"comDelete", "Delete"},
      {"tcpAdd", "Add"},
      {"tcpDelete", "Delete"},
      {"ok", "OK"},
      {"cancel", "Cancel"}}},
    {0,
     "接続設定",
     {"ポート", "ボーレート", "データビット", "ストップビット", "パリティ", "IPアドレス", "ポート番号",
      "名称"},
     {{"comAdd", "追加"},
      {"comInsert", "挿入"},
      {"comEdit", "変更"},
      {"comDelete", "削除"},
      {"tcpInsert", "挿入"},
      {"tcpEdit", "変更"},
      {"ok", "OK"},
      {"cancel", "キャンセル"}}},
};

TEST(ConnectionDialogsTest, OptionsAddsASerialAndATcpConnectionInEitherLanguage) {
    for (const Captions& c : kOptionsCaptions) {
        SCOPED_TRACE(c.title);
        Restore restore;
        SetCurrentLanguage(c.language);
        COptionsModel::rememberedTab = 0;
        CPelinDoc doc;
        doc.connections = {Entry("10.0.0.1:23:a", 0), Entry("COM1:9600:8:2:none", 1)};
        COptionsDlg dialog(doc, 4);
        std::vector<QString> messages;
        dialog.SetMessageHandler([&](const QString& text) { messages.push_back(text); });
        dialog.show();

        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.title));
        auto* tabs = Child<QTabWidget>(&dialog, "tabs");
        ASSERT_EQ(tabs->count(), 2);
        EXPECT_EQ(tabs->tabText(0), "COM");
        EXPECT_EQ(tabs->tabText(1), "TCP/IP");
        for (const char* label : c.labels) EXPECT_TRUE(HasLabel(&dialog, label)) << label;
        for (const auto& [name, text] : c.buttons)
            EXPECT_EQ(Child<QPushButton>(&dialog, name)->text(), QString::fromUtf8(text)) << name;

        // The serial page opens on its first item; the port list is COM1 ... COM4 and the entry
        // that asks for a network serial port.
        auto* comList = Child<QListWidget>(&dialog, "comList");
        auto* port = Child<QComboBox>(&dialog, "comPort");
        auto* baud = Child<QComboBox>(&dialog, "comBaud");
        EXPECT_EQ(ListTexts(comList), Items{"COM1:9600:8:2:none"});
        EXPECT_EQ(port->count(), 5);
        EXPECT_EQ(port->currentText(), "COM1");
        EXPECT_EQ(baud->currentText(), "9600");

        // Adding the shown connection again is refused with the duplicate message.
        Child<QPushButton>(&dialog, "comAdd")->click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].toStdString(), PageMessageText(PageMessage::Duplicate, c.language));

        port->setCurrentIndex(2);
        baud->setCurrentIndex(baud->findText("19200"));
        Child<QComboBox>(&dialog, "comParity")->setCurrentIndex(2);
        Child<QPushButton>(&dialog, "comAdd")->click();
        EXPECT_EQ(ListTexts(comList), (Items{"COM1:9600:8:2:none", "COM3:19200:8:2:even"}));
        EXPECT_EQ(comList->currentRow(), 1);

        // The TCP/IP page: typed text goes through the entries' checks.
        tabs->setCurrentIndex(1);
        auto* address = Child<QLineEdit>(&dialog, "tcpAddress");
        auto* tcpPort = Child<QLineEdit>(&dialog, "tcpPort");
        auto* name = Child<QLineEdit>(&dialog, "tcpName");
        EXPECT_EQ(address->text(), "10.0.0.1");
        EXPECT_EQ(tcpPort->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        address->clear();
        QTest::keyClicks(address, "192.168.0.300");  // the last digit would make 300: refused
        EXPECT_EQ(address->text(), "192.168.0.30");
        tcpPort->clear();
        QTest::keyClicks(tcpPort, "2a3x23");
        EXPECT_EQ(tcpPort->text(), "2323");
        name->clear();
        Child<QPushButton>(&dialog, "tcpAdd")->click();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].toStdString(), PageMessageText(PageMessage::Name, c.language));
        QTest::keyClicks(name, "Arm");
        Child<QPushButton>(&dialog, "tcpAdd")->click();
        EXPECT_EQ(messages.size(), 2u);
        EXPECT_EQ(ListTexts(Child<QListWidget>(&dialog, "tcpList")),
                  (Items{"10.0.0.1:23:a", "192.168.0.30:2323:Arm"}));

        // Nothing reaches the document before OK; then serial first, recency kept, 999 for new.
        EXPECT_EQ(doc.connections.size(), 2u);
        QTest::mouseClick(Child<QPushButton>(&dialog, "ok"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(ItemsOf(doc.connections), (Items{"COM1:9600:8:2:none=1", "COM3:19200:8:2:even=999",
                                                   "10.0.0.1:23:a=0", "192.168.0.30:2323:Arm=999"}));
        EXPECT_EQ(doc.connections[1].Parity, 2);
        EXPECT_EQ(doc.connections[3].TcpPort, 2323);
    }
}

TEST(ConnectionDialogsTest, OptionsSelectionLoadsTheControlsAndCancelKeepsTheList) {
    Restore restore;
    SetCurrentLanguage(1);
    CPelinDoc doc;
    doc.connections = {Entry("COM1:9600:8:2:none", 0), Entry("COM12:256000:7:1.5:mark", 1),
                       Entry("10.0.0.1:23:a", 2), Entry("10.0.0.2:2323:b", 3)};
    const auto before = ItemsOf(doc.connections);
    COptionsDlg dialog(doc, 2);
    dialog.show();
    auto* comList = Child<QListWidget>(&dialog, "comList");
    comList->setCurrentRow(1);
    EXPECT_EQ(Child<QComboBox>(&dialog, "comPort")->currentText(), "COM12");  // the list reaches it
    EXPECT_EQ(Child<QComboBox>(&dialog, "comBaud")->currentIndex(), 13);
    EXPECT_EQ(Child<QComboBox>(&dialog, "comDataBits")->currentText(), "7");
    EXPECT_EQ(Child<QComboBox>(&dialog, "comStopBits")->currentText(), "1.5");
    EXPECT_EQ(Child<QComboBox>(&dialog, "comParity")->currentText(), "mark");
    Child<QListWidget>(&dialog, "tcpList")->setCurrentRow(1);
    EXPECT_EQ(Child<QLineEdit>(&dialog, "tcpAddress")->text(), "10.0.0.2");
    EXPECT_EQ(Child<QLineEdit>(&dialog, "tcpPort")->text(), "2323");
    EXPECT_EQ(Child<QLineEdit>(&dialog, "tcpName")->text(), "b");

    // Delete leaves nothing selected; Insert without a selection then does nothing.
    Child<QPushButton>(&dialog, "comDelete")->click();
    EXPECT_EQ(ListTexts(comList), Items{"COM1:9600:8:2:none"});
    EXPECT_TRUE(comList->selectedItems().isEmpty());
    Child<QPushButton>(&dialog, "comInsert")->click();
    EXPECT_EQ(ListTexts(comList), Items{"COM1:9600:8:2:none"});

    Child<QPushButton>(&dialog, "cancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ItemsOf(doc.connections), before);
}

TEST(ConnectionDialogsTest, OptionsRemembersTheTabForTheProcess) {
    Restore restore;
    COptionsModel::rememberedTab = 0;
    CPelinDoc doc;
    {
        COptionsDlg dialog(doc, 1);
        EXPECT_EQ(Child<QTabWidget>(&dialog, "tabs")->currentIndex(), 0);
        Child<QTabWidget>(&dialog, "tabs")->setCurrentIndex(1);
    }
    COptionsDlg again(doc, 1);
    EXPECT_EQ(Child<QTabWidget>(&again, "tabs")->currentIndex(), 1);
}

TEST(ConnectionDialogsTest, SelectConnectionChoosesAnEntryInEitherLanguage) {
    struct Case {
        int language;
        const char* title;
        const char* cancel;
    };
    const Case cases[] = {{1, "Select Connection", "Cancel"}, {0, "選択接続", "キャンセル"}};
    for (const Case& c : cases) {
        Restore restore;
        SetCurrentLanguage(c.language);
        CPelinDoc doc;
        doc.connections = {Entry("COM2:9600:8:2:none", 0), Entry("192.168.0.9:2323:Arm", 999)};
        CSelectConnDlg dialog(doc);
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(Child<QPushButton>(&dialog, "cancel")->text(), QString::fromUtf8(c.cancel));
        auto* list = Child<QListWidget>(&dialog, "connList");
        EXPECT_EQ(ListTexts(list), (Items{"COM2:9600:8:2:none", "192.168.0.9:2323:Arm"}));
        EXPECT_EQ(list->currentRow(), 0);

        // Without a selection OK does nothing and the dialog stays open.
        list->clearSelection();
        Child<QPushButton>(&dialog, "ok")->click();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(doc.isTcp, 0);

        // A double click chooses the item.
        QListWidgetItem* arm = list->item(1);
        const QPoint at = list->visualItemRect(arm).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(doc.isTcp, 1);
        EXPECT_EQ(doc.ipAddress, "192.168.0.9");
        EXPECT_EQ(doc.telnetPort, "2323");
        EXPECT_EQ(doc.tcpName, "Arm");
        EXPECT_EQ(ItemsOf(doc.connections), (Items{"192.168.0.9:2323:Arm=0", "COM2:9600:8:2:none=1"}));
    }
}

// A loopback listener that accepts whatever connects (the telnet offer is never answered).
struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
    }
    ~Listener() {
        if (fd >= 0) ::close(fd);
    }
};

TEST(ConnectionDialogsTest, TheComCommandsShowTheDialogsAndActOnTheirOk) {
    Restore restore;
    SetCurrentLanguage(1);
    testing::GuiFixture f;
    Listener listener;
    ASSERT_GT(listener.port, 0);
    const std::string target = "127.0.0.1:" + std::to_string(listener.port) + ":Sim";
    f.doc.connections = {Entry("COM1:9600:8:2:none", 0), Entry("10.0.0.1:23:a", 1)};
    EXPECT_TRUE(f.view->QueryCommand(kCmdOptions).enabled);
    EXPECT_TRUE(f.view->QueryCommand(kCmdConnectByList).enabled);

    // Options: delete the serial entry, add the listener's address; OK renumbers the recency.
    CWhenModal options(nullptr, [&](QWidget* dialog) {
        Child<QTabWidget>(dialog, "tabs")->setCurrentIndex(0);
        Child<QListWidget>(dialog, "comList")->setCurrentRow(0);
        Child<QPushButton>(dialog, "comDelete")->click();
        Child<QTabWidget>(dialog, "tabs")->setCurrentIndex(1);
        Child<QLineEdit>(dialog, "tcpAddress")->setText("127.0.0.1");
        Child<QLineEdit>(dialog, "tcpPort")->setText(QString::number(listener.port));
        Child<QLineEdit>(dialog, "tcpName")->setText("Sim");
        Child<QPushButton>(dialog, "tcpAdd")->click();
        Child<QPushButton>(dialog, "ok")->click();
    });
    f.view->OnCommand(kCmdOptions);
    ASSERT_TRUE(options.Ran());
    EXPECT_EQ(ItemsOf(f.doc.connections), (Items{"10.0.0.1:23:a=0", target + "=999"}));

    // Connect by List: choose the new entry; the terminal connects to it.
    CWhenModal select(nullptr, [&](QWidget* dialog) {
        Child<QListWidget>(dialog, "connList")->setCurrentRow(1);
        Child<QPushButton>(dialog, "ok")->click();
    });
    f.view->OnCommand(kCmdConnectByList);
    ASSERT_TRUE(select.Ran());
    // The connect runs on in the event loop.
    QDeadlineTimer connectLimit(3000);
    while (f.doc.connected == 0 && !connectLimit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(f.doc.connected, 1);
    EXPECT_EQ(f.doc.isTcp, 1);
    EXPECT_EQ(f.doc.tcpName, "Sim");
    EXPECT_EQ(ItemsOf(f.doc.connections), (Items{target + "=0", "10.0.0.1:23:a=1"}));
    EXPECT_FALSE(f.view->QueryCommand(kCmdOptions).enabled);
    EXPECT_FALSE(f.view->QueryCommand(kCmdConnectByList).enabled);

    f.view->OnCommand(kCmdDisconnect);
    EXPECT_EQ(f.doc.connected, 0);
    EXPECT_TRUE(f.view->QueryCommand(kCmdOptions).enabled);
}

}  // namespace
}  // namespace tavrin
