#include "gui/AboutBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/Language.h"

namespace tavrin {

void ShowAboutBox(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName("aboutBox");
    dialog.setWindowTitle(CurrentLanguage() != 0 ? QStringLiteral("Tavrin Version")
                                                 : QStringLiteral("Tavrinバージョン情報"));
    auto* layout = new QGridLayout(&dialog);
    auto* icon = new QLabel(&dialog);
    icon->setPixmap(QIcon(":/icons/tavrin.png").pixmap(32, 32));
    auto* text = new QLabel(QString::fromLatin1(kVersionText), &dialog);
    text->setObjectName("versionText");
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(text, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    dialog.setFixedSize(dialog.sizeHint().expandedTo(QSize(340, 90)));
    dialog.exec();
}

}  // namespace tavrin
