#include "host/Controls.h"

#include <algorithm>
#include <cctype>

#include "host/Errors.h"
#include "host/Form.h"
#include "host/Ports.h"

namespace pla013::host {

TObject::~TObject() = default;

const char* ControlKindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Form: return "TForm";
        case ControlKind::Label: return "TLabel";
        case ControlKind::Bevel: return "TBevel";
        case ControlKind::Edit: return "TEdit";
        case ControlKind::MaskEdit: return "TMaskEdit";
        case ControlKind::RadioButton: return "TRadioButton";
        case ControlKind::CheckBox: return "TCheckBox";
        case ControlKind::ComboBox: return "TComboBox";
        case ControlKind::RadioGroup: return "TRadioGroup";
        case ControlKind::GroupBox: return "TGroupBox";
        case ControlKind::Panel: return "TPanel";
        case ControlKind::Notebook: return "TNotebook";
        case ControlKind::Page: return "TPage";
        case ControlKind::SpinEdit: return "TSpinEdit";
        case ControlKind::DateEdit: return "TDateEditPlus";
        case ControlKind::SearchButton: return "TBtnPesquisa";
        case ControlKind::SpeedButton: return "TSpeedButton";
    }
    return "TControl";
}

const char* ColorName(TColor color) {
    switch (color) {
        case TColor::clWindow: return "clWindow";
        case TColor::clInfoBk: return "clInfoBk";
        case TColor::clBtnFace: return "clBtnFace";
    }
    return "clWindow";
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TForm* form, TControl* parent, std::string name, ControlKind kind)
    : TObject(std::move(name)), m_form(form), m_parent(parent), m_kind(kind) {
    if (m_parent) m_parent->m_children.push_back(this);
}

TControl::~TControl() = default;

TForm& TControl::Form() const { return *m_form; }

void TControl::SetBounds(int left, int top, int width, int height) {
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    Changed();
}
void TControl::SetLeft(int v) {
    if (m_left != v) {
        m_left = v;
        Changed();
    }
}
void TControl::SetWidth(int v) {
    if (m_width != v) {
        m_width = v;
        Changed();
    }
}
void TControl::SetEnabled(bool v) {
    if (m_enabled != v) {
        m_enabled = v;
        Changed();
    }
}
void TControl::SetVisible(bool v) {
    if (m_visible != v) {
        m_visible = v;
        Changed();
    }
}
void TControl::SetColor(TColor c) {
    if (m_color != c) {
        m_color = c;
        Changed();
    }
}
void TControl::SetTabOrder(int v) {
    m_tabOrder = v;
    Changed();
}
void TControl::SetTabStop(bool v) {
    m_tabStop = v;
    Changed();
}
void TControl::SetCaption(const std::string& v) {
    if (m_caption != v) {
        m_caption = v;
        Changed();
    }
}

bool TControl::Focusable() const { return true; }

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->m_parent) {
        if (!c->m_visible) return false;
        if (c->m_kind == ControlKind::Page && c->m_parent) {
            auto* nb = static_cast<const TNotebook*>(c->m_parent);
            if (nb->Page(c->Caption()) != c || nb->ActivePage() != c->Caption()) return false;
        }
    }
    return true;
}

bool TControl::CanFocus() const {
    if (!Focusable() || m_kind == ControlKind::Form) return false;
    if (!Showing()) return false;
    for (const TControl* c = this; c; c = c->m_parent)
        if (!c->m_enabled) return false;
    if (m_kind == ControlKind::RadioGroup && !static_cast<const TRadioGroup*>(this)->ItemsEnabled()) return false;
    return true;
}

bool TControl::Focused() const { return m_form && m_form->ActiveControl() == this; }

void TControl::SetFocus() { Form().FocusControl(this); }

void TControl::Click() {
    if (OnClick) OnClick(this);
}

int TControl::Subscribe(Observer observer) {
    int id = m_nextObserver++;
    m_observers.emplace_back(id, std::move(observer));
    return id;
}

void TControl::Unsubscribe(int id) {
    std::erase_if(m_observers, [id](const auto& p) { return p.first == id; });
}

void TControl::Changed() {
    // A copy: an observer may subscribe or unsubscribe while being told.
    const auto observers = m_observers;
    for (const auto& [id, observer] : observers) observer(*this);
}

