#include "platform/gui/FormView.h"

#include <algorithm>
#include <functional>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>

#include "host/Errors.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/gui/internal/ControlAdapter.h"

namespace pla013::gui {

namespace {

// Containers take the focus only when the form sends it there; the keyboard
// passes them by, as it passes group boxes and panels on any form.
bool isContainer(const host::TControl& c) {
    return c.Kind() == host::ControlKind::GroupBox || c.Kind() == host::ControlKind::Panel;
}

// Boxes that only show a value (a looked-up name, a weekday).
bool isDisplayOnly(const host::TControl& c) {
    return (c.Kind() == host::ControlKind::Edit || c.Kind() == host::ControlKind::MaskEdit) &&
           static_cast<const host::TEdit&>(c).ReadOnly();
}

// The search buttons beside the code fields: F4 in the field and the mouse
// reach them; the keyboard goes on from field to field.
bool isMagnifier(const host::TControl& c) { return c.Kind() == host::ControlKind::SearchButton; }

// The radio buttons of one container, in the order of its children, those
// that can take the focus.
std::vector<host::TRadioButton*> radioSiblings(const host::TControl& c) {
    std::vector<host::TRadioButton*> out;
    if (!c.Parent()) return out;
    for (host::TControl* k : c.Parent()->Children())
        if (k->Kind() == host::ControlKind::RadioButton && k->CanFocus())
            out.push_back(static_cast<host::TRadioButton*>(k));
    return out;
}

// A group of radio buttons is one stop of the keyboard: the checked one (the
// first when none is); the arrows move within the group.
bool isOtherRadio(const host::TControl& c) {
    if (c.Kind() != host::ControlKind::RadioButton || static_cast<const host::TRadioButton&>(c).Checked()) return false;
    const auto group = radioSiblings(c);
    const bool anyChecked = std::any_of(group.begin(), group.end(), [](auto* r) { return r->Checked(); });
    return anyChecked || (!group.empty() && group.front() != &c);
}

bool passedBy(const host::TControl& c) {
    return isContainer(c) || isDisplayOnly(c) || isMagnifier(c) || isOtherRadio(c);
}

bool isButton(const host::TControl& c) {
    return c.Kind() == host::ControlKind::SpeedButton || c.Kind() == host::ControlKind::SearchButton;
}

// A frame in the highlight colour around the widget with the focus, drawn
// over whatever the style draws (or does not draw) for it.
class FocusRing final : public QWidget {
public:
    explicit FocusRing(QWidget* parent) : QWidget(parent) {
        setObjectName("focusRing");
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0x1a, 0x5f, 0xd0), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
    }
};

struct BusyGuard {
    BusyGuard(int& own, QtUserInterface& ui) : m_own(own), m_ui(ui) {
        ++m_own;
        m_ui.enterBusy();
    }
    ~BusyGuard() {
        m_ui.leaveBusy();
        --m_own;
    }
    int& m_own;
    QtUserInterface& m_ui;
};

}  // namespace

FormView::FormView(host::TForm& form, QtUserInterface& ui, QWidget* parent)
    : QWidget(parent), m_form(form), m_ui(ui), m_wasVisible(form.Visible()) {
    setObjectName(QString::fromStdString(form.Name()));
    // The designed size; wider only when the form's border lets its window
    // grow (a sizeable border, or the maximize button): see stretch().
    setMinimumSize(form.ClientWidth(), form.ClientHeight());
    setMaximumHeight(form.ClientHeight());
    if (form.BorderStyle() != host::TBorderStyle::bsSizeable &&
        !form.BorderIcons().count(host::TBorderIcon::biMaximize))
        setMaximumWidth(form.ClientWidth());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The designed geometry assumes the small dialog font of 96 dpi screens;
    // a condensed face (where there is one) keeps captions within it.
    QFont f = font();
    f.setPixelSize(11);
    f.setStretch(QFont::SemiCondensed);
    setFont(f);
    setAutoFillBackground(true);

    for (host::TControl* c : form.AllControls()) {
        QWidget* parentWidget = this;
        if (c->Parent() && c->Parent() != &form) {
            auto it = m_byControl.find(c->Parent());
            if (it != m_byControl.end()) parentWidget = it->second->childParent();
        }
        auto adapter = internal::createAdapter(*this, *c, parentWidget);
        if (!adapter) continue;
        m_byControl[c] = adapter.get();
        m_byWidget[adapter->widget()] = c;
        m_adapters.push_back(std::move(adapter));
    }
    refreshAll();
    for (auto& a : m_adapters) a->subscribe();
    m_formObserver = form.Subscribe([this](host::TControl&) { formChanged(); });
    // Keys and focus of every widget, inner ones (a spin box's edit) included.
    for (QWidget* w : findChildren<QWidget*>()) watch(w);
    // The keyboard order on screen is the form's tab order.
    QWidget* previous = nullptr;
    for (host::TControl* c : keyboardSequence()) {
        auto it = m_byControl.find(c);
        if (it == m_byControl.end() || passedBy(*c)) continue;
        QWidget* w = it->second->focusTarget();
        if (previous && w && previous != w) QWidget::setTabOrder(previous, w);
        previous = w;
    }
    m_focusRing = new FocusRing(this);
    m_focusFollower =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { placeFocusRing(now); });
}

