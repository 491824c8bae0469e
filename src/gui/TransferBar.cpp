#include "gui/TransferBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace tavrin {

CTransferBar::CTransferBar(std::function<void()> onCancel, QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_, 1);
    bar_->setMaximumWidth(160);
    bar_->setTextVisible(false);
    layout->addWidget(bar_);
    layout->addWidget(cancel_);
    cancel_->setObjectName("transferCancel");
    connect(cancel_, &QPushButton::clicked, this, [onCancel = std::move(onCancel)] {
        if (onCancel) onCancel();
    });
}

void CTransferBar::ShowProgress(const QString& text, int percent) {
    label_->setText(text);
    cancel_->setText(tr("Cancel"));
    if (percent < 0) {
        bar_->setRange(0, 0);  // busy: the total is not known
    } else {
        bar_->setRange(0, 100);
        bar_->setValue(percent);
    }
}

QString CTransferBar::Text() const {
    return label_->text();
}

}  // namespace tavrin
