#include "gui/WindowSettingDialog.h"

#include <QColorDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <array>

#include "app/Language.h"

namespace tavrin {

namespace {

// The up-down control repeats like a held scroll arrow: a pause, then a steady rate.
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 60;

QString Tr(const char* english, const char* japanese) {
    return QString::fromUtf8(CurrentLanguage() != 0 ? english : japanese);
}

// A control's place in dialog units: x, y, width, height.
struct DialogRect {
    int x, y, width, height;
};

// The two resources' layouts, in dialog units.
struct DialogLayout {
    DialogRect size;  // width and height of the dialog
    DialogRect label, rows, upDown, bgButton, textButton, sample, ok, cancel;
};

constexpr DialogLayout kEnglishLayout{{0, 0, 123, 86},  {8, 8, 47, 10},  {61, 8, 34, 9},
                                      {95, 7, 21, 10},  {6, 24, 49, 13}, {6, 42, 49, 13},
                                      {61, 24, 54, 32}, {6, 65, 50, 14}, {66, 65, 50, 14}};
constexpr DialogLayout kJapaneseLayout{{0, 0, 122, 86},  {6, 8, 51, 10},  {60, 8, 34, 9},
                                       {94, 7, 21, 10},  {6, 24, 49, 13}, {6, 42, 49, 13},
                                       {65, 35, 43, 12}, {6, 65, 50, 14}, {65, 65, 50, 14}};

}  // namespace

QColor ColorFromStored(uint32_t stored) {
    return QColor(static_cast<int>(stored & 0xFF), static_cast<int>((stored >> 8) & 0xFF),
                  static_cast<int>((stored >> 16) & 0xFF));
}

uint32_t StoredFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<uint32_t>(rgb.red()) | static_cast<uint32_t>(rgb.green()) << 8 |
           static_cast<uint32_t>(rgb.blue()) << 16;
}

