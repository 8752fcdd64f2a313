#include "studio/theme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QPalette>
#include <QStyleFactory>

namespace orvane::studio {

namespace {

struct Colours {
    const char* window;
    const char* surface;
    const char* raised;
    const char* text;
    const char* muted;
    const char* border;
};

constexpr const char* kAccent = "#3d8bfd";
constexpr Colours kDark{"#1b1d21", "#232529", "#2d3035", "#e8e9eb", "#9a9ea6", "#3a3d43"};
constexpr Colours kLight{"#f4f5f7", "#ffffff", "#e9ebee", "#1d1f23", "#5f636b", "#d0d3d8"};

// The portal answers a variant inside a variant: 0 no preference, 1 dark, 2 light.
std::optional<uint> portalColorScheme() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings", "Read");
    call << QString("org.freedesktop.appearance") << QString("color-scheme");
    // A missing portal answers at once; a hung one must not hold up start-up.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    QVariant value = reply.arguments().first();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? std::optional<uint>(scheme) : std::nullopt;
}

}  // namespace

Appearance systemAppearance() {
    const auto scheme = portalColorScheme();
    return scheme && *scheme == 2 ? Appearance::light : Appearance::dark;
}

QString styleSheet(Appearance appearance) {
    const Colours& c = appearance == Appearance::dark ? kDark : kLight;
    QString sheet = R"(
QWidget { color: @text; }
QMainWindow, QDialog, QStackedWidget, QSplitter { background: @window; }
QToolBar { background: @surface; border: none; border-bottom: 1px solid @border; padding: 6px; spacing: 8px; }
QMenuBar, QMenu { background: @surface; }
QMenu::item:selected, QMenuBar::item:selected { background: @accent; color: white; }
QPushButton, QToolButton { background: @raised; border: 1px solid @border; border-radius: 6px; padding: 5px 12px; }
QPushButton:hover, QToolButton:hover { border-color: @accent; }
QPushButton:disabled, QToolButton:disabled { color: @muted; }
QPushButton#primary, QToolButton#primary, QPushButton:default { background: @accent; border-color: @accent; color: white; font-weight: 600; }
QLineEdit, QComboBox, QSpinBox, QDoubleSpinBox { background: @surface; border: 1px solid @border; border-radius: 6px; padding: 4px 8px; }
QLineEdit:focus, QComboBox:focus { border-color: @accent; }
QListView, QListWidget { background: @window; border: none; }
QListWidget::item:selected { background: @raised; color: @text; border: 1px solid @accent; }
QListWidget#sidebar { background: @surface; border-right: 1px solid @border; padding: 8px; }
QListWidget#sidebar::item { padding: 6px 8px; border-radius: 6px; }
QLabel#emptyState, QLabel#hint { color: @muted; font-size: 15px; }
QFrame#errorBanner { background: @raised; border: 1px solid #e5534b; border-radius: 8px; }
QFrame#toast { background: @raised; border: 1px solid @border; border-left: 4px solid @muted; border-radius: 8px; }
QFrame#toast[level="success"] { border-left-color: #3fb950; }
QFrame#toast[level="warning"] { border-left-color: #d29922; }
QFrame#toast[level="error"] { border-left-color: #e5534b; }
QFrame#toast[level="info"] { border-left-color: @accent; }
QFrame#toast QLabel, QFrame#toast QToolButton { background: transparent; border: none; }
QLabel#toastTitle { font-weight: 600; }
QLabel#toastDetail { color: @muted; }
QWidget#recordingControl { background: @surface; border: 1px solid @border; border-radius: 10px; }
QLabel#elapsed { font-size: 16px; font-weight: 600; }
QCheckBox::indicator:checked { background: @accent; border: 1px solid @accent; border-radius: 3px; }
QCheckBox::indicator:unchecked { background: @surface; border: 1px solid @border; border-radius: 3px; }
QTabBar::tab { background: @surface; padding: 6px 14px; border: 1px solid @border; }
QTabBar::tab:selected { background: @raised; border-bottom: 2px solid @accent; }
)";
    sheet.replace("@window", c.window)
        .replace("@surface", c.surface)
        .replace("@raised", c.raised)
        .replace("@text", c.text)
        .replace("@muted", c.muted)
        .replace("@border", c.border)
        .replace("@accent", kAccent);
    return sheet;
}

void applyTheme(QApplication& application, Appearance appearance) {
    // Fusion draws the same on every desktop, so the stylesheet and screenshots mean one thing.
    application.setStyle(QStyleFactory::create("Fusion"));
    const Colours& c = appearance == Appearance::dark ? kDark : kLight;
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(c.window));
    palette.setColor(QPalette::Base, QColor(c.surface));
    palette.setColor(QPalette::AlternateBase, QColor(c.raised));
    palette.setColor(QPalette::Button, QColor(c.raised));
    palette.setColor(QPalette::Text, QColor(c.text));
    palette.setColor(QPalette::WindowText, QColor(c.text));
    palette.setColor(QPalette::ButtonText, QColor(c.text));
    palette.setColor(QPalette::PlaceholderText, QColor(c.muted));
    palette.setColor(QPalette::Highlight, QColor(kAccent));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    application.setPalette(palette);
    application.setStyleSheet(styleSheet(appearance));
}

}  // namespace orvane::studio
