#include "studio/toast_area.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvane::studio {

namespace {
constexpr int kCardWidth = 340;
constexpr int kMargin = 16;
}  // namespace

ToastCard::ToastCard(const Toast& toast, ToastCenter& toasts, QWidget* parent) : QFrame(parent) {
    setObjectName("toast");
    // The stylesheet colours the stripe by level.
    setProperty("level", toastLevelName(toast.level));
    setAccessibleName(QString::fromStdString(toast.title));
    setFixedWidth(kCardWidth);

    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QString::fromStdString(toast.title), this);
    title->setObjectName("toastTitle");
    title->setWordWrap(true);
    header->addWidget(title, 1);
    auto* close = new QToolButton(this);
    close->setText("×");
    close->setAccessibleName("Dismiss " + QString::fromStdString(toast.title));
    const Uuid id = toast.id;
    connect(close, &QToolButton::clicked, this, [&toasts, id] { toasts.dismiss(id); });
    header->addWidget(close, 0, Qt::AlignTop);
    layout->addLayout(header);

    if (toast.detail) {
        auto* detail = new QLabel(QString::fromStdString(*toast.detail), this);
        detail->setObjectName("toastDetail");
        detail->setWordWrap(true);
        detail->setAccessibleName(QString::fromStdString(toast.title) + " detail");
        layout->addWidget(detail);
    }
    if (!toast.actions.empty()) {
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        for (std::size_t i = 0; i < toast.actions.size(); ++i) {
            auto* button = new QPushButton(QString::fromStdString(toast.actions[i].label), this);
            button->setAccessibleName(button->text());
            connect(button, &QPushButton::clicked, this, [&toasts, id, i] { toasts.performAction(id, i); });
            buttons->addWidget(button);
        }
        layout->addLayout(buttons);
    }
}

ToastArea::ToastArea(ToastCenter& toasts, QWidget* parent) : QWidget(parent), toasts_(toasts) {
    setObjectName("toastArea");
    setAccessibleName("Notifications");
    setAttribute(Qt::WA_TranslucentBackground);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(8);
    parent->installEventFilter(this);
    subscription_ = toasts_.observe([this](const std::vector<Toast>& list) { show(list); });
    show(toasts_.toasts());
}

void ToastArea::show(const std::vector<Toast>& toasts) {
    while (QLayoutItem* item = column_->takeAt(0)) {
        // Deleted later: this may run from a click on one of these very buttons.
        if (QWidget* card = item->widget()) {
            card->hide();
            card->deleteLater();
        }
        delete item;
    }
    for (const auto& toast : toasts) column_->addWidget(new ToastCard(toast, toasts_, this));
    setVisible(!toasts.empty());
    place();
    raise();
}

void ToastArea::place() {
    QWidget* host = parentWidget();
    // Word-wrapped labels only know their height for a given width, so ask at the card width.
    const int height =
        column_->hasHeightForWidth() ? column_->heightForWidth(kCardWidth) : column_->sizeHint().height();
    setGeometry(host->width() - kCardWidth - kMargin, host->height() - height - kMargin, kCardWidth, height);
}

bool ToastArea::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) place();
    return QWidget::eventFilter(watched, event);
}

}  // namespace orvane::studio