// ---------------------------------------------------------------- simple kinds

TLabel::TLabel(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::Label) {}
TBevel::TBevel(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::Bevel) {}
// Containers are passed by when tabbing; they take the focus only when asked.
TGroupBox::TGroupBox(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::GroupBox) {
    SetTabStop(false);
}
TPanel::TPanel(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::Panel) {
    SetTabStop(false);
}
TPage::TPage(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::Page) {}
TSpeedButton::TSpeedButton(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::SpeedButton) {}

// ---------------------------------------------------------------- TEdit

TEdit::TEdit(TForm* form, TControl* parent, std::string name, ControlKind kind)
    : TControl(form, parent, std::move(name), kind) {}

void TEdit::SetText(const std::string& text) {
    if (m_text == text) return;
    m_text = text;
    Changed();
    if (OnChange) OnChange(this);
}

void TEdit::SetReadOnly(bool v) {
    m_readOnly = v;
    Changed();
}
void TEdit::SetMaxLength(int v) {
    m_maxLength = v;
    Changed();
}

namespace {
// Number of bytes of the UTF-8 character that starts with c.
std::size_t utf8Len(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c >> 5) == 0x6) return 2;
    if ((c >> 4) == 0xE) return 3;
    if ((c >> 3) == 0x1E) return 4;
    return 1;
}

std::vector<std::string> utf8Chars(const std::string& s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = std::min(utf8Len(static_cast<unsigned char>(s[i])), s.size() - i);
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}
}  // namespace

std::string TEdit::Typed(const std::string& text) const {
    if (m_maxLength <= 0) return text;
    auto chars = utf8Chars(text);
    std::string out;
    for (int i = 0; i < m_maxLength && i < int(chars.size()); ++i) out += chars[i];
    return out;
}

// ---------------------------------------------------------------- TMaskEdit

TMaskEdit::TMaskEdit(TForm* form, TControl* parent, std::string name)
    : TEdit(form, parent, std::move(name), ControlKind::MaskEdit) {}

namespace {
struct ParsedMask {
    std::string chars;
    bool saveLiterals = true;
};

ParsedMask parseMask(const std::string& mask) {
    ParsedMask m;
    m.chars = mask;
    // "chars;save;blank": the blank character may itself be a blank.
    auto last = mask.rfind(';');
    if (last != std::string::npos && last > 0) {
        auto prev = mask.rfind(';', last - 1);
        if (prev != std::string::npos) {
            m.saveLiterals = mask.substr(prev + 1, last - prev - 1) != "0";
            m.chars = mask.substr(0, prev);
        }
    }
    return m;
}

bool isMaskSlot(char c) { return std::string_view("90aAcClL#").find(c) != std::string_view::npos; }

bool fits(char slot, const std::string& ch) {
    if (ch.size() != 1) return slot == 'c' || slot == 'C' || slot == 'l' || slot == 'L';  // accented letters
    unsigned char c = static_cast<unsigned char>(ch[0]);
    switch (slot) {
        case '9':
        case '0': return std::isdigit(c);
        case '#': return std::isdigit(c) || c == '+' || c == '-';
        case 'a':
        case 'A': return std::isalnum(c);
        case 'l':
        case 'L': return std::isalpha(c);
        default: return c >= 0x20;
    }
}
}  // namespace

void TMaskEdit::SetEditMask(const std::string& mask) {
    m_editMask = mask;
    auto pm = parseMask(mask);
    int slots = 0;
    for (std::size_t i = 0; i < pm.chars.size(); ++i) {
        if (pm.chars[i] == '\\') {
            ++i;
            if (pm.saveLiterals) ++slots;
            continue;
        }
        if (isMaskSlot(pm.chars[i]))
            ++slots;
        else if (pm.saveLiterals && pm.chars[i] != '!' && pm.chars[i] != '<' && pm.chars[i] != '>')
            ++slots;
    }
    SetMaxLength(mask.empty() ? 0 : slots);
}