FormView::~FormView() {
    // The widgets going with this view move the focus as they go; this view
    // is no longer whole by then.
    disconnect(m_focusFollower);
    detach();
}

void FormView::detach() {
    if (m_detached) return;
    m_detached = true;
    for (auto& a : m_adapters) a->unsubscribe();
    if (m_formObserver) m_form.Unsubscribe(m_formObserver);
    m_formObserver = 0;
}

void FormView::watch(QWidget* widget) { widget->installEventFilter(this); }

QSize FormView::sizeHint() const { return QSize(m_form.ClientWidth(), m_form.ClientHeight()); }

int FormView::stretch(const host::TControl& control) const {
    if (m_extraWidth <= 0 || &control == &m_form) return 0;
    // Anchored to the right of its parent: it ends near the parent's right
    // edge, and the parent itself grows (the form does).
    const host::TControl* parent = control.Parent();
    if (!parent) return 0;
    const int parentWidth = parent == &m_form ? m_form.ClientWidth() : parent->Width();
    const bool reachesRight = parentWidth - (control.Left() + control.Width()) <= kRightAnchor;
    const bool parentGrows = parent == &m_form || stretch(*parent) > 0;
    return reachesRight && parentGrows ? m_extraWidth : 0;
}

void FormView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int extra = std::max(0, width() - m_form.ClientWidth());
    if (extra == m_extraWidth) return;
    m_extraWidth = extra;
    if (m_detached) return;
    for (auto& a : m_adapters) a->refresh();
    placeFocusRing(QApplication::focusWidget());
}

QWidget* FormView::widgetFor(const host::TControl& control) const {
    if (&control == &m_form) return const_cast<FormView*>(this);
    auto it = m_byControl.find(&control);
    return it == m_byControl.end() ? nullptr : it->second->widget();
}

host::TControl* FormView::controlFor(const QObject* widget) const {
    for (const QObject* o = widget; o && o != this; o = o->parent()) {
        auto it = m_byWidget.find(o);
        if (it != m_byWidget.end()) return it->second;
    }
    return nullptr;
}

host::TControl* FormView::searchButtonFor(const host::TControl& control) const {
    for (host::TControl* c : m_form.AllControls())
        if (c->Kind() == host::ControlKind::SearchButton &&
            static_cast<host::TBtnPesquisa*>(c)->AssociatedControl == &control)
            return c;
    return nullptr;
}

void FormView::refreshAll() {
    for (auto& a : m_adapters) a->refresh();
    formChanged();
}

void FormView::formChanged() {
    if (m_detached) return;
    if (onCaption) onCaption(QString::fromStdString(m_form.Caption()));
    const bool visible = m_form.Visible();
    if (m_wasVisible && !visible) {
        m_wasVisible = false;
        if (onHidden) onHidden();
        return;
    }
    m_wasVisible = visible;
}

// --------------------------------------------------------------- user actions

void FormView::dispatch(const std::function<void()>& action) {
    {
        BusyGuard busy(m_busy, m_ui);
        try {
            action();
        } catch (const host::EAbort&) {
            // The user has been told; the action just ends.
        } catch (const std::exception& e) {
            // A real error: shown, and the form stays usable.
            m_ui.ShowError(e.what());
        } catch (...) {
            m_ui.ShowError("Erro inesperado.");
        }
    }
    if (m_busy == 0) syncFocus();
}

void FormView::userAction(host::TControl& control, bool needsFocus, const std::function<void()>& action) {
    if (m_detached) return;
    dispatch([&] {
        if (!applyPendingFocus()) return;
        finishActive(&control);
        if (needsFocus && m_form.ActiveControl() != &control) {
            m_form.FocusControl(&control);
            if (m_form.ActiveControl() != &control) return;  // refused: the action does not happen
        }
        action();
    });
    // A refused action leaves the widget as the control is.
    if (!m_detached)
        if (auto it = m_byControl.find(&control); it != m_byControl.end()) it->second->refresh();
}

