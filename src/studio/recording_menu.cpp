#include "studio/recording_menu.h"

#include <QAction>
#include <QMenu>
#include <QString>

namespace orvane::studio {

void fillRecordingMenu(QMenu* menu, const std::vector<RecordingMenuItem>& items, QObject* context,
                       const std::function<void()>& performed) {
    for (const auto& item : items) {
        if (item.isSeparator()) {
            menu->addSeparator();
        } else if (!item.submenu.empty()) {
            fillRecordingMenu(menu->addMenu(QString::fromStdString(item.title)), item.submenu, context, performed);
        } else {
            QAction* action = menu->addAction(QString::fromStdString(item.title));
            action->setEnabled(item.enabled);
            action->setCheckable(item.checked);
            action->setChecked(item.checked);
            if (item.perform) {
                QObject::connect(action, &QAction::triggered, context, [perform = item.perform, performed] {
                    perform();
                    if (performed) performed();
                });
            }
        }
    }
}

void DeferredMenuRebuild::schedule() {
    if (pending_) return;
    pending_ = true;
    QMetaObject::invokeMethod(
        context_,
        [this] {
            pending_ = false;
            rebuild_();
        },
        Qt::QueuedConnection);
}

}  // namespace orvane::studio
