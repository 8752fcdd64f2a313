#pragma once

#include <QPoint>
#include <QWidget>

#include "base/signal.h"
#include "recording/panels/teleprompter.h"

class QPlainTextEdit;
class QPushButton;

namespace orvane::studio {

// The teleprompter: a frameless window above the others with the script on a text plate, scrolled by
// its TeleprompterController. Dragging the background moves it, the grip in the corner resizes it;
// its buttons start and pause the scroll, change speed and text size, and edit the script in place.
class TeleprompterWindow : public QWidget {
    Q_OBJECT
public:
    explicit TeleprompterWindow(TeleprompterController& controller);

    // Where the script's text starts, for drawing and the tests: inside the plate, under the buttons.
    QRect textArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void follow();
    void layOut();
    void storeFrame();

    TeleprompterController& controller_;
    Subscription changed_;
    QPushButton* play_;
    QPushButton* edit_;
    QPlainTextEdit* editor_;
    QPoint dragOffset_;
    bool dragging_ = false;
};

}  // namespace orvane::studio
