#include "host/Form.h"

#include <algorithm>

#include "host/Errors.h"
#include "host/Ports.h"

namespace pla013::host {

const char* PresentationName(Presentation p) {
    switch (p) {
        case Presentation::None: return "none";
        case Presentation::Child: return "child";
        case Presentation::Modal: return "modal";
    }
    return "none";
}

TForm::TForm(std::string name) : TControl(this, nullptr, std::move(name), ControlKind::Form) { SetVisible(false); }

TForm::~TForm() = default;

void TForm::AdoptControl(std::unique_ptr<TControl> c) {
    m_allControls.push_back(c.get());
    m_components.push_back(std::move(c));
}

TControl* TForm::FindControl(const std::string& name) const {
    for (TControl* c : m_allControls)
        if (c->Name() == name) return c;
    return nullptr;
}

TObject* TForm::FindComponent(const std::string& name) const {
    for (const auto& c : m_components)
        if (c->Name() == name) return c.get();
    return nullptr;
}

void TForm::SetBorderStyle(TBorderStyle s) {
    m_borderStyle = s;
    Changed();
}
void TForm::SetBorderIcons(std::set<TBorderIcon> icons) {
    m_borderIcons = std::move(icons);
    Changed();
}
void TForm::SetClientSize(int w, int h) {
    m_clientWidth = w;
    m_clientHeight = h;
    Changed();
}

void TForm::SetFormStyle(TFormStyle s) {
    if (m_formStyle == s) return;
    m_formStyle = s;
    Changed();
    // A child window of the main window is shown as soon as it becomes one.
    if (s == TFormStyle::fsMDIChild) Show();
}

void TForm::Log(const std::string& text) const {
    if (InstalledPorts().ui) UI().Log(text);
}

void TForm::FocusControl(TControl* control) {
    if (!control) return;
    if (!control->CanFocus()) {
        Log("focus refused: " + control->Name() + " cannot take the focus (disabled, hidden or on a hidden page)");
        return;
    }
    if (m_inExit || m_active == control) {
        // Inside an exit handler the focus only changes hands; no further exit runs.
        if (m_inExit) m_movedInExit = true;
        m_active = control;
        UI().FocusMoved(*control);
        return;
    }
    TControl* old = m_active;
    if (old && old->OnExit) {
        m_inExit = true;
        m_movedInExit = false;
        try {
            old->OnExit(old);
        } catch (const EAbort&) {
            m_inExit = false;
            // An exit handler that aborts keeps the focus where it put it; one
            // that did not move it lets the focus go on to where it was going.
            if (!m_movedInExit && control->CanFocus()) {
                m_active = control;
                UI().FocusMoved(*control);
            }
            throw;
        } catch (...) {
            m_inExit = false;
            throw;
        }
        m_inExit = false;
    }
    m_active = control;
    UI().FocusMoved(*control);
    if (control->OnEnter) control->OnEnter(control);
}

std::vector<TControl*> TForm::TabSequence() const {
    std::vector<TControl*> out;
    std::function<void(const TControl*)> walk = [&](const TControl* parent) {
        std::vector<TControl*> kids = parent->Children();
        std::stable_sort(kids.begin(), kids.end(), [](const TControl* a, const TControl* b) {
            // Controls without a tab order follow the ordered ones, in creation order.
            int ta = a->TabOrder() < 0 ? 1 << 20 : a->TabOrder();
            int tb = b->TabOrder() < 0 ? 1 << 20 : b->TabOrder();
            return ta < tb;
        });
        for (TControl* k : kids) {
            if (k->Focusable() && k->TabStop()) out.push_back(k);
            walk(k);
        }
    };
    walk(this);
    return out;
}

TControl* TForm::FindNextControl(TControl* from, bool forward) const {
    auto seq = TabSequence();
    if (seq.empty()) return nullptr;
    int n = int(seq.size());
    int start = -1;
    for (int i = 0; i < n; ++i)
        if (seq[i] == from) start = i;
    for (int step = 1; step <= n; ++step) {
        int i = start < 0 ? (forward ? step - 1 : n - step) : ((start + (forward ? step : -step)) % n + n) % n;
        if (seq[i]->CanFocus()) return seq[i];
    }
    return nullptr;
}

void TForm::SelectNext(bool forward) {
    if (TControl* next = FindNextControl(m_active, forward)) FocusControl(next);
}

void TForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TForm::Activate() {
    if (OnActivate) OnActivate(this);
}

void TForm::Show() {
    // A form open in its modal loop stays modal: showing it again only brings
    // it to the front.
    if (m_presentation != Presentation::Modal || m_closed) m_presentation = Presentation::Child;
    m_closed = false;
    SetVisible(true);
    UI().ShowChild(*this);
}

void TForm::ShowModal() {
    m_presentation = Presentation::Modal;
    m_closed = false;
    SetVisible(true);
    UI().ShowModal(*this);
}

void TForm::Close() {
    TCloseAction action = m_formStyle == TFormStyle::fsMDIChild ? TCloseAction::caMinimize : TCloseAction::caHide;
    if (OnClose) OnClose(this, action);
    switch (action) {
        case TCloseAction::caNone: return;
        case TCloseAction::caMinimize:
        case TCloseAction::caHide:
            m_closed = true;
            SetVisible(false);
            return;
        case TCloseAction::caFree:
            m_closed = true;
            SetVisible(false);
            Application().Release(this);
            return;
    }
}

void TForm::Repaint() { Changed(); }

void TForm::UserClick(TControl* control) {
    switch (control->Kind()) {
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
        case ControlKind::RadioGroup:
        case ControlKind::ComboBox:
        case ControlKind::Edit:
        case ControlKind::MaskEdit:
        case ControlKind::SpinEdit:
        case ControlKind::DateEdit:
            FocusControl(control);
            if (m_active != control) return;  // the focus could not move there
            break;
        default: break;
    }
    control->Click();
}

// ---------------------------------------------------------------- application

TApplication& Application() {
    static TApplication app;
    return app;
}

void TApplication::Adopt(std::unique_ptr<TForm> form) { m_forms.push_back(std::move(form)); }

bool TApplication::Owns(const TForm* form) const {
    return std::any_of(m_forms.begin(), m_forms.end(), [form](const auto& f) { return f.get() == form; });
}

void TApplication::Destroy(TForm* form) {
    std::erase(m_released, form);
    auto it = std::find_if(m_forms.begin(), m_forms.end(), [form](const auto& f) { return f.get() == form; });
    if (it == m_forms.end()) return;
    std::unique_ptr<TForm> doomed = std::move(*it);
    m_forms.erase(it);
    doomed.reset();
}

void TApplication::Release(TForm* form) {
    if (std::find(m_released.begin(), m_released.end(), form) == m_released.end()) m_released.push_back(form);
}

void TApplication::ProcessReleases() {
    while (!m_released.empty()) Destroy(m_released.front());
}

void TApplication::DestroyAll() {
    m_released.clear();
    while (!m_forms.empty()) {
        std::unique_ptr<TForm> doomed = std::move(m_forms.back());
        m_forms.pop_back();
        doomed.reset();
    }
}

}  // namespace pla013::host