void FormView::moveFocus(bool forward) {
    if (m_detached) return;
    dispatch([&] {
        if (!applyPendingFocus()) return;
        host::TControl* from = m_form.ActiveControl();
        const std::vector<host::TControl*> seq = keyboardSequence();
        const auto at = std::find(seq.begin(), seq.end(), from);
        const std::ptrdiff_t n = std::ptrdiff_t(seq.size());
        const std::ptrdiff_t start = at == seq.end() ? (forward ? -1 : n) : at - seq.begin();
        host::TControl* next = nullptr;
        for (std::ptrdiff_t step = 1; step <= n && !next; ++step) {
            host::TControl* c = seq[std::size_t(((start + (forward ? step : -step)) % n + n) % n)];
            if (c != from && c->CanFocus() && !passedBy(*c)) next = c;
        }
        if (!next) return;
        finishActive(next);
        // Entered from the keyboard: the field's text is selected.
        m_keyboardEntry = true;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{m_keyboardEntry};
        m_form.FocusControl(next);
    });
}

host::TControl* FormView::lastField() const {
    host::TControl* last = nullptr;
    for (host::TControl* c : keyboardSequence())
        if (c->CanFocus() && !passedBy(*c) && !isButton(*c)) last = c;
    return last;
}

void FormView::previewFromLastField() {
    // The form's preview, as a click on its button: the field keeps the
    // focus (the print checks know which field the user is in).
    host::TControl* preview = nullptr;
    for (host::TControl* c : m_form.AllControls())
        if (c->Name() == "sbtPreview" && c->Kind() == host::ControlKind::SpeedButton) preview = c;
    if (!preview || !preview->Enabled() || !preview->Visible()) return moveFocus(true);
    if (auto it = m_byControl.find(preview); it != m_byControl.end()) it->second->click();
}

bool FormView::stepRadio(host::TControl& c, bool forward) {
    if (c.Kind() == host::ControlKind::RadioGroup) {
        auto& group = static_cast<host::TRadioGroup&>(c);
        const int n = int(group.Items().size());
        if (n == 0 || !group.ItemsEnabled()) return true;
        const int to = std::clamp(group.ItemIndex() + (forward ? 1 : -1), 0, n - 1);
        if (to != group.ItemIndex()) userAction(c, true, [&group, to] { group.SetItemIndex(to); });
        return true;
    }
    if (c.Kind() != host::ControlKind::RadioButton) return false;
    const auto group = radioSiblings(c);
    const auto at = std::find(group.begin(), group.end(), &c);
    if (at == group.end() || group.size() < 2) return true;
    const std::ptrdiff_t n = std::ptrdiff_t(group.size());
    host::TControl* next = group[std::size_t(((at - group.begin()) + (forward ? 1 : -1) + n) % n)];
    // To the next button of the group, which is checked as the user's click.
    userAction(*next, true, [next] { next->Form().UserClick(next); });
    return true;
}

std::vector<host::TControl*> FormView::keyboardSequence() const {
    // The form's tab order among siblings; those it does not place follow,
    // top to bottom and left to right.
    std::vector<host::TControl*> out;
    std::function<void(const host::TControl*)> walk = [&](const host::TControl* parent) {
        std::vector<host::TControl*> kids = parent->Children();
        std::stable_sort(kids.begin(), kids.end(), [](const host::TControl* a, const host::TControl* b) {
            const bool pa = a->TabOrder() >= 0, pb = b->TabOrder() >= 0;
            if (pa != pb) return pa;
            if (pa) return a->TabOrder() < b->TabOrder();
            return std::pair(a->Top(), a->Left()) < std::pair(b->Top(), b->Left());
        });
        for (host::TControl* k : kids) {
            if (k->Focusable() && k->TabStop()) out.push_back(k);
            walk(k);
        }
    };
    walk(&m_form);
    return out;
}

void FormView::finishActive(const host::TControl* next) {
    host::TControl* active = m_form.ActiveControl();
    if (!active || active == next) return;
    if (auto it = m_byControl.find(active); it != m_byControl.end()) it->second->finishEditing();
}

void FormView::placeFocusRing(QWidget* focused) {
    if (!m_focusRing) return;
    host::TControl* c = focused && isAncestorOf(focused) ? controlFor(focused) : nullptr;
    QWidget* target = nullptr;
    if (c) {
        // The item buttons of a radio group are rung one by one.
        target = qobject_cast<QAbstractButton*>(focused) ? focused : widgetFor(*c);
    }
    if (!target || !target->parentWidget()) {
        m_focusRing->hide();
        return;
    }
    if (m_focusRing->parentWidget() != target->parentWidget()) m_focusRing->setParent(target->parentWidget());
    m_focusRing->setGeometry(target->geometry().adjusted(-2, -2, 2, 2));
    m_focusRing->raise();
    m_focusRing->show();
}

