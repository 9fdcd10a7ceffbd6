#pragma once
// Windows kept on the screen they show on: never larger than the part of
// the screen windows may use (what panels and docks leave), never off its
// edges. (Dialogs with a parent are centred over it by Qt as they show.)

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace pla013::gui::internal {

// The screen a window is on, or the one its parent is on, or the primary.
inline QScreen* screenOf(const QWidget& window) {
    if (QScreen* s = window.screen()) return s;
    if (const QWidget* p = window.parentWidget(); p && p->screen()) return p->screen();
    return QGuiApplication::primaryScreen();
}

// The room a window's frame takes beside its contents: what the window
// manager drew once shown, an ordinary title bar and border before.
inline QSize frameExtra(const QWidget& window) {
    if (window.isVisible()) {
        const QSize extra = window.frameGeometry().size() - window.geometry().size();
        if (extra.width() > 0 || extra.height() > 0) return extra;
    }
    return QSize(8, 32);
}

// The largest size of the window's contents on its screen.
inline QSize roomFor(const QWidget& window) {
    const QScreen* screen = screenOf(window);
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return (room.size() - frameExtra(window)).expandedTo(QSize(200, 150));
}

// Shrinks the window to its screen and moves it back within the screen's
// edges. A maximised or full-screen window is the window manager's.
inline void keepOnScreen(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen()) return;
    const QScreen* screen = screenOf(window);
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    const QSize extra = frameExtra(window);
    const QSize size = window.size().boundedTo(room.size() - extra);
    if (size != window.size()) window.resize(size);
    const QSize outer = size + extra;
    QPoint at = window.isVisible() ? window.frameGeometry().topLeft() : window.pos();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outer.height())));
    if (at != (window.isVisible() ? window.frameGeometry().topLeft() : window.pos())) window.move(at);
}

}  // namespace pla013::gui::internal
