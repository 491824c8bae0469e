// The connection dialogs over the serial devices present: the port list names each device, a
// device without a COM name gets one when chosen, and Select Connection shows the devices.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeSerialPorts.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "app/PelinDoc.h"
#include "gui/OptionsDialog.h"
#include "gui/SelectConnectionDialog.h"
#include "link/SerialPortList.h"

namespace tavrin {
namespace {

using testing::AcmBoard;
using testing::FakeSerialPorts;
using testing::FtdiAdapter;

class SerialPortDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedLanguage = CurrentLanguage();
        SetCurrentLanguage(1);
        char pattern[] = "/tmp/tavrin-dialogs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        profile = folder + "/tavrin.ini";
        std::ofstream(profile) << "[Ports]\r\nCOM2=" << FtdiAdapter().stableName << "\r\nCOM4=/dev/gone\r\n";
        ports.ports = {FtdiAdapter(), AcmBoard()};
        SetSerialPortEnumerator(&ports);
        SetSerialPortProfile([this] { return profile; });
    }
    void TearDown() override {
        SetSerialPortEnumerator(nullptr);
        SetSerialPortProfile({});
        std::filesystem::remove_all(folder);
        SetCurrentLanguage(savedLanguage);
    }
    static std::vector<std::string> Texts(QComboBox* combo) {
        std::vector<std::string> out;
        for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i).toStdString());
        return out;
    }

    int savedLanguage = 1;
    std::string folder, profile;
    FakeSerialPorts ports;
};

TEST_F(SerialPortDialogsTest, OptionsNamesANewDeviceWhenChosenAndAddsItsConnection) {
    CPelinDoc doc;
    COptionsDlg dialog(doc, 0);
    std::vector<QString> messages;
    dialog.SetMessageHandler([&](const QString& text) { messages.push_back(text); });
    dialog.show();
    auto* port = dialog.findChild<QComboBox*>("comPort");
    ASSERT_NE(port, nullptr);
    const std::vector<std::string> expected = {
        "COM1 — (absent) — /dev/ttyS0",
        "COM2 — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0",
        "COM3 — (absent) — /dev/ttyS2",
        "COM4 — (absent) — /dev/gone",
        "(new) — Arduino SA Uno R3 7563331 — /dev/ttyACM0",
        "Network serial port…",
    };
    EXPECT_EQ(Texts(port), expected);

    port->setCurrentIndex(4);
    emit port->activated(4);
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM1", ""), AcmBoard().stableName);
    EXPECT_EQ(port->currentText().toStdString(), "COM1 — Arduino SA Uno R3 7563331 — /dev/ttyACM0");
    EXPECT_EQ(port->count(), 5);

    dialog.findChild<QPushButton*>("comAdd")->click();
    EXPECT_TRUE(messages.empty());
    auto* list = dialog.findChild<QListWidget*>("comList");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "COM1:9600:8:2:none");
    dialog.findChild<QPushButton*>("ok")->click();
    ASSERT_EQ(doc.connections.size(), 1u);
    EXPECT_EQ(doc.connections[0].Item, "COM1:9600:8:2:none");
}

TEST_F(SerialPortDialogsTest, SelectConnectionShowsTheDeviceBehindEachSerialEntry) {
    CPelinDoc doc;
    for (const char* item : {"COM2:115200:8:1:none", "COM4:9600:8:2:none", "10.0.0.2:23:Cell"}) {
        ConnectionEntry e;
        e.Item = item;
        e.IsTcp = item[0] == 'C' ? 0 : 1;
        doc.connections.push_back(e);
    }
    CSelectConnDlg dialog(doc);
    auto* list = dialog.findChild<QListWidget*>("connList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text().toStdString(),
              "COM2:115200:8:1:none — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0");
    EXPECT_EQ(list->item(1)->text().toStdString(), "COM4:9600:8:2:none — (absent)");
    EXPECT_EQ(list->item(2)->text().toStdString(), "10.0.0.2:23:Cell");
    // Choosing still sets the connection from the entry's own text.
    list->setCurrentRow(0);
    dialog.findChild<QPushButton*>("ok")->click();
    EXPECT_EQ(doc.comPort, "COM2");
    EXPECT_EQ(doc.baudRate, "115200");
}

}  // namespace
}  // namespace tavrin