CWindowSettingDialog::CWindowSettingDialog(CWindowSetting& setting, QWidget* parent)
    : QDialog(parent), setting_(setting), working_(setting) {
    setObjectName("windowSettingDialog");
    setWindowTitle(Tr("Window setting", "画面設定"));

    scrollLabel_ = new QLabel(Tr("Scroll buffer", "スクロールバッファ"), this);
    scrollLabel_->setObjectName("scrollLabel");
    rows_ = new QLabel(QStringLiteral("1024"), this);
    rows_->setObjectName("rows");
    rows_->setAlignment(Qt::AlignCenter);
    rows_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    rows_->setFocusPolicy(Qt::StrongFocus);  // the arrow keys go to the up-down control

    down_ = new QToolButton(this);
    down_->setObjectName("rowsDown");
    down_->setArrowType(Qt::LeftArrow);
    up_ = new QToolButton(this);
    up_->setObjectName("rowsUp");
    up_->setArrowType(Qt::RightArrow);
    for (QToolButton* b : {down_, up_}) b->setFocusPolicy(Qt::NoFocus);
    connect(down_, &QToolButton::pressed, this, [this] { ArrowPressed(-1); });
    connect(up_, &QToolButton::pressed, this, [this] { ArrowPressed(+1); });
    connect(down_, &QToolButton::released, this, &CWindowSettingDialog::ArrowReleased);
    connect(up_, &QToolButton::released, this, &CWindowSettingDialog::ArrowReleased);
    repeat_.setSingleShot(false);
    connect(&repeat_, &QTimer::timeout, this, &CWindowSettingDialog::RepeatStep);

    bgButton_ = new QPushButton(Tr("Bg color", "画面背景色"), this);
    bgButton_->setObjectName("bgColor");
    textButton_ = new QPushButton(Tr("Font color", "テキスト色"), this);
    textButton_->setObjectName("textColor");
    connect(bgButton_, &QPushButton::clicked, this, [this] { ChooseColor(working_.bgColor); });
    connect(textButton_, &QPushButton::clicked, this, [this] { ChooseColor(working_.textColor); });

    sample_ = new QLabel(QStringLiteral("Abc123"), this);
    sample_->setObjectName("sample");
    sample_->setAlignment(Qt::AlignCenter);
    sample_->setAutoFillBackground(true);
    if (CurrentLanguage() != 0) sample_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName("ok");
    ok_->setDefault(true);
    cancel_ = new QPushButton(Tr("Cancel", "キャンセル"), this);
    cancel_->setObjectName("cancel");
    connect(ok_, &QPushButton::clicked, this, &CWindowSettingDialog::Accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    Lay();
    ShowRows();
    ShowSample();
    rows_->setFocus();
}

void CWindowSettingDialog::Lay() {
    const DialogLayout& l = CurrentLanguage() != 0 ? kEnglishLayout : kJapaneseLayout;
    // A dialog unit is a quarter of the average character width across and an eighth of the
    // character height down.
    const QFontMetrics metrics(font());
    const int baseX = std::max(1, metrics.averageCharWidth());
    const int baseY = std::max(1, metrics.height());
    auto px = [&](const DialogRect& r) {
        return QRect(r.x * baseX / 4, r.y * baseY / 8, r.width * baseX / 4, r.height * baseY / 8);
    };
    scrollLabel_->setGeometry(px(l.label));
    rows_->setGeometry(px(l.rows));
    const QRect upDown = px(l.upDown);
    const int half = upDown.width() / 2;
    down_->setGeometry(upDown.x(), upDown.y(), half, upDown.height());
    up_->setGeometry(upDown.x() + half, upDown.y(), upDown.width() - half, upDown.height());
    bgButton_->setGeometry(px(l.bgButton));
    textButton_->setGeometry(px(l.textButton));
    sample_->setGeometry(px(l.sample));
    ok_->setGeometry(px(l.ok));
    cancel_->setGeometry(px(l.cancel));
    setFixedSize(px(l.size).size());
}

void CWindowSettingDialog::ShowRows() {
    rows_->setText(QString::number(working_.Rows()));
}

void CWindowSettingDialog::ShowSample() {
    // Only the sample takes the working colours; the rest of the dialog keeps its own.
    QPalette palette = sample_->palette();
    palette.setColor(QPalette::Window, ColorFromStored(working_.bgColor));
    palette.setColor(QPalette::WindowText, ColorFromStored(working_.textColor));
    sample_->setPalette(palette);
    update();
}

void CWindowSettingDialog::ChooseColor(uint32_t& working) {
    // Qt's own dialog, so that it behaves alike on every desktop.
    QColorDialog dialog(ColorFromStored(working), this);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() == QDialog::Accepted && dialog.selectedColor().isValid())
        working = StoredFromColor(dialog.selectedColor());
    ShowSample();
}

void CWindowSettingDialog::ArrowPressed(int direction) {
    heldDirection_ = direction;
    held_.start();
    working_.StepRows(direction, 0);
    ShowRows();
    repeat_.start(kRepeatDelayMs);
}

void CWindowSettingDialog::ArrowReleased() {
    heldDirection_ = 0;
    repeat_.stop();
}

void CWindowSettingDialog::RepeatStep() {
    if (heldDirection_ == 0) return repeat_.stop();
    repeat_.setInterval(kRepeatIntervalMs);
    working_.StepRows(heldDirection_, static_cast<int>(held_.elapsed()));
    ShowRows();
}

void CWindowSettingDialog::keyPressEvent(QKeyEvent* event) {
    int direction = 0;
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right: direction = +1; break;
        case Qt::Key_Down:
        case Qt::Key_Left: direction = -1; break;
        default: QDialog::keyPressEvent(event); return;
    }
    // A held key repeats by itself; the time since its first press sets the step.
    if (!event->isAutoRepeat() || heldDirection_ != direction) {
        heldDirection_ = direction;
        held_.start();
    }
    working_.StepRows(direction, static_cast<int>(held_.elapsed()));
    ShowRows();
}

void CWindowSettingDialog::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && !repeat_.isActive()) heldDirection_ = 0;
    QDialog::keyReleaseEvent(event);
}

void CWindowSettingDialog::Accept() {
    setting_ = working_;
    accept();
}

}  // namespace tavrin
