#pragma once
// What the desktop remembers for each operator between sessions: the last
// report chosen, the filters of each report, the windows' places and sizes,
// the last export folder. One INI file per operator in the desktop's usual
// configuration folder ($XDG_CONFIG_HOME/pla013/OPERATOR.ini), or in the
// folder PLA013_SETTINGS_DIR names.
//
// Filters are remembered as the form's controls hold them and come back
// through the form's own handlers, as if typed (FormFilters): a value the
// form no longer takes (a branch that was removed) is refused with the
// form's usual message, never restored silently.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

class QSettings;

namespace pla013::host {
class TForm;
}

namespace pla013::gui {

class FormView;

class OperatorSettings {
public:
    explicit OperatorSettings(const std::string& operatorCode);
    ~OperatorSettings();
    OperatorSettings(const OperatorSettings&) = delete;
    OperatorSettings& operator=(const OperatorSettings&) = delete;

    // The folder of the settings files, and this operator's file.
    static QString folder();
    QString fileName() const;

    // The report chosen last, by its name in the form's list.
    QString lastReport() const;
    void setLastReport(const QString& report);

    // Control name and value, in the order they are restored.
    using Filters = std::vector<std::pair<std::string, std::string>>;
    Filters filters(const QString& report) const;
    void setFilters(const QString& report, const Filters& filters);
    void clearFilters(const QString& report);

    // A window's saved geometry ("main", "form", "preview"); empty when none.
    QByteArray geometry(const QString& window) const;
    void setGeometry(const QString& window, const QByteArray& geometry);

    QString exportFolder() const;
    void setExportFolder(const QString& folder);

    // Writes what changed to the file now.
    void sync();

private:
    std::unique_ptr<QSettings> m_settings;
};

// The form's filters as the user left them, and back.
class FormFilters {
public:
    // The name of the report chosen in the form (empty without one).
    static QString report(const host::TForm& form);
    // The value of every filter the user can reach now: fields (not
    // read-only), boxes, choices; the report list itself not.
    static OperatorSettings::Filters capture(const host::TForm& form);
    // Chooses the report and puts the filters back through the view as the
    // user would: each field typed and left (its exit check runs), each box
    // and choice clicked. Stops at the first value the form refuses; false
    // then. keepFilled: a field the form has filled itself (from what it was
    // opened with) keeps its value.
    static bool restore(FormView& view, const QString& report, const OperatorSettings::Filters& filters,
                        bool keepFilled = false);
};

}  // namespace pla013::gui
