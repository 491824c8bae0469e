#include "gui/CommandPanel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrin {

namespace {

constexpr int kColumns = 3;

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// Enter belongs to the command line: no button of the panel is a default button.
QPushButton* NewButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

CMacroDialog::CMacroDialog(CCommandPanel& panel, QWidget* owner) : QDialog(owner, Qt::Window), panel_(panel) {
    setObjectName("commandPanel");
    setModal(false);

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (size_t i = 0; i < kPanelButtons; ++i) {
        const int position = static_cast<int>(i) + 1;
        QPushButton* button = NewButton(QString(), QStringLiteral("panelButton%1").arg(position), this);
        button->setMinimumSize(110, 44);
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, position] {
            panel_.Press(position);
            ApplyDisplay();
        });
        grid->addWidget(button, static_cast<int>(i) / kColumns, static_cast<int>(i) % kColumns);
        buttons_[i] = button;
    }
    layout->addLayout(grid);

    auto* lineRow = new QHBoxLayout;
    commandLine_ = new QComboBox(this);
    commandLine_->setObjectName("panelCommandLine");
    commandLine_->setEditable(true);
    commandLine_->setInsertPolicy(QComboBox::NoInsert);
    commandLine_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Enter is taken before the combo box or its line sees it (either would report the line
    // again, or an empty one). The window system's keys go to the combo box, the line's focus
    // proxy, which hands them to the line without event filters; a key sent to the line
    // itself (an input method, a test) arrives there. Both are watched.
    commandLine_->installEventFilter(this);
    commandLine_->lineEdit()->installEventFilter(this);
    cancel_ = NewButton(QStringLiteral("Cancel"), QStringLiteral("panelCancel"), this);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        panel_.CancelButton();
        ApplyDisplay();
    });
    lineRow->addWidget(commandLine_);
    lineRow->addWidget(cancel_);
    layout->addLayout(lineRow);

    status_ = new QLabel(this);
    status_->setObjectName("panelStatus");
    status_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(status_);

    auto* pageRow = new QHBoxLayout;
    back_ = NewButton(QStringLiteral("< BACK <"), QStringLiteral("panelBack"), this);
    next_ = NewButton(QStringLiteral("> NEXT >"), QStringLiteral("panelNext"), this);
    page_ = new QLabel(this);
    page_->setObjectName("panelPage");
    page_->setAlignment(Qt::AlignCenter);
    connect(back_, &QPushButton::clicked, this, [this] { panel_.Back(); });
    connect(next_, &QPushButton::clicked, this, [this] { panel_.Next(); });
    pageRow->addWidget(back_);
    pageRow->addWidget(page_, 1);
    pageRow->addWidget(next_);
    layout->addLayout(pageRow);

    // The core tells of every change; the creation steps (START_UP/SHOW, the timer) run now.
    panel_.AttachWindow([this] { ApplyDisplay(); });
    ApplyDisplay();
}

CMacroDialog::~CMacroDialog() {
    panel_.DetachWindow();
}

QPushButton* CMacroDialog::Button(int position) const {
    if (position < 1 || position > static_cast<int>(kPanelButtons)) return nullptr;
    return buttons_[static_cast<size_t>(position - 1)];
}

void CMacroDialog::ApplyDisplay() {
    const PanelDisplay& d = panel_.Display();
    setWindowTitle(Q(d.title));
    for (size_t i = 0; i < kPanelButtons; ++i) {
        buttons_[i]->setText(Q(d.buttons[i].caption));
        buttons_[i]->setEnabled(d.buttons[i].enabled);
    }
    cancel_->setEnabled(d.cancelEnabled);
    back_->setEnabled(d.backEnabled);
    next_->setEnabled(d.nextEnabled);
    status_->setText(Q(d.status));
    page_->setText(Q(d.pageLabel));
    if (d.history != shownHistory_) {
        shownHistory_ = d.history;
        commandLine_->clear();
        for (const std::string& entry : d.history) commandLine_->addItem(Q(entry));
        commandLine_->setCurrentIndex(-1);
        commandLine_->clearEditText();
    }
    if (d.visible && !isVisible()) {
        show();
        raise();
        activateWindow();
    } else if (!d.visible && isVisible()) {
        hide();
    }
}

void CMacroDialog::OnCommandLineEnter() {
    const std::string text = commandLine_->currentText().toStdString();
    panel_.EnterCommandLine(text);
    commandLine_->clearEditText();
}

bool CMacroDialog::eventFilter(QObject* watched, QEvent* event) {
    const bool commandLine = watched == commandLine_ || watched == commandLine_->lineEdit();
    if (commandLine && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnCommandLineEnter();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CMacroDialog::reject() {
    panel_.Close();
}

void CMacroDialog::closeEvent(QCloseEvent* event) {
    panel_.Close();
    event->accept();
}

}  // namespace tavrin
