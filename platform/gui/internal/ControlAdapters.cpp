// One small adapter per kind of control. Each creates its widget, copies the
// control's state into it on every change signal, and turns what the user
// does on the widget into the user's action on the control (through the
// view, which moves the focus first and ends aborts quietly). Widgets never
// change their own state: a click or a keystroke goes to the control, and
// the control's change signal brings the widget up to date, so a refused
// action leaves the widget as the control is.

#include <algorithm>
#include <cmath>

#include <QAbstractSpinBox>
#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "host/Form.h"
#include "platform/gui/FormView.h"
#include "platform/gui/internal/ControlAdapter.h"

namespace pla013::gui::internal {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// --------------------------------------------------------------- widgets

// Buttons whose checked state only the control sets: a click is reported,
// never acted upon by the button itself.
class ModelCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

class ModelRadioButton final : public QRadioButton {
public:
    explicit ModelRadioButton(QWidget* parent) : QRadioButton(parent) { setAutoExclusive(false); }

protected:
    void nextCheckState() override {}
};

// A spin edit is text like any edit (the form validates its value); the
// arrows step the value within the control's range.
class ModelSpinBox final : public QAbstractSpinBox {
public:
    using QAbstractSpinBox::QAbstractSpinBox;
    QLineEdit* edit() const { return lineEdit(); }
    std::function<void(int)> onStep;
    void stepBy(int steps) override {
        if (onStep) onStep(steps);
    }

protected:
    StepEnabled stepEnabled() const override {
        return isReadOnly() || !isEnabled() ? StepNone : (StepUpEnabled | StepDownEnabled);
    }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    void fixup(QString&) const override {}
};

// A disabled field is grey whatever its colour, so that it never passes for
// one the user can type in.
const QColor kDisabledFace(0xdc, 0xdc, 0xdc);

void setBackground(QWidget* w, const QColor& color, bool alsoButton) {
    QPalette p = w->palette();
    bool changed = false;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor face = group == QPalette::Disabled ? kDisabledFace : color;
        if (p.color(group, QPalette::Base) != face) {
            p.setColor(group, QPalette::Base, face);
            changed = true;
        }
        if (alsoButton && p.color(group, QPalette::Button) != face) {
            p.setColor(group, QPalette::Button, face);
            changed = true;
        }
    }
    // Disabled names stay readable on the grey face.
    if (p.color(QPalette::Disabled, QPalette::Text) != QColor(0x55, 0x55, 0x55)) {
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x55, 0x55, 0x55));
        changed = true;
    }
    if (changed) w->setPalette(p);
}

// Toolbar and search button faces, drawn so that no icon theme is needed.
QIcon buttonIcon(const std::string& name, host::ControlKind kind) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen ink(QColor(0x30, 0x30, 0x30), 1.2);
    p.setPen(ink);
    auto magnifier = [&p](QPointF c, double r) {
        p.setBrush(QColor(0xd8, 0xe8, 0xff));
        p.drawEllipse(c, r, r);
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2.2));
        p.drawLine(c + QPointF(r * 0.7, r * 0.7), c + QPointF(r * 1.9, r * 1.9));
    };
    if (kind == host::ControlKind::SearchButton) {
        magnifier(QPointF(6.5, 6.5), 4.2);
    } else if (name == "sbtPrint") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(0xb0, 0xb0, 0xb0));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
    } else if (name == "sbtPreview") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 0.5, 10, 13));
        magnifier(QPointF(9, 9), 3.3);
    } else if (name == "sbtSalvarComo") {
        p.setBrush(QColor(0x40, 0x60, 0xa0));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 2, 8, 5));
        p.setBrush(QColor(0xc0, 0xc0, 0xc0));
        p.drawRect(QRectF(4.5, 9.5, 7, 5));
    } else {
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, qs(name).left(1));
    }
    p.end();
    return QIcon(pm);
}

QIcon calendarIcon() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QColor(0x30, 0x30, 0x30));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 12));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(0xc0, 0x30, 0x30));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.fillRect(QRectF(3 + c * 3, 7.5 + r * 2.3, 1.6, 1.4), QColor(0x50, 0x50, 0x50));
    p.end();
    return QIcon(pm);
}

}  // namespace

