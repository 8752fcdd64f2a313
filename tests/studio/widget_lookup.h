#pragma once

// Finding the studio's controls the way a user does: by accessible name, and menu items by title.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QList>
#include <QMenu>
#include <QString>
#include <QWidget>

namespace orvane::studio {

// Any widget of type T with this accessible name, in any window.
template <typename T>
T* named(const QString& name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* widget = qobject_cast<T*>(top); widget && widget->accessibleName() == name) return widget;
        for (T* child : top->findChildren<T*>()) {
            if (child->accessibleName() == name) return child;
        }
    }
    return nullptr;
}

// The action titled `title` among `actions` or in their submenus.
inline QAction* actionTitled(const QList<QAction*>& actions, const QString& title) {
    for (QAction* action : actions) {
        if (action->text() == title) return action;
        if (action->menu()) {
            if (QAction* inner = actionTitled(action->menu()->actions(), title)) return inner;
        }
    }
    return nullptr;
}

inline QAction* actionTitled(QMenu* menu, const QString& title) { return actionTitled(menu->actions(), title); }

// The button captioned `text` inside `parent` (an alert's buttons have no names of their own).
inline QAbstractButton* buttonTitled(QWidget* parent, const QString& text) {
    for (QAbstractButton* button : parent->findChildren<QAbstractButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

}  // namespace orvane::studio
