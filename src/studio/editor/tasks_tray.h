#pragma once

#include <QWidget>

#include <functional>
#include <map>

#include "base/signal.h"
#include "base/uuid.h"

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace orvane {
class ExportController;
class UrlOpener;
}  // namespace orvane

namespace orvane::studio {

// Background tasks with their stage and progress: each can be cancelled while it waits or runs,
// and a finished export can be shown in its folder.
class TasksTray : public QWidget {
    Q_OBJECT
public:
    TasksTray(ExportController& controller, UrlOpener& opener, QWidget* parent = nullptr);

    // The stage as the row says it ("Queued", "Rendering video · 40%", "Done", "Failed: ...").
    QString stageText(const Uuid& taskID) const;

private:
    // The widgets of one task's row; the tray owns them through Qt's parenting.
    struct Row {
        QFrame* frame = nullptr;
        QLabel* title = nullptr;
        QLabel* stage = nullptr;
        QProgressBar* progress = nullptr;
        QPushButton* cancel = nullptr;
        QPushButton* reveal = nullptr;
    };
    void refresh();

    ExportController& controller_;
    UrlOpener& opener_;
    QVBoxLayout* rows_ = nullptr;
    QLabel* empty_ = nullptr;
    std::map<Uuid, Row> rowByTask_;
    Subscription subscription_;
};

}  // namespace orvane::studio