QString fullDate(const QString& text, int currentYear) {
    static const QRegularExpression digitsOnly(QStringLiteral("^(\\d{2})(\\d{2})(\\d{4})$"));
    static const QRegularExpression shortYear(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{2})$"));
    const QString t = text.trimmed();
    if (const auto m = digitsOnly.match(t); m.hasMatch())
        return m.captured(1) + '/' + m.captured(2) + '/' + m.captured(3);
    if (const auto m = shortYear.match(t); m.hasMatch()) {
        // Two digits name a year of this century up to twenty years ahead,
        // of the last one beyond.
        const int yy = m.captured(3).toInt();
        const int century = currentYear / 100 * 100;
        const int year = century + yy <= currentYear + 20 ? century + yy : century - 100 + yy;
        return QStringLiteral("%1/%2/%3").arg(m.captured(1), 2, QChar('0')).arg(m.captured(2), 2, QChar('0')).arg(year);
    }
    return text;
}

namespace {

Qt::FocusPolicy fieldFocus(const host::TControl& c) { return c.TabStop() ? Qt::StrongFocus : Qt::ClickFocus; }

// A container takes the focus only when the form sends it there (the view
// passes containers by on Tab; a click does not reach them). It keeps it
// then: with no focus policy at all a group box would hand it to a child.
Qt::FocusPolicy containerFocus() { return Qt::TabFocus; }

// --------------------------------------------------------------- kinds

class LabelAdapter final : public ControlAdapter {
public:
    LabelAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new QLabel(parent)) {
        m_w->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    QWidget* widget() const override { return m_w; }

protected:
    void refreshKind() override { m_w->setText(qs(m_control.Caption())); }
    void applyColor(const QColor&) override {}

private:
    QLabel* m_w;
};

class BevelAdapter final : public ControlAdapter {
public:
    BevelAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new QFrame(parent)) {
        m_w->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    }
    QWidget* widget() const override { return m_w; }

protected:
    void applyColor(const QColor&) override {}

private:
    QFrame* m_w;
};

class PanelAdapter final : public ControlAdapter {
public:
    PanelAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new QFrame(parent)) {
        m_w->setFrameStyle(QFrame::Panel | QFrame::Raised);
        m_w->setFocusPolicy(containerFocus());
    }
    QWidget* widget() const override { return m_w; }

protected:
    void applyColor(const QColor&) override {}

private:
    QFrame* m_w;
};

class GroupBoxAdapter final : public ControlAdapter {
public:
    GroupBoxAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new QGroupBox(parent)) {
        m_w->setFocusPolicy(containerFocus());
    }
    QWidget* widget() const override { return m_w; }

protected:
    void refreshKind() override { m_w->setTitle(qs(m_control.Caption())); }
    void applyColor(const QColor&) override {}

private:
    QGroupBox* m_w;
};

// Edits, mask edits and date edits: what the user types goes through the
// control's Typed (the mask's filter) before it becomes the control's text.
class EditAdapter final : public ControlAdapter {
public:
    EditAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new QLineEdit(parent)) {
        m_w->setFocusPolicy(fieldFocus(c));
        m_w->setFrame(true);
        QObject::connect(m_w, &QLineEdit::textEdited, m_w, [this](const QString& text) { typed(text); });
        if (c.Kind() == host::ControlKind::DateEdit) {
            QAction* calendar = m_w->addAction(calendarIcon(), QLineEdit::TrailingPosition);
            calendar->setObjectName("calendar");
            calendar->setToolTip(QStringLiteral("Calendário (F4)"));
            QObject::connect(calendar, &QAction::triggered, m_w, [this] { openPicker(); });
        }
    }
    QWidget* widget() const override { return m_w; }

    void finishEditing() override {
        if (m_control.Kind() != host::ControlKind::DateEdit || !m_control.Enabled()) return;
        auto& edit = static_cast<host::TEdit&>(m_control);
        const QString text = qs(edit.Text());
        const QString full = fullDate(text, QDate::currentDate().year());
        if (full != text) edit.SetText(edit.Typed(full.toStdString()));
    }

    // The calendar of a date field, on the date typed (today when none).
    bool openPicker() override {
        if (m_control.Kind() != host::ControlKind::DateEdit || !m_w->isEnabled() || m_w->isReadOnly()) return false;
        auto* popup = new QWidget(m_w, Qt::Popup);
        popup->setObjectName("calendarPopup");
        popup->setAttribute(Qt::WA_DeleteOnClose);
        auto* calendar = new QCalendarWidget(popup);
        calendar->setObjectName("calendar");
        calendar->setGridVisible(true);
        calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        calendar->setFirstDayOfWeek(Qt::Sunday);
        const QDate typed = QDate::fromString(fullDate(m_w->text(), QDate::currentDate().year()), "dd/MM/yyyy");
        calendar->setSelectedDate(typed.isValid() ? typed : QDate::currentDate());
        auto* layout = new QVBoxLayout(popup);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->addWidget(calendar);
        QObject::connect(calendar, &QCalendarWidget::activated, popup, [this, popup](QDate date) {
            popup->close();
            const std::string text = date.toString("dd/MM/yyyy").toStdString();
            auto& edit = static_cast<host::TEdit&>(m_control);
            m_view.userAction(m_control, true, [&edit, text] { edit.SetText(edit.Typed(text)); });
        });
        QObject::connect(calendar, &QCalendarWidget::clicked, calendar, &QCalendarWidget::activated);
        popup->adjustSize();
        popup->move(m_w->mapToGlobal(QPoint(0, m_w->height())));
        popup->show();
        calendar->setFocus(Qt::PopupFocusReason);
        return true;
    }

