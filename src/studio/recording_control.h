#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace orvane::studio {

class RecordingController;

// The small floating control shown while a recording starts, runs and finishes: elapsed time, Stop
// and Cancel. Frameless and above other windows so it stays reachable over what is recorded.
class RecordingControl : public QWidget {
    Q_OBJECT
public:
    explicit RecordingControl(RecordingController& recording);

private:
    void update();
    void placeOnScreen();

    RecordingController& recording_;
    QLabel* elapsed_;
    QPushButton* stop_;
    QPushButton* cancel_;
};

}  // namespace orvane::studio
