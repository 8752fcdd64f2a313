#pragma once

#include <QFrame>
#include <QWidget>

#include <vector>

#include "base/signal.h"
#include "base/toast_center.h"

class QVBoxLayout;

namespace orvane::studio {

// The toast centre's toasts, newest at the bottom, in a column over the window's lower right
// corner. The centre owns lifetimes and dismissal; this only mirrors its list.
class ToastArea : public QWidget {
    Q_OBJECT
public:
    ToastArea(ToastCenter& toasts, QWidget* parent);

    // Keeps to the lower right corner of the parent as it resizes.
    void place();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show(const std::vector<Toast>& toasts);

    ToastCenter& toasts_;
    QVBoxLayout* column_;
    Subscription subscription_;
};

// One toast: level stripe, title, detail, its action buttons and a close button.
class ToastCard : public QFrame {
    Q_OBJECT
public:
    ToastCard(const Toast& toast, ToastCenter& toasts, QWidget* parent);
};

}  // namespace orvane::studio