protected:
    void refreshKind() override {
        auto& edit = static_cast<host::TEdit&>(m_control);
        const QString text = qs(edit.Text());
        // The control's text is shown whole even when code set it longer than
        // the user may type.
        const int max = edit.MaxLength() > 0 ? std::max<int>(edit.MaxLength(), int(text.size())) : 32767;
        if (m_w->maxLength() != max) m_w->setMaxLength(max);
        m_w->setReadOnly(edit.ReadOnly());
        // A box that only shows a value is no stop of the keyboard's.
        const Qt::FocusPolicy policy = edit.ReadOnly() ? Qt::ClickFocus : fieldFocus(m_control);
        if (m_w->focusPolicy() != policy) m_w->setFocusPolicy(policy);
        if (m_w->text() != text) {
            const int pos = m_w->cursorPosition();
            m_w->setText(text);
            m_w->setCursorPosition(std::min<int>(pos, int(text.size())));
        }
        if (m_control.Kind() == host::ControlKind::DateEdit) {
            // The weekday in full beside the abbreviation the form shows.
            const QDate shown = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
            QString tip = QStringLiteral("Data: dd/mm/aaaa, ddmmaaaa ou dd/mm/aa; F4 abre o calendário");
            if (shown.isValid())
                tip = QLocale(QLocale::Portuguese, QLocale::Brazil)
                          .toString(shown, QStringLiteral("dddd, d 'de' MMMM 'de' yyyy")) +
                      QStringLiteral("\n") + tip;
            if (m_w->toolTip() != tip) m_w->setToolTip(tip);
        }
    }
    void applyColor(const QColor& color) override { setBackground(m_w, color, false); }

private:
    void typed(const QString& text) {
        if (m_view.updating()) return;
        auto& edit = static_cast<host::TEdit&>(m_control);
        // Eight digits make a whole date as soon as they are typed.
        const std::string raw = (m_control.Kind() == host::ControlKind::DateEdit && !text.contains('/')
                                     ? fullDate(text, QDate::currentDate().year())
                                     : text)
                                    .toStdString();
        m_view.userAction(m_control, true, [&edit, raw] { edit.SetText(edit.Typed(raw)); });
    }
    QLineEdit* m_w;
};

class SpinEditAdapter final : public ControlAdapter {
public:
    SpinEditAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new ModelSpinBox(parent)) {
        m_w->setFocusPolicy(fieldFocus(c));
        m_w->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        QObject::connect(m_w->edit(), &QLineEdit::textEdited, m_w, [this](const QString& text) {
            if (m_view.updating()) return;
            auto& spin = static_cast<host::TSpinEdit&>(m_control);
            const std::string raw = text.toStdString();
            m_view.userAction(m_control, true, [&spin, raw] { spin.SetText(spin.Typed(raw)); });
        });
        m_w->onStep = [this](int steps) {
            if (m_view.updating()) return;
            auto& spin = static_cast<host::TSpinEdit&>(m_control);
            m_view.userAction(m_control, true, [&spin, steps] {
                const int v =
                    std::clamp(spin.Value() + steps, spin.MinValue(), std::max(spin.MinValue(), spin.MaxValue()));
                spin.SetValue(v);
            });
        };
    }
    QWidget* widget() const override { return m_w; }

