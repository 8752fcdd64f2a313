#include "studio/panels/teleprompter_window.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSizeGrip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace orvane::studio {

namespace {

constexpr int kMargin = 16;
constexpr int kBarHeight = 36;

QPushButton* barButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(name);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

TeleprompterWindow::TeleprompterWindow(TeleprompterController& controller)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), controller_(controller) {
    setObjectName("teleprompter");
    setAccessibleName("Teleprompter");
    setWindowTitle("Teleprompter");
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMinimumSize(static_cast<int>(TeleprompterController::kMinimumWidth),
                   static_cast<int>(TeleprompterController::kMinimumHeight));
    resize(560, 240);
    if (const auto stored = controller_.storedFrame()) {
        setGeometry(QRectF(stored->x, stored->y, stored->width, stored->height).toAlignedRect());
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, 6, 6, 6);
    auto* bar = new QHBoxLayout;
    play_ = barButton("Start", "Start Scrolling", this);
    auto* slower = barButton("Slower", "Scroll Slower", this);
    auto* faster = barButton("Faster", "Scroll Faster", this);
    auto* smaller = barButton("A\xE2\x88\x92", "Smaller Text", this);
    auto* larger = barButton("A+", "Larger Text", this);
    auto* restart = barButton("Restart", "Back to the Start", this);
    edit_ = barButton("Edit", "Edit Script", this);
    edit_->setCheckable(true);
    for (QPushButton* button : {play_, slower, faster, smaller, larger, restart, edit_}) bar->addWidget(button);
    bar->addStretch(1);
    layout->addLayout(bar);
    editor_ = new QPlainTextEdit(this);
    editor_->setAccessibleName("Teleprompter script");
    editor_->setPlaceholderText("Type or paste what you want to say.");
    editor_->hide();
    layout->addWidget(editor_, 1);
    layout->addStretch(1);
    auto* grip = new QSizeGrip(this);
    layout->addWidget(grip, 0, Qt::AlignBottom | Qt::AlignRight);

    connect(play_, &QPushButton::clicked, this, [this] {
        if (controller_.isAutoScrolling()) {
            controller_.stopAutoScroll();
        } else {
            controller_.startAutoScroll();
        }
        follow();
    });
    connect(slower, &QPushButton::clicked, this,
            [this] { controller_.setScrollSpeed(std::max(0.0, controller_.scrollSpeed() - 6)); });
    connect(faster, &QPushButton::clicked, this, [this] { controller_.setScrollSpeed(controller_.scrollSpeed() + 6); });
    connect(smaller, &QPushButton::clicked, this,
            [this] { controller_.setFontSize(std::max(12.0, controller_.fontSize() - 2)); });
    connect(larger, &QPushButton::clicked, this,
            [this] { controller_.setFontSize(std::min(96.0, controller_.fontSize() + 2)); });
    connect(restart, &QPushButton::clicked, this, [this] { controller_.setScrollOffset(0); });
    connect(edit_, &QPushButton::toggled, this, [this](bool on) {
        if (on) {
            controller_.stopAutoScroll();
            editor_->setPlainText(QString::fromStdString(controller_.script()));
        } else {
            controller_.setScript(editor_->toPlainText().toStdString());
        }
        controller_.setEditing(on);
        editor_->setVisible(on);
        follow();
    });
    changed_ = controller_.changed.subscribe([this] { follow(); });
    follow();
}

QRect TeleprompterWindow::textArea() const { return rect().adjusted(kMargin, kBarHeight + 8, -kMargin, -kMargin); }

void TeleprompterWindow::follow() {
    play_->setText(controller_.isAutoScrolling() ? "Pause" : "Start");
    play_->setAccessibleName(controller_.isAutoScrolling() ? "Pause Scrolling" : "Start Scrolling");
    layOut();
    if (controller_.isVisible() && !isVisible()) show();
    if (!controller_.isVisible() && isVisible()) {
        controller_.stopAutoScroll();
        hide();
    }
    update();
}

// How far the wrapped script runs past the visible area decides how far it may scroll.
void TeleprompterWindow::layOut() {
    QFont font = this->font();
    font.setPointSizeF(controller_.fontSize());
    const QRect area = textArea();
    const QRectF needed =
        QFontMetricsF(font).boundingRect(QRectF(0, 0, area.width(), 1e6), Qt::TextWordWrap | Qt::AlignHCenter,
                                         QString::fromStdString(controller_.script()));
    controller_.setOverflowHeight(needed.height() - area.height());
}

void TeleprompterWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The plate keeps light text readable over whatever lies behind the window.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, static_cast<int>(controller_.opacity() * 255)));
    painter.drawRoundedRect(rect(), 14, 14);
    // The bar stays findable even with a fully clear plate.
    painter.setBrush(QColor(0, 0, 0, 140));
    painter.drawRoundedRect(QRect(0, 0, width(), kBarHeight + 6), 14, 14);
    if (controller_.isEditing()) return;
    QFont font = this->font();
    font.setPointSizeF(controller_.fontSize());
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QRect area = textArea();
    painter.setClipRect(area);
    const QString script = QString::fromStdString(controller_.script());
    painter.drawText(QRectF(area.x(), area.y() - controller_.scrollOffset(), area.width(), 1e6),
                     Qt::TextWordWrap | Qt::AlignHCenter,
                     script.isEmpty() ? QString("Add your script in the new-recording sheet, or press Edit.") : script);
}

void TeleprompterWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TeleprompterWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - dragOffset_);
}

void TeleprompterWindow::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void TeleprompterWindow::wheelEvent(QWheelEvent* event) {
    controller_.setScrollOffset(controller_.scrollOffset() - event->angleDelta().y() / 4.0);
}

void TeleprompterWindow::moveEvent(QMoveEvent*) { storeFrame(); }

void TeleprompterWindow::resizeEvent(QResizeEvent*) {
    layOut();
    storeFrame();
}

void TeleprompterWindow::storeFrame() {
    if (!isVisible()) return;
    const QRect frame = geometry();
    controller_.setFrame(Rect{static_cast<double>(frame.x()), static_cast<double>(frame.y()),
                              static_cast<double>(frame.width()), static_cast<double>(frame.height())});
}

}  // namespace orvane::studio
