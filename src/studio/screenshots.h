#pragma once

#include <QObject>
#include <QString>

#include <vector>

namespace orvane::studio {

class StudioShell;

// Saves pictures of the studio's windows for the documentation: "toast", "home", "new-recording",
// "settings", and with a recording open in the editor "editor" (a zoom selected), "inspector",
// "timeline" (frames and waveforms) and "tasks" (two exports running), each grabbed from the widget itself so no window
// manager or compositor is needed; and "panels", the screen during a display recording with the face-camera bubble and
// the teleprompter. Quits the application when done.
class ScreenshotRun : public QObject {
    Q_OBJECT
public:
    struct Shot {
        QString name;
        QString file;
    };
    // `shots` as given on the command line: NAME=FILE. Throws std::invalid_argument for an unknown name.
    ScreenshotRun(StudioShell& shell, std::vector<Shot> shots);

    static std::vector<Shot> parse(const QStringList& arguments);

private:
    void next();
    void take(const Shot& shot);
    void showPanelsWhileRecording();

    StudioShell& shell_;
    std::vector<Shot> shots_;
    std::size_t position_ = 0;
    int failures_ = 0;
};

}  // namespace orvane::studio