protected:
    void refreshKind() override {
        auto& spin = static_cast<host::TSpinEdit&>(m_control);
        const QString text = qs(spin.Text());
        if (m_w->edit()->text() != text) m_w->edit()->setText(text);
        m_w->setReadOnly(spin.ReadOnly());
    }
    void applyColor(const QColor& color) override {
        setBackground(m_w, color, false);
        setBackground(m_w->edit(), color, false);
    }

private:
    ModelSpinBox* m_w;
};

// Check boxes and radio buttons: a click goes to the model as the user's, the
// checked state comes back from it.
template <class Widget, class Model>
class CheckableAdapter final : public ControlAdapter {
public:
    CheckableAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new Widget(parent)) {
        m_w->setFocusPolicy(fieldFocus(c));
        QObject::connect(m_w, &QAbstractButton::clicked, m_w, [this] { click(); });
    }
    QWidget* widget() const override { return m_w; }
    void click() override {
        if (m_view.updating()) return;
        host::TControl* c = &m_control;
        m_view.userAction(m_control, false, [c] { c->Form().UserClick(c); });
    }

protected:
    void refreshKind() override {
        m_w->setText(qs(m_control.Caption()));
        m_w->setChecked(static_cast<Model&>(m_control).Checked());
    }
    void applyColor(const QColor&) override {}

private:
    Widget* m_w;
};
using CheckBoxAdapter = CheckableAdapter<ModelCheckBox, host::TCheckBox>;
using RadioButtonAdapter = CheckableAdapter<ModelRadioButton, host::TRadioButton>;

class ComboBoxAdapter final : public ControlAdapter {
public:
    ComboBoxAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new QComboBox(parent)) {
        m_w->setFocusPolicy(fieldFocus(c));
        m_w->setEditable(false);
        m_w->setMaxVisibleItems(12);
        QObject::connect(m_w, &QComboBox::activated, m_w, [this](int index) {
            if (m_view.updating()) return;
            auto& combo = static_cast<host::TComboBox&>(m_control);
            m_view.userAction(m_control, true, [&combo, index] { combo.Select(index); });
        });
    }
    QWidget* widget() const override { return m_w; }

protected:
    void refreshKind() override {
        auto& combo = static_cast<host::TComboBox&>(m_control);
        const QSignalBlocker block(m_w);
        QStringList items;
        for (const auto& item : combo.Items()) items << qs(item);
        QStringList shown;
        for (int i = 0; i < m_w->count(); ++i) shown << m_w->itemText(i);
        if (shown != items) {
            m_w->clear();
            m_w->addItems(items);
        }
        if (m_w->currentIndex() != combo.ItemIndex()) m_w->setCurrentIndex(combo.ItemIndex());
    }
    void applyColor(const QColor& color) override { setBackground(m_w, color, true); }

private:
    QComboBox* m_w;
};

// A radio group is one control: its items are buttons of the group box,
// laid out in the control's columns.
class RadioGroupAdapter final : public ControlAdapter {
public:
    RadioGroupAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new QGroupBox(parent)) {}
    QWidget* widget() const override { return m_w; }
    QWidget* focusTarget() const override {
        const int i = static_cast<host::TRadioGroup&>(m_control).ItemIndex();
        if (i >= 0 && i < int(m_buttons.size())) return m_buttons[std::size_t(i)];
        return m_buttons.empty() ? static_cast<QWidget*>(m_w) : m_buttons.front();
    }
    QWidget* button(int index) const {
        return index >= 0 && index < int(m_buttons.size()) ? m_buttons[std::size_t(index)] : nullptr;
    }

protected:
    void refreshKind() override {
        auto& group = static_cast<host::TRadioGroup&>(m_control);
        m_w->setTitle(qs(group.Caption()));
        if (m_items != group.Items()) rebuild(group);
        layoutItems(group);
        for (std::size_t i = 0; i < m_buttons.size(); ++i) {
            m_buttons[i]->setChecked(int(i) == group.ItemIndex());
            m_buttons[i]->setEnabled(group.ItemsEnabled());
        }
    }
    void applyColor(const QColor&) override {}

