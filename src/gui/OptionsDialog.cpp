#include "gui/OptionsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/Language.h"
#include "app/PelinDoc.h"

namespace tavrin {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The caption of the current language: English when language is 1.
QString Tr(const char* english, const char* japanese) {
    return QString::fromUtf8(CurrentLanguage() != 0 ? english : japanese);
}

template <size_t N>
void FillCombo(QComboBox* combo, const std::array<const char*, N>& choices) {
    for (const char* choice : choices) combo->addItem(QString::fromLatin1(choice));
}

void ShowList(QListWidget* widget, const CConnectionListModel& list) {
    const QSignalBlocker block(widget);
    widget->clear();
    for (const std::string& item : list.Items()) widget->addItem(Q(item));
    widget->setCurrentRow(list.Selection());
    if (list.Selection() < 0) widget->clearSelection();
}

// The row the user has selected, or -1: a current row that is not selected counts as none.
int SelectedRow(QListWidget* widget) {
    const QList<QListWidgetItem*> selected = widget->selectedItems();
    return selected.isEmpty() ? -1 : widget->row(selected.front());
}

struct PageButtons {
    QPushButton* add;
    QPushButton* insert;
    QPushButton* edit;
    QPushButton* remove;
};

PageButtons MakeButtons(QWidget* page, const QString& prefix) {
    PageButtons b{new QPushButton(Tr("Add", "追加"), page), new QPushButton(Tr("Insert", "挿入"), page),
                  new QPushButton(Tr("Edit", "変更"), page), new QPushButton(Tr("Delete", "削除"), page)};
    b.add->setObjectName(prefix + "Add");
    b.insert->setObjectName(prefix + "Insert");
    b.edit->setObjectName(prefix + "Edit");
    b.remove->setObjectName(prefix + "Delete");
    for (QPushButton* button : {b.add, b.insert, b.edit, b.remove}) button->setAutoDefault(false);
    return b;
}

}  // namespace

void COptionsDlg::ShowPageMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavrin"), text, QMessageBox::Ok, parent);
    box.exec();
}

COptionsDlg::COptionsDlg(CPelinDoc& doc, int highestPort, QWidget* parent)
    : QDialog(parent), doc_(doc), model_(doc.connections, highestPort) {
    setObjectName("optionsDialog");
    setWindowTitle(Tr("Options", "接続設定"));
    showMessage_ = [this](const QString& text) { ShowPageMessage(this, text); };
    if (CurrentSerialPortEnumerator() != nullptr)
        model_.com.UseSerialPorts(PresentSerialPorts(), CurrentSerialPortProfile());

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("tabs");
    tabs_->addTab(BuildComPage(), QStringLiteral("COM"));
    tabs_->addTab(BuildTcpPage(), QStringLiteral("TCP/IP"));
    const int tab = COptionsModel::rememberedTab;
    tabs_->setCurrentIndex(tab >= 0 && tab < tabs_->count() ? tab : 0);
    connect(tabs_, &QTabWidget::currentChanged, this,
            [](int index) { COptionsModel::rememberedTab = index; });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(Tr("Cancel", "キャンセル"), QDialogButtonBox::RejectRole);
    ok->setObjectName("ok");
    cancel->setObjectName("cancel");
    connect(ok, &QPushButton::clicked, this, &COptionsDlg::Accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);

    ShowLists();
    ShowComControls();
    ShowTcpControls();
}

QListWidget* COptionsDlg::LayOutPage(QWidget* page, QFormLayout* fields, OptionsPage which,
                                     const QString& prefix) {
    const PageButtons b = MakeButtons(page, prefix);
    connect(b.add, &QPushButton::clicked, this, [this, which] { Press(which, PageButton::Add); });
    connect(b.insert, &QPushButton::clicked, this, [this, which] { Press(which, PageButton::Insert); });
    connect(b.edit, &QPushButton::clicked, this, [this, which] { Press(which, PageButton::Edit); });
    connect(b.remove, &QPushButton::clicked, this, [this, which] { Press(which, PageButton::Delete); });

    auto* list = new QListWidget(page);
    list->setObjectName(prefix + "List");
    auto* grid = new QGridLayout(page);
    grid->addLayout(fields, 0, 0, 4, 1);
    grid->addWidget(b.add, 0, 1);
    grid->addWidget(b.insert, 1, 1);
    grid->addWidget(b.edit, 2, 1);
    grid->addWidget(b.remove, 3, 1);
    grid->addWidget(list, 4, 0, 1, 2);
    return list;
}

