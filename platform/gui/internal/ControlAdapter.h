#pragma once
// The adapter between one control of a form and the widget that draws it.
// Each kind of control has its own small adapter (ControlAdapters.cpp); the
// base keeps what every kind shares: the designed geometry, visible,
// enabled and colour, and the subscription to the control's change signal.

#include <memory>

#include <QColor>
#include <QString>

#include "host/Controls.h"

class QWidget;

namespace pla013::gui {
class FormView;
}

namespace pla013::gui::internal {

class ControlAdapter {
public:
    ControlAdapter(FormView& view, host::TControl& control);
    virtual ~ControlAdapter();
    ControlAdapter(const ControlAdapter&) = delete;
    ControlAdapter& operator=(const ControlAdapter&) = delete;

    host::TControl& control() const { return m_control; }
    virtual QWidget* widget() const = 0;
    // Where the widgets of child controls go.
    virtual QWidget* childParent() const { return widget(); }
    // The widget that takes the keyboard focus for the control.
    virtual QWidget* focusTarget() const { return widget(); }

    // Brings the widget in step with the control.
    void refresh();

    // Enter on a button clicks it; on any other kind it moves on.
    virtual bool enterClicks() const { return false; }
    virtual void click() {}
    // The focus is about to leave the control: what the user typed is
    // completed (a date typed short gets its century), as the user's edit.
    virtual void finishEditing() {}
    // Opens the control's own picker (a date's calendar); false when it has none.
    virtual bool openPicker() { return false; }

    // Starts and stops observing the control.
    void subscribe();
    void unsubscribe();

protected:
    virtual void refreshKind() {}
    // Kinds whose visibility their container manages (pages).
    virtual bool managedByParent() const { return false; }
    // The control's colour as the kind shows it (edit-like kinds fill their
    // background with it).
    virtual void applyColor(const QColor& color);

    FormView& m_view;
    host::TControl& m_control;

private:
    int m_observer = 0;
};

// The adapter of the control's kind, its widget created inside parent.
std::unique_ptr<ControlAdapter> createAdapter(FormView& view, host::TControl& control, QWidget* parent);

// Screen colours of the designed colours: clInfoBk pale yellow, clBtnFace
// grey, clWindow white.
QColor screenColor(host::TColor color);

// A date typed as ddmmaaaa or dd/mm/aa written dd/mm/aaaa; any other text as
// it is.
QString fullDate(const QString& text, int currentYear);

}  // namespace pla013::gui::internal