private:
    void rebuild(host::TRadioGroup& group) {
        for (auto* b : m_buttons) delete b;
        m_buttons.clear();
        m_items = group.Items();
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            auto* b = new ModelRadioButton(m_w);
            b->setObjectName(qs(m_control.Name() + "_" + std::to_string(i)));
            b->setText(qs(m_items[i]));
            b->setFocusPolicy(fieldFocus(m_control));
            const int index = int(i);
            QObject::connect(b, &QAbstractButton::clicked, b, [this, index] {
                if (m_view.updating()) return;
                auto& g = static_cast<host::TRadioGroup&>(m_control);
                m_view.userAction(m_control, true, [&g, index] { g.SetItemIndex(index); });
            });
            m_view.watch(b);
            b->show();
            m_buttons.push_back(b);
        }
    }
    void layoutItems(const host::TRadioGroup& group) {
        if (m_buttons.empty()) return;
        const int columns = std::max(1, group.Columns());
        const int rows = int((m_buttons.size() + std::size_t(columns) - 1) / std::size_t(columns));
        const int top = 15, left = 8;
        const int columnWidth = std::max(1, (group.Width() - 2 * left) / columns);
        const int rowHeight = std::max(1, (group.Height() - top - 4) / rows);
        for (std::size_t i = 0; i < m_buttons.size(); ++i) {
            const int col = int(i) / rows, row = int(i) % rows;
            m_buttons[i]->setGeometry(left + col * columnWidth, top + row * rowHeight, columnWidth - 4,
                                      std::min(rowHeight, 19));
        }
    }
    QGroupBox* m_w;
    std::vector<std::string> m_items;
    std::vector<ModelRadioButton*> m_buttons;
};

// Pages are addressed by caption; the stack shows the active one.
class NotebookAdapter final : public ControlAdapter {
public:
    NotebookAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new QStackedWidget(parent)) {
        m_w->setFocusPolicy(Qt::NoFocus);
    }
    QWidget* widget() const override { return m_w; }

protected:
    void refreshKind() override {
        const int index = static_cast<host::TNotebook&>(m_control).PageIndex();
        if (index >= 0 && index < m_w->count() && m_w->currentIndex() != index) m_w->setCurrentIndex(index);
    }
    void applyColor(const QColor&) override {}

private:
    QStackedWidget* m_w;
};

class PageAdapter final : public ControlAdapter {
public:
    PageAdapter(FormView& v, host::TControl& c, QWidget* parent) : ControlAdapter(v, c), m_w(new QWidget(parent)) {
        if (auto* stack = qobject_cast<QStackedWidget*>(parent)) {
            stack->addWidget(m_w);
            // The notebook's page may have been chosen before this page existed.
            const int index = static_cast<host::TNotebook*>(c.Parent())->PageIndex();
            if (index >= 0 && index < stack->count()) stack->setCurrentIndex(index);
        }
    }
    QWidget* widget() const override { return m_w; }

protected:
    bool managedByParent() const override { return true; }
    void applyColor(const QColor&) override {}

private:
    QWidget* m_w;
};