std::string TMaskEdit::Typed(const std::string& text) const {
    if (m_editMask.empty()) return TEdit::Typed(text);
    auto pm = parseMask(m_editMask);
    bool upper = false, lower = false;
    std::string out;
    auto chars = utf8Chars(text);
    std::size_t in = 0;
    for (std::size_t i = 0; i < pm.chars.size() && in < chars.size(); ++i) {
        char m = pm.chars[i];
        if (m == '!') continue;
        if (m == '>') {
            upper = true;
            lower = false;
            continue;
        }
        if (m == '<') {
            lower = true;
            upper = false;
            continue;
        }
        bool literal = !isMaskSlot(m);
        if (m == '\\' && i + 1 < pm.chars.size()) {
            m = pm.chars[++i];
            literal = true;
        }
        if (literal) {
            if (chars[in] == std::string(1, m)) ++in;  // the user typed the literal
            if (pm.saveLiterals) out += m;
            continue;
        }
        // Skip typed characters that do not fit this slot.
        while (in < chars.size() && !fits(m, chars[in])) ++in;
        if (in == chars.size()) break;
        std::string ch = chars[in++];
        if (ch.size() == 1 && upper) ch[0] = char(std::toupper(static_cast<unsigned char>(ch[0])));
        if (ch.size() == 1 && lower) ch[0] = char(std::tolower(static_cast<unsigned char>(ch[0])));
        out += ch;
    }
    return out;
}

// ---------------------------------------------------------------- check box, radio button

TCheckBox::TCheckBox(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::CheckBox) {}

void TCheckBox::SetChecked(bool v) {
    if (m_checked == v) return;
    m_checked = v;
    Changed();
    if (OnClick) OnClick(this);
}

void TCheckBox::Click() { SetChecked(!m_checked); }

TRadioButton::TRadioButton(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::RadioButton) {}

void TRadioButton::SetChecked(bool v) {
    if (m_checked == v) return;
    m_checked = v;
    if (v && Parent()) {
        for (TControl* sibling : Parent()->Children()) {
            if (sibling != this && sibling->Kind() == ControlKind::RadioButton) {
                auto* rb = static_cast<TRadioButton*>(sibling);
                if (rb->m_checked) {
                    rb->m_checked = false;
                    rb->Changed();
                }
            }
        }
    }
    Changed();
    if (v && OnClick) OnClick(this);
}

void TRadioButton::Click() { SetChecked(true); }

// ---------------------------------------------------------------- combo box, radio group

TComboBox::TComboBox(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::ComboBox) {}

void TComboBox::SetItems(std::vector<std::string> items) {
    m_items = std::move(items);
    if (m_itemIndex >= int(m_items.size())) m_itemIndex = -1;
    Changed();
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= int(m_items.size())) index = -1;
    if (m_itemIndex == index) return;
    m_itemIndex = index;
    Changed();
}

void TComboBox::Select(int index) {
    if (index < 0 || index >= int(m_items.size()))
        throw EHostError(Name() + ": o item " + std::to_string(index) + " não existe.");
    if (m_itemIndex == index) return;
    m_itemIndex = index;
    Changed();
    if (OnChange) OnChange(this);
}

std::string TComboBox::Text() const { return m_itemIndex >= 0 ? m_items[m_itemIndex] : std::string(); }

TRadioGroup::TRadioGroup(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::RadioGroup) {}

void TRadioGroup::SetItems(std::vector<std::string> items) {
    m_items = std::move(items);
    Changed();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < -1 || index >= int(m_items.size()))
        throw EHostError(Name() + ": o item " + std::to_string(index) + " não existe.");
    if (m_itemIndex == index) return;
    m_itemIndex = index;
    Changed();
    if (OnClick) OnClick(this);
}

void TRadioGroup::SetItemsEnabled(bool v) {
    if (m_itemsEnabled == v) return;
    m_itemsEnabled = v;
    Changed();
}

// ---------------------------------------------------------------- notebook

TNotebook::TNotebook(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::Notebook) {}

TPage* TNotebook::AddPage(const std::string& caption, int helpContext) {
    auto* page = Form().AddControl<TPage>(this, Name() + "_" + caption);
    page->SetCaption(caption);
    page->SetHelpContext(helpContext);
    page->SetBounds(0, 0, Width(), Height());
    m_pages.push_back(page);
    return page;
}

