#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "studio/recording_menu.h"

class QMenu;
class QSystemTrayIcon;

namespace orvane::studio {

class StudioShell;

// The icon in the desktop's tray (StatusNotifierItem, or XEmbed on older panels, as Qt finds
// them): the recording commands a click away while the windows are hidden, and a red centre while
// recording. Without a tray on the desktop nothing is shown and the home window's menu bar holds the
// same commands.
class StudioTray : public QObject {
    Q_OBJECT
public:
    explicit StudioTray(StudioShell& shell);
    ~StudioTray() override;

    bool isShown() const;
    QString toolTip() const;
    // The menu the icon opens, built afresh as it opens.
    QMenu* menu() const { return menu_.get(); }
    void rebuildMenu();

private:
    void showHome();
    void phaseChanged();

    StudioShell& shell_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    DeferredMenuRebuild rebuild_{this, [this] { rebuildMenu(); }};
};

}  // namespace orvane::studio
