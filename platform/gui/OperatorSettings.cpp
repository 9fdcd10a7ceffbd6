#include "platform/gui/OperatorSettings.h"

#include <optional>
#include <set>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "host/Controls.h"
#include "host/Form.h"
#include "platform/gui/FormView.h"
#include "platform/gui/QtUserInterface.h"
#include "platform/script/FormFilters.h"

namespace pla013::gui {

namespace {

const char* const kReportList = "cbbReportNames";

// An operator code as a file name: letters, digits, '-' and '_' only.
QString fileStem(const std::string& operatorCode) {
    QString stem;
    for (QChar c : QString::fromStdString(operatorCode))
        stem += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    return stem.isEmpty() ? QStringLiteral("operador") : stem;
}

// Report names as keys: the settings file takes '/' as a group separator.
QString reportKey(const QString& report) {
    QString key = report;
    key.replace('/', '_').replace('\\', '_');
    return QStringLiteral("filters/") + key;
}

// Shown and enabled within the form, whether the form itself is on screen
// (it is not any more when it closes).
bool usable(const host::TControl& c) { return pla013::script::FormFilters::usable(c); }

bool isChoice(const host::TControl* c) {
    return dynamic_cast<const host::TCheckBox*>(c) || dynamic_cast<const host::TRadioButton*>(c) ||
           dynamic_cast<const host::TComboBox*>(c) || dynamic_cast<const host::TRadioGroup*>(c);
}

std::optional<int> index(const std::string& text) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

}  // namespace

// --------------------------------------------------------------- the file

OperatorSettings::OperatorSettings(const std::string& operatorCode)
    : m_settings(std::make_unique<QSettings>(folder() + "/" + fileStem(operatorCode) + ".ini", QSettings::IniFormat)) {}

OperatorSettings::~OperatorSettings() { m_settings->sync(); }

QString OperatorSettings::folder() {
    const QByteArray own = qgetenv("PLA013_SETTINGS_DIR");
    if (!own.isEmpty()) return QString::fromLocal8Bit(own);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/pla013");
}

QString OperatorSettings::fileName() const { return m_settings->fileName(); }

QString OperatorSettings::lastReport() const { return m_settings->value("form/lastReport").toString(); }

void OperatorSettings::setLastReport(const QString& report) { m_settings->setValue("form/lastReport", report); }

OperatorSettings::Filters OperatorSettings::filters(const QString& report) const {
    Filters out;
    for (const QString& item : m_settings->value(reportKey(report)).toStringList()) {
        const auto eq = item.indexOf('=');
        if (eq > 0) out.emplace_back(item.left(eq).toStdString(), item.mid(eq + 1).toStdString());
    }
    return out;
}

void OperatorSettings::setFilters(const QString& report, const Filters& filters) {
    if (report.isEmpty()) return;
    QStringList items;
    for (const auto& [name, value] : filters) items << QString::fromStdString(name + "=" + value);
    m_settings->setValue(reportKey(report), items);
}

void OperatorSettings::clearFilters(const QString& report) { m_settings->remove(reportKey(report)); }

QByteArray OperatorSettings::geometry(const QString& window) const {
    return m_settings->value("windows/" + window).toByteArray();
}

void OperatorSettings::setGeometry(const QString& window, const QByteArray& geometry) {
    m_settings->setValue("windows/" + window, geometry);
}

QString OperatorSettings::exportFolder() const { return m_settings->value("export/folder").toString(); }

void OperatorSettings::setExportFolder(const QString& folder) { m_settings->setValue("export/folder", folder); }

void OperatorSettings::sync() { m_settings->sync(); }

// --------------------------------------------------------------- the form

QString FormFilters::report(const host::TForm& form) {
    auto* list = dynamic_cast<host::TComboBox*>(form.FindControl(kReportList));
    return list && list->ItemIndex() >= 0 ? QString::fromStdString(list->Text()) : QString();
}

OperatorSettings::Filters FormFilters::capture(const host::TForm& form) {
    // The same filters the web host remembers: choices first, then fields,
    // each in tab order.
    return pla013::script::FormFilters::capture(form);
}

bool FormFilters::restore(FormView& view, const QString& report, const OperatorSettings::Filters& filters,
                          bool keepFilled) {
    host::TForm& form = view.form();
    std::set<const host::TControl*> filled;
    if (keepFilled)
        for (const host::TControl* c : form.AllControls())
            if (auto* edit = dynamic_cast<const host::TEdit*>(c); edit && !edit->Text().empty()) filled.insert(c);
    auto* list = dynamic_cast<host::TComboBox*>(form.FindControl(kReportList));
    if (!list) return false;
    if (!report.isEmpty()) {
        const auto& items = list->Items();
        for (std::size_t i = 0; i < items.size(); ++i)
            if (QString::fromStdString(items[i]) == report && list->ItemIndex() != int(i)) {
                view.userAction(*list, true, [list, i] { list->Select(int(i)); });
                break;
            }
        if (FormFilters::report(form) != report) return false;  // the form kept its own choice
    }
    for (const auto& [name, value] : filters) {
        if (view.detached() || form.IsClosed()) return false;
        host::TControl* c = form.FindControl(name);
        // A field the form shows no more for this report is not the user's.
        if (!c || !usable(*c)) continue;
        if (isChoice(c)) {
            if (auto* box = dynamic_cast<host::TCheckBox*>(c)) {
                if (box->Checked() != (value == "1")) view.userAction(*c, false, [&form, c] { form.UserClick(c); });
            } else if (auto* radio = dynamic_cast<host::TRadioButton*>(c)) {
                if (!radio->Checked()) view.userAction(*c, false, [&form, c] { form.UserClick(c); });
            } else if (auto* combo = dynamic_cast<host::TComboBox*>(c)) {
                const auto i = index(value);
                if (i && *i < int(combo->Items().size()) && combo->ItemIndex() != *i)
                    view.userAction(*c, true, [combo, i] { combo->Select(*i); });
            } else if (auto* group = dynamic_cast<host::TRadioGroup*>(c)) {
                const auto i = index(value);
                if (i && *i < int(group->Items().size()) && group->ItemIndex() != *i)
                    view.userAction(*c, c->CanFocus(), [group, i] { group->SetItemIndex(*i); });
            }
            continue;
        }
        auto* edit = dynamic_cast<host::TEdit*>(c);
        if (!edit || edit->ReadOnly() || edit->Text() == value || filled.count(edit)) continue;
        // Typed and left, so that its exit check runs as for the user.
        const std::string& text = value;  // a binding cannot be captured by every compiler
        view.userAction(*edit, true, [edit, &text] { edit->SetText(edit->Typed(text)); });
        if (form.ActiveControl() != edit) return false;
        view.userAction(*list, true, [] {});
        if (form.ActiveControl() == edit || view.detached()) return false;  // refused: the user sees why
    }
    return true;
}

}  // namespace pla013::gui