void TNotebook::SetPageIndex(int index) {
    if (index < -1 || index >= int(m_pages.size()))
        throw EHostError(Name() + ": a página " + std::to_string(index) + " não existe.");
    if (m_pageIndex == index) return;
    m_pageIndex = index;
    Changed();
    for (TPage* p : m_pages) p->Changed();
    // A control on a page that goes away cannot keep the focus.
    TControl* active = Form().ActiveControl();
    if (active && !active->Showing()) Form().Log(active->Name() + " lost the focus: its page is hidden");
}

std::string TNotebook::ActivePage() const { return m_pageIndex >= 0 ? m_pages[m_pageIndex]->Caption() : std::string(); }

TPage* TNotebook::Page(const std::string& caption) const {
    for (TPage* p : m_pages)
        if (p->Caption() == caption) return p;
    return nullptr;
}

void TNotebook::SetActivePage(const std::string& caption) {
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i]->Caption() == caption) return SetPageIndex(int(i));
    throw EHostError(Name() + ": a página '" + caption + "' não existe.");
}

// ---------------------------------------------------------------- spin edit

TSpinEdit::TSpinEdit(TForm* form, TControl* parent, std::string name)
    : TEdit(form, parent, std::move(name), ControlKind::SpinEdit) {
    SetText("0");
}

int TSpinEdit::Value() const {
    const std::string& t = Text();
    std::size_t b = t.find_first_not_of(' ');
    if (b == std::string::npos) return m_min;
    try {
        std::size_t used = 0;
        long v = std::stol(t.substr(b), &used);
        if (t.find_first_not_of(' ', b + used) != std::string::npos) return m_min;
        return int(v);
    } catch (...) {
        return m_min;
    }
}

void TSpinEdit::SetValue(int v) { SetText(std::to_string(v)); }
void TSpinEdit::SetMinValue(int v) {
    m_min = v;
    Changed();
}
void TSpinEdit::SetMaxValue(int v) {
    m_max = v;
    Changed();
}

// Digits only; a leading minus only where the range has negative values.
std::string TSpinEdit::Typed(const std::string& text) const {
    std::string out;
    for (char c : text)
        if (std::isdigit(static_cast<unsigned char>(c)) || (c == '-' && out.empty() && m_min < 0)) out += c;
    return out;
}

// ---------------------------------------------------------------- date edit

TDateEditPlus::TDateEditPlus(TForm* form, TControl* parent, std::string name)
    : TEdit(form, parent, std::move(name), ControlKind::DateEdit) {
    OnChange = [this](TObject*) {
        if (OnDateChange) OnDateChange(this);
    };
}

bool TDateEditPlus::IsValidDate() const {
    TDateTime d;
    return TryStrToDate(Text(), d);
}

TDateTime TDateEditPlus::GetDate() const {
    TDateTime d = 0;
    return TryStrToDate(Text(), d) ? d : 0;
}

void TDateEditPlus::CheckValidDate() {
    std::string t = Text();
    if (t.find_first_not_of(" /") == std::string::npos) return;
    if (!IsValidDate()) {
        // The user stays in the field until the date is mended or cleared.
        UI().ShowError("'" + t + "' não é uma data válida.");
        if (CanFocus()) SetFocus();
        throw EAbort();
    }
}

std::string TDateEditPlus::Typed(const std::string& text) const {
    std::string out;
    for (char c : text)
        if ((std::isdigit(static_cast<unsigned char>(c)) || c == '/') && out.size() < 10) out += c;
    return out;
}

// ---------------------------------------------------------------- search button

TBtnPesquisa::TBtnPesquisa(TForm* form, TControl* parent, std::string name)
    : TControl(form, parent, std::move(name), ControlKind::SearchButton) {}

void SearchButtonRun(TBtnPesquisa& button);  // Utils.cpp

void TBtnPesquisa::Click() {
    if (OnClick) {
        OnClick(this);
        return;
    }
    SearchButtonRun(*this);
}

// ---------------------------------------------------------------- SetChildEnabled

void SetChildEnabled(TControl& container, bool enabled) {
    if (container.Kind() == ControlKind::RadioGroup) static_cast<TRadioGroup&>(container).SetItemsEnabled(enabled);
    for (TControl* child : container.Children()) {
        child->SetEnabled(enabled);
        SetChildEnabled(*child, enabled);
    }
}

}  // namespace pla013::host
