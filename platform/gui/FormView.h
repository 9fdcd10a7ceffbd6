#pragma once
// One generic view that draws any host form from its control tree: one small
// adapter per control kind, each widget at the control's designed geometry
// (96 dpi) and kept in step with the control both ways. The control's change
// signal brings the widget up to date; a user edit on the widget goes to the
// control as the user's action. The view holds no state of the form's.
//
// Focus follows the form: a focus change the user makes on screen becomes
// the form's FocusControl (the exit event of the control left runs and may
// send the focus back), and every focus move of the form shows on screen.
// Tab and Enter move on in the form's tab order (controls it does not place
// follow in the order they stand on screen; containers, display-only boxes
// and search buttons are passed by, and a group of radio buttons is one
// stop, its buttons chosen with the arrows), Enter in the last field runs
// the preview, and a field entered from the keyboard has its text selected,
// so that typing replaces it. Esc closes the form unless a field is being
// typed in. The control with the focus wears a
// ring. Every user action ends quietly on the silent abort; any other error
// is shown and the form stays usable.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "host/Form.h"

namespace pla013::gui {

class QtUserInterface;
namespace internal {
class ControlAdapter;
}

class FormView final : public QWidget {
public:
    FormView(host::TForm& form, QtUserInterface& ui, QWidget* parent = nullptr);
    ~FormView() override;

    host::TForm& form() const { return m_form; }
    QtUserInterface& ui() const { return m_ui; }

    // The widget drawn for a control (the view itself for the form), or null.
    QWidget* widgetFor(const host::TControl& control) const;
    // The control a widget (or a widget inside it) stands for, or null.
    host::TControl* controlFor(const QObject* widget) const;

    // Shows a focus move of the form.
    void showFocus(host::TControl& control);

    // Runs a user action: pending focus moves first, then the action; a
    // silent abort ends it quietly, other errors are shown. When needsFocus,
    // the control takes the focus first and the action runs only if it got it.
    void userAction(host::TControl& control, bool needsFocus, const std::function<void()>& action);
    void dispatch(const std::function<void()>& action);
    bool busy() const { return m_busy > 0; }
    // True while the view writes the form's state into the widgets.
    bool updating() const { return m_updating > 0; }

    // Brings every widget in step with its control.
    void refreshAll();

    // Called when the form has been hidden or closed (the window goes).
    std::function<void()> onHidden;
    // Called when the form's caption changes.
    std::function<void(const QString&)> onCaption;

    // Stops observing the form; the widgets stay as they are. Done before
    // the form is destroyed.
    void detach();
    bool detached() const { return m_detached; }

    // Focus moves the user makes on screen are taken up after the event that
    // made them; the adapters report them here.
    void userFocused(host::TControl& control, bool byUser);
    // Moves on in tab order (Tab, Enter), skipping containers.
    void moveFocus(bool forward);
    // The search button whose associated field is `control`, or null.
    host::TControl* searchButtonFor(const host::TControl& control) const;

    // Follows the focus and keys of a widget drawn for a control.
    void watch(QWidget* widget);
    // The controls Tab visits, in order (those it passes by included: search
    // buttons, radio buttons of a group other than its checked one).
    std::vector<host::TControl*> keyboardSequence() const;
    // The last field the keyboard stops at before the report buttons: Enter
    // there runs the preview.
    host::TControl* lastField() const;
    // The ring drawn around the control with the focus (hidden when the
    // focus is elsewhere).
    QWidget* focusRing() const { return m_focusRing; }

    // What a control grows by beyond its designed width: the form is as
    // wide as its window, and the controls that reach the right edge of a
    // growing parent (the frames, the name boxes) grow with it, as if
    // anchored there; the rest keep their designed geometry.
    int stretch(const host::TControl& control) const;
    QSize sizeHint() const override;

    struct UpdateGuard {
        explicit UpdateGuard(FormView& v) : view(v) { ++view.m_updating; }
        ~UpdateGuard() { --view.m_updating; }
        FormView& view;
    };

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool applyPendingFocus();
    void syncFocus();
    void formChanged();
    // Lets the active control finish what the user typed before the focus
    // leaves it (a short date gets its century).
    void finishActive(const host::TControl* next);
    void placeFocusRing(QWidget* focused);
    void previewFromLastField();
    // Arrows in a radio button or radio group: the next (or previous) one of
    // the group is chosen. False for other controls.
    bool stepRadio(host::TControl& c, bool forward);

    host::TForm& m_form;
    QtUserInterface& m_ui;
    std::vector<std::unique_ptr<internal::ControlAdapter>> m_adapters;
    std::map<const host::TControl*, internal::ControlAdapter*> m_byControl;
    std::map<const QObject*, host::TControl*> m_byWidget;
    int m_formObserver = 0;
    host::TControl* m_pendingFocus = nullptr;
    int m_busy = 0;
    int m_updating = 0;
    bool m_detached = false;
    bool m_wasVisible = false;
    bool m_keyboardEntry = false;
    int m_extraWidth = 0;                     // beyond the designed width
    static constexpr int kRightAnchor = 16;   // pixels from the parent's right edge that count as reaching it
    QPointer<QWidget> m_focusRing;            // lives in the parent of the widget it rings
    QMetaObject::Connection m_focusFollower;  // ended before the widgets go
};

}  // namespace pla013::gui
