#include "DrawnState.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>

#include "host/Form.h"
#include "platform/gui/FormView.h"

namespace pla013guitest {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool enabledOnScreen(const pla013::host::TControl& c) {
    for (const pla013::host::TControl* p = &c; p; p = p->Parent())
        if (!p->Enabled()) return false;
    return true;
}

QColor expectedColor(pla013::host::TColor c) {
    switch (c) {
        case pla013::host::TColor::clInfoBk: return QColor(0xff, 0xff, 0xe1);
        case pla013::host::TColor::clBtnFace: return QColor(0xf0, 0xf0, 0xf0);
        default: return QColor(Qt::white);
    }
}

}  // namespace

DrawnState compareDrawnState(const pla013::gui::FormView& view, const pla013::host::TForm& form) {
    DrawnState out;
    auto differ = [&out](const pla013::host::TControl& c, const std::string& what, const QString& drawn,
                         const QString& held) {
        out.differences.push_back(c.Name() + " " + what + ": drawn '" + drawn.toStdString() + "', control '" +
                                  held.toStdString() + "'");
    };
    auto check = [&](const pla013::host::TControl& c, const std::string& what, const QString& drawn,
                     const QString& held) {
        if (drawn != held) differ(c, what, drawn, held);
    };
    auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    using K = pla013::host::ControlKind;

    for (const pla013::host::TControl* c : form.AllControls()) {
        QWidget* w = view.widgetFor(*c);
        if (!w) {
            out.differences.push_back(c->Name() + ": no widget");
            continue;
        }
        ++out.controlsChecked;
        const QRect designed(c->Left(), c->Top(), c->Width(), c->Height());
        if (w->geometry() != designed)
            differ(*c, "geometry",
                   QStringLiteral("%1,%2 %3x%4").arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height()),
                   QStringLiteral("%1,%2 %3x%4").arg(c->Left()).arg(c->Top()).arg(c->Width()).arg(c->Height()));
        // Shown on screen exactly when the control is showing (a page only
        // while it is its notebook's active page).
        check(*c, "showing", flag(w->isVisibleTo(const_cast<pla013::gui::FormView*>(&view))), flag(c->Showing()));
        check(*c, "enabled", flag(w->isEnabled()), flag(enabledOnScreen(*c)));

        switch (c->Kind()) {
            case K::Label: check(*c, "caption", static_cast<QLabel*>(w)->text(), qs(c->Caption())); break;
            case K::GroupBox: check(*c, "caption", static_cast<QGroupBox*>(w)->title(), qs(c->Caption())); break;
            case K::Edit:
            case K::MaskEdit:
            case K::DateEdit: {
                auto* e = qobject_cast<QLineEdit*>(w);
                const auto& edit = static_cast<const pla013::host::TEdit&>(*c);
                if (!e) {
                    out.differences.push_back(c->Name() + ": not drawn as a line edit");
                    break;
                }
                check(*c, "text", e->text(), qs(edit.Text()));
                check(*c, "read-only", flag(e->isReadOnly()), flag(edit.ReadOnly()));
                if (edit.MaxLength() > 0)
                    check(*c, "max length", QString::number(e->maxLength()), QString::number(edit.MaxLength()));
                check(*c, "colour", e->palette().color(QPalette::Active, QPalette::Base).name(),
                      expectedColor(c->Color()).name());
                break;
            }
            case K::SpinEdit: {
                auto* s = qobject_cast<QAbstractSpinBox*>(w);
                check(*c, "text", s ? s->text() : QString(),
                      qs(static_cast<const pla013::host::TSpinEdit&>(*c).Text()));
                check(*c, "colour", w->palette().color(QPalette::Active, QPalette::Base).name(),
                      expectedColor(c->Color()).name());
                break;
            }
            case K::CheckBox:
            case K::RadioButton: {
                auto* b = qobject_cast<QAbstractButton*>(w);
                const bool checked = c->Kind() == K::CheckBox
                                         ? static_cast<const pla013::host::TCheckBox&>(*c).Checked()
                                         : static_cast<const pla013::host::TRadioButton&>(*c).Checked();
                check(*c, "caption", b->text(), qs(c->Caption()));
                check(*c, "checked", flag(b->isChecked()), flag(checked));
                break;
            }
            case K::ComboBox: {
                auto* cb = qobject_cast<QComboBox*>(w);
                const auto& combo = static_cast<const pla013::host::TComboBox&>(*c);
                QStringList items;
                for (const auto& i : combo.Items()) items << qs(i);
                QStringList drawn;
                for (int i = 0; i < cb->count(); ++i) drawn << cb->itemText(i);
                check(*c, "items", drawn.join('|'), items.join('|'));
                check(*c, "item index", QString::number(cb->currentIndex()), QString::number(combo.ItemIndex()));
                check(*c, "colour", cb->palette().color(QPalette::Active, QPalette::Button).name(),
                      expectedColor(c->Color()).name());
                break;
            }
            case K::RadioGroup: {
                const auto& group = static_cast<const pla013::host::TRadioGroup&>(*c);
                check(*c, "caption", static_cast<QGroupBox*>(w)->title(), qs(c->Caption()));
                // Item buttons by name: Qt reorders a widget's children as they are raised.
                QList<QRadioButton*> buttons;
                for (std::size_t i = 0; i < group.Items().size(); ++i)
                    if (auto* b = w->findChild<QRadioButton*>(qs(c->Name() + "_" + std::to_string(i)))) buttons << b;
                check(*c, "items", QString::number(w->findChildren<QRadioButton*>().size()),
                      QString::number(group.Items().size()));
                for (int i = 0; i < buttons.size() && i < int(group.Items().size()); ++i) {
                    check(*c, "item " + std::to_string(i), buttons[i]->text(), qs(group.Items()[std::size_t(i)]));
                    check(*c, "item " + std::to_string(i) + " checked", flag(buttons[i]->isChecked()),
                          flag(i == group.ItemIndex()));
                    check(*c, "item " + std::to_string(i) + " enabled", flag(buttons[i]->isEnabled()),
                          flag(enabledOnScreen(*c) && group.ItemsEnabled()));
                }
                break;
            }
            case K::Notebook: {
                auto* stack = qobject_cast<QStackedWidget*>(w);
                check(*c, "page", QString::number(stack->currentIndex()),
                      QString::number(static_cast<const pla013::host::TNotebook&>(*c).PageIndex()));
                break;
            }
            case K::SearchButton:
            case K::SpeedButton:
                if (!qobject_cast<QToolButton*>(w)) out.differences.push_back(c->Name() + ": not drawn as a button");
                break;
            default: break;
        }
    }
    return out;
}

}  // namespace pla013guitest