// --------------------------------------------------------------- focus

bool FormView::applyPendingFocus() {
    host::TControl* target = std::exchange(m_pendingFocus, nullptr);
    if (!target || m_form.ActiveControl() == target) return true;
    finishActive(target);
    m_form.FocusControl(target);
    return m_form.ActiveControl() == target;
}

void FormView::userFocused(host::TControl& control, bool byUser) {
    if (m_detached || m_busy > 0 || m_updating > 0 || m_ui.busyDepth() > 0) return;
    if (byUser)
        m_pendingFocus = &control;
    else if (m_form.ActiveControl() == &control)
        return;
    // Taken up after the event that moved the focus, so that no handler runs
    // (and no message box opens) inside Qt's focus change.
    QTimer::singleShot(0, this, [this] {
        if (m_detached || m_busy > 0 || m_ui.busyDepth() > 0) return;
        if (m_pendingFocus)
            dispatch([this] { applyPendingFocus(); });
        else
            syncFocus();
    });
}

void FormView::syncFocus() {
    if (m_detached || m_form.IsClosed()) return;
    if (host::TControl* active = m_form.ActiveControl()) showFocus(*active);
}

void FormView::showFocus(host::TControl& control) {
    if (m_detached) return;
    auto it = m_byControl.find(&control);
    if (it == m_byControl.end()) return;
    QWidget* w = it->second->focusTarget();
    if (!w || !w->isEnabled() || !w->isVisibleTo(this)) return;
    if (!w->hasFocus()) w->setFocus(Qt::OtherFocusReason);
    if (m_keyboardEntry) {
        if (auto* edit = qobject_cast<QLineEdit*>(w))
            edit->selectAll();
        else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w))
            spin->selectAll();
    }
}

bool FormView::focusNextPrevChild(bool next) {
    // Qt also calls this to take the focus off a widget it hides or disables:
    // that is no move of the user's, and the form keeps its active control.
    if (m_busy > 0 || m_updating > 0 || m_detached) return false;
    moveFocus(next);
    return true;
}

bool FormView::eventFilter(QObject* watched, QEvent* event) {
    if (m_detached) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::FocusIn: {
            // What the user types from here on is an edit in progress (Esc).
            if (auto* edit = qobject_cast<QLineEdit*>(watched)) edit->setModified(false);
            if (host::TControl* c = controlFor(watched)) {
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                const bool byUser = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                                    reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
                userFocused(*c, byUser);
            }
            break;
        }
        case QEvent::ShortcutOverride: {
            // Ctrl+F4 is the form's, whatever window shows it (a sub-window
            // would take it as its own shortcut).
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F4 && key->modifiers() == Qt::ControlModifier && controlFor(watched)) {
                event->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            host::TControl* c = controlFor(watched);
            if (!c) break;
            if (key->key() == Qt::Key_F4 && key->modifiers() == Qt::ControlModifier) {
                dispatch([this] { m_form.Close(); });
                return true;
            }
            const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && plain) {
                if (auto* combo = qobject_cast<QComboBox*>(widgetFor(*c)); combo && combo->view()->isVisible()) break;
                auto it = m_byControl.find(c);
                const bool back = key->modifiers() & Qt::ShiftModifier;
                if (it != m_byControl.end() && it->second->enterClicks())
                    it->second->click();
                else if (!back && c == lastField())
                    previewFromLastField();
                else
                    moveFocus(!back);
                return true;
            }
            if (key->key() == Qt::Key_Escape && plain) {
                if (auto* combo = qobject_cast<QComboBox*>(widgetFor(*c)); combo && combo->view()->isVisible()) break;
                // While the user types in a field, Esc does not throw the
                // form away; otherwise it closes the form as its window's
                // close button would.
                if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && edit->isModified()) return true;
                dispatch([this] { m_form.Close(); });
                return true;
            }
            if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Left ||
                 key->key() == Qt::Key_Right) &&
                plain && stepRadio(*c, key->key() == Qt::Key_Down || key->key() == Qt::Key_Right))
                return true;
            if (key->key() == Qt::Key_F4 && plain) {
                // F4 in a code field opens the search of its button.
                if (host::TControl* button = searchButtonFor(*c)) {
                    if (auto it = m_byControl.find(button); it != m_byControl.end()) it->second->click();
                    return true;
                }
                // In a date field it opens the calendar.
                if (auto it = m_byControl.find(c); it != m_byControl.end() && it->second->openPicker()) return true;
            }
            break;
        }
        default: break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pla013::gui