// Search buttons and toolbar buttons: a click does not take the focus from
// the field the user is in (the print checks rely on it); Tab reaches the
// toolbar's.
class ButtonAdapter final : public ControlAdapter {
public:
    ButtonAdapter(FormView& v, host::TControl& c, QWidget* parent)
        : ControlAdapter(v, c), m_w(new QToolButton(parent)) {
        // Search buttons are reached with F4 in their field and the mouse.
        m_w->setFocusPolicy(c.TabStop() && c.Kind() != host::ControlKind::SearchButton ? Qt::TabFocus : Qt::NoFocus);
        m_w->setIcon(buttonIcon(c.Name(), c.Kind()));
        m_w->setIconSize(QSize(16, 16));
        m_w->setAutoRaise(c.Kind() == host::ControlKind::SpeedButton);
        QObject::connect(m_w, &QToolButton::clicked, m_w, [this] { click(); });
        // The form's three actions have keys anywhere in the form.
        static const std::pair<const char*, QKeySequence> kKeys[] = {
            {"sbtPreview", QKeySequence(Qt::Key_F9)},
            {"sbtPrint", QKeySequence(Qt::CTRL | Qt::Key_P)},
            {"sbtSalvarComo", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        };
        for (const auto& [name, keys] : kKeys) {
            if (c.Name() != name) continue;
            m_keys = keys;
            auto* shortcut = new QShortcut(keys, &v, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
            QObject::connect(shortcut, &QShortcut::activated, m_w, [this] {
                if (m_w->isEnabled() && m_w->isVisible()) click();
            });
        }
    }
    QWidget* widget() const override { return m_w; }
    bool enterClicks() const override { return true; }
    void click() override {
        if (m_view.updating()) return;
        host::TControl* c = &m_control;
        m_view.userAction(m_control, false, [c] { c->Form().UserClick(c); });
    }

protected:
    void refreshKind() override {
        std::string tip = m_control.Caption();
        if (m_control.Kind() == host::ControlKind::SearchButton)
            tip = "Pesquisar " + static_cast<host::TBtnPesquisa&>(m_control).Title + " (F4)";
        else if (!m_keys.isEmpty())
            tip += " (" + m_keys.toString(QKeySequence::NativeText).toStdString() + ")";
        m_w->setToolTip(qs(tip));
        m_w->setAccessibleName(qs(tip));
    }
    void applyColor(const QColor&) override {}

private:
    QToolButton* m_w;
    QKeySequence m_keys;
};

}  // namespace

// --------------------------------------------------------------- base

QColor screenColor(host::TColor color) {
    switch (color) {
        case host::TColor::clInfoBk: return QColor(0xff, 0xff, 0xe1);
        case host::TColor::clBtnFace: return QColor(0xf0, 0xf0, 0xf0);
        case host::TColor::clWindow: return QColor(Qt::white);
    }
    return QColor(Qt::white);
}

ControlAdapter::ControlAdapter(FormView& view, host::TControl& control) : m_view(view), m_control(control) {}

ControlAdapter::~ControlAdapter() = default;

void ControlAdapter::subscribe() {
    if (!m_observer) m_observer = m_control.Subscribe([this](host::TControl&) { refresh(); });
}

void ControlAdapter::unsubscribe() {
    if (m_observer) m_control.Unsubscribe(m_observer);
    m_observer = 0;
}

void ControlAdapter::applyColor(const QColor& color) { setBackground(widget(), color, false); }

void ControlAdapter::refresh() {
    FormView::UpdateGuard guard(m_view);
    QWidget* w = widget();
    // Pages lie in their notebook's stack, which shows one at a time; every
    // page keeps the designed size all the same.
    const QRect designed(m_control.Left(), m_control.Top(), m_control.Width() + m_view.stretch(m_control),
                         m_control.Height());
    if (w->geometry() != designed) w->setGeometry(designed);
    if (!managedByParent() && w->isHidden() == m_control.Visible()) w->setVisible(m_control.Visible());
    // The widget's own state; Qt disables the children of a disabled
    // container as the control's CanFocus does.
    if (w->testAttribute(Qt::WA_ForceDisabled) == m_control.Enabled()) w->setEnabled(m_control.Enabled());
    applyColor(screenColor(m_control.Color()));
    refreshKind();
}

std::unique_ptr<ControlAdapter> createAdapter(FormView& view, host::TControl& control, QWidget* parent) {
    using K = host::ControlKind;
    std::unique_ptr<ControlAdapter> a;
    switch (control.Kind()) {
        case K::Label: a = std::make_unique<LabelAdapter>(view, control, parent); break;
        case K::Bevel: a = std::make_unique<BevelAdapter>(view, control, parent); break;
        case K::Panel: a = std::make_unique<PanelAdapter>(view, control, parent); break;
        case K::GroupBox: a = std::make_unique<GroupBoxAdapter>(view, control, parent); break;
        case K::Edit:
        case K::MaskEdit:
        case K::DateEdit: a = std::make_unique<EditAdapter>(view, control, parent); break;
        case K::SpinEdit: a = std::make_unique<SpinEditAdapter>(view, control, parent); break;
        case K::CheckBox: a = std::make_unique<CheckBoxAdapter>(view, control, parent); break;
        case K::RadioButton: a = std::make_unique<RadioButtonAdapter>(view, control, parent); break;
        case K::ComboBox: a = std::make_unique<ComboBoxAdapter>(view, control, parent); break;
        case K::RadioGroup: a = std::make_unique<RadioGroupAdapter>(view, control, parent); break;
        case K::Notebook: a = std::make_unique<NotebookAdapter>(view, control, parent); break;
        case K::Page: a = std::make_unique<PageAdapter>(view, control, parent); break;
        case K::SearchButton:
        case K::SpeedButton: a = std::make_unique<ButtonAdapter>(view, control, parent); break;
        case K::Form: return nullptr;  // the view itself
    }
    a->widget()->setObjectName(QString::fromStdString(control.Name()));
    return a;
}

}  // namespace pla013::gui::internal
