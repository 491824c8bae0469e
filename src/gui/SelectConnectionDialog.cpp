#include "gui/SelectConnectionDialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Language.h"
#include "app/PelinDoc.h"
#include "link/ConnectionPages.h"
#include "link/SerialPortList.h"

namespace tavrin {

CSelectConnDlg::CSelectConnDlg(CPelinDoc& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    setObjectName("selectConnectionDialog");
    setWindowTitle(QString::fromUtf8(CurrentLanguage() != 0 ? "Select Connection" : "選択接続"));

    list_ = new QListWidget(this);
    list_->setObjectName("connList");
    // Serial entries show the device their COM name stands for; the rows stay in list order.
    const std::vector<SerialPortRow> ports = ListSerialPorts(CurrentSerialPortProfile());
    for (const ConnectionEntry& entry : doc_.connections)
        list_->addItem(QString::fromStdString(ConnectionItemLabel(entry.Item, ports, CurrentLanguage())));
    list_->setCurrentRow(0);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { Choose(); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(
        QString::fromUtf8(CurrentLanguage() != 0 ? "Cancel" : "キャンセル"), QDialogButtonBox::RejectRole);
    ok->setObjectName("ok");
    ok->setDefault(true);
    cancel->setObjectName("cancel");
    connect(ok, &QPushButton::clicked, this, &CSelectConnDlg::Choose);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(300, 280);
}

void CSelectConnDlg::Choose() {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    if (SelectConnection(doc_, list_->row(selected.front())) == 0) accept();
}

}  // namespace tavrin