QWidget* COptionsDlg::BuildComPage() {
    auto* page = new QWidget;
    page->setObjectName("comPage");
    port_ = new QComboBox(page);
    FillPorts();
    // Choosing a device that has no COM name yet names it (and writes [Ports]) at once.
    // The last entry asks for a network serial port's address ("HOST:PORT").
    connect(port_, &QComboBox::activated, this, [this](int index) {
        if (index == model_.com.NetworkChoiceIndex()) {
            bool ok = false;
            const QString address = QInputDialog::getText(
                this, Tr("Network serial port", "ネットワークシリアルポート"),
                Tr("Server address (HOST:PORT, RFC 2217):", "サーバーのアドレス (ホスト:ポート、RFC 2217):"),
                QLineEdit::Normal, QString(), &ok);
            if (ok && !model_.com.AddNetworkPort(address.toStdString()))
                QMessageBox::warning(this, QStringLiteral("Tavrin"),
                                     Tr("Not a server address: give HOST:PORT, an IPv6 address in brackets.",
                                        "サーバーのアドレスではありません。ホスト:ポートを指定して下さい"
                                        "(IPv6 アドレスは [ ] で囲みます)。"));
            FillPorts();
            port_->setCurrentIndex(model_.com.controls.port);
            return;
        }
        const bool unnamed = index >= static_cast<int>(model_.com.Ports().size());
        if (!model_.com.ChoosePort(index) || unnamed) FillPorts();
        port_->setCurrentIndex(model_.com.controls.port);
    });
    baud_ = new QComboBox(page);
    FillCombo(baud_, kBaudChoices);
    dataBits_ = new QComboBox(page);
    FillCombo(dataBits_, kDataBitsChoices);
    stopBits_ = new QComboBox(page);
    FillCombo(stopBits_, kStopBitsChoices);
    parity_ = new QComboBox(page);
    FillCombo(parity_, kParityChoices);
    port_->setObjectName("comPort");
    baud_->setObjectName("comBaud");
    dataBits_->setObjectName("comDataBits");
    stopBits_->setObjectName("comStopBits");
    parity_->setObjectName("comParity");

    auto* fields = new QFormLayout;
    fields->addRow(Tr("Port", "ポート"), port_);
    fields->addRow(Tr("Baud Rate", "ボーレート"), baud_);
    fields->addRow(Tr("Data Bits", "データビット"), dataBits_);
    fields->addRow(Tr("Stop Bits", "ストップビット"), stopBits_);
    fields->addRow(Tr("Parity", "パリティ"), parity_);

    comList_ = LayOutPage(page, fields, OptionsPage::Com, "com");
    connect(comList_, &QListWidget::itemSelectionChanged, this, [this] {
        model_.com.Select(SelectedRow(comList_));
        ShowComControls();
    });
    return page;
}

QWidget* COptionsDlg::BuildTcpPage() {
    auto* page = new QWidget;
    page->setObjectName("tcpPage");
    address_ = new QLineEdit(page);
    address_->setObjectName("tcpAddress");
    // Four decimal octets 0 ... 255; the check for a complete address is the model's.
    static const QRegularExpression octets(
        QStringLiteral(R"(^((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)?\.){0,3}(25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)?$)"));
    address_->setValidator(new QRegularExpressionValidator(octets, address_));
    address_->setMaxLength(15);
    tcpPort_ = new QLineEdit(page);
    tcpPort_->setObjectName("tcpPort");
    static const QRegularExpression digits(QStringLiteral(R"(^\d{0,5}$)"));
    tcpPort_->setValidator(new QRegularExpressionValidator(digits, tcpPort_));
    tcpPort_->setAlignment(Qt::AlignRight);
    tcpPort_->setMaxLength(5);
    name_ = new QLineEdit(page);
    name_->setObjectName("tcpName");
    name_->setMaxLength(255);

    auto* fields = new QFormLayout;
    fields->addRow(Tr("IP Address", "IPアドレス"), address_);
    fields->addRow(Tr("Port No", "ポート番号"), tcpPort_);
    fields->addRow(Tr("Name", "名称"), name_);

    tcpList_ = LayOutPage(page, fields, OptionsPage::Tcp, "tcp");
    connect(tcpList_, &QListWidget::itemSelectionChanged, this, [this] {
        model_.tcp.Select(SelectedRow(tcpList_));
        ShowTcpControls();
    });
    return page;
}

void COptionsDlg::FillPorts() {
    const QSignalBlocker quiet(port_);
    port_->clear();
    for (const std::string& label : model_.com.PortLabels()) port_->addItem(Q(label));
}

void COptionsDlg::ReadControls() {
    model_.com.controls = {port_->currentIndex(), baud_->currentIndex(), dataBits_->currentIndex(),
                           stopBits_->currentIndex(), parity_->currentIndex()};
    model_.tcp.controls.address = ParseDottedAddress(address_->text().trimmed().toStdString());
    model_.tcp.controls.port = tcpPort_->text().toStdString();
    model_.tcp.controls.name = name_->text().toStdString();
}

void COptionsDlg::ShowComControls() {
    const ComControls& c = model_.com.controls;
    // Loading a text may have added a network serial port to the list.
    if (port_->count() != static_cast<int>(model_.com.PortLabels().size())) FillPorts();
    port_->setCurrentIndex(c.port);
    baud_->setCurrentIndex(c.baud);
    dataBits_->setCurrentIndex(c.dataBits);
    stopBits_->setCurrentIndex(c.stopBits);
    parity_->setCurrentIndex(c.parity);
}

void COptionsDlg::ShowTcpControls() {
    const TcpControls& c = model_.tcp.controls;
    address_->setText(c.address ? Q(FormatDottedAddress(*c.address)) : QString());
    tcpPort_->setText(Q(c.port));
    name_->setText(Q(c.name));
}

void COptionsDlg::ShowLists() {
    ShowList(comList_, model_.com.list);
    ShowList(tcpList_, model_.tcp.list);
}

void COptionsDlg::Message(PageMessage message) {
    if (message == PageMessage::None || !showMessage_) return;
    showMessage_(Q(PageMessageText(message, CurrentLanguage())));
}

void COptionsDlg::Press(OptionsPage page, PageButton button) {
    ReadControls();
    const PageMessage message = model_.Press(page, button);
    // The list shows the model's items and selection; the controls keep what the user set.
    ShowLists();
    Message(message);
}

void COptionsDlg::Accept() {
    const PageMessage message = model_.Accept(doc_.connections);
    if (message != PageMessage::None) {
        Message(message);
        return;
    }
    accept();
}

}  // namespace tavrin
