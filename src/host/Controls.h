#pragma once
// Headless component library: the controls of a form as a tree of state.
// Views observe it (one change signal per control) and hold no state of
// their own; the module never knows which view is attached.

#include <functional>
#include <string>
#include <vector>

#include "Variant.h"

namespace pla013::host {

class TForm;
class TDataSource;

// Anything that can be the sender of an event.
class TObject {
public:
    explicit TObject(std::string name = {}) : m_name(std::move(name)) {}
    virtual ~TObject();
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
using TBeforeSearchEvent = std::function<void(TObject* sender, bool& flag)>;

enum class ControlKind {
    Form,
    Label,
    Bevel,
    Edit,
    MaskEdit,
    RadioButton,
    CheckBox,
    ComboBox,
    RadioGroup,
    GroupBox,
    Panel,
    Notebook,
    Page,
    SpinEdit,
    DateEdit,
    SearchButton,
    SpeedButton
};
const char* ControlKindName(ControlKind kind);  // "TLabel", "TMaskEdit", ...

enum class TColor { clWindow, clInfoBk, clBtnFace };
const char* ColorName(TColor color);

class TControl : public TObject {
public:
    TControl(TForm* form, TControl* parent, std::string name, ControlKind kind);
    ~TControl() override;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    ControlKind Kind() const { return m_kind; }
    TForm& Form() const;
    TControl* Parent() const { return m_parent; }
    const std::vector<TControl*>& Children() const { return m_children; }

    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v);
    void SetWidth(int v);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool v);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    TColor Color() const { return m_color; }
    void SetColor(TColor c);
    int TabOrder() const { return m_tabOrder; }
    void SetTabOrder(int v);
    bool TabStop() const { return m_tabStop; }
    void SetTabStop(bool v);
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& v);
    int Tag() const { return m_tag; }
    void SetTag(int v) { m_tag = v; }
    int HelpContext() const { return m_helpContext; }
    void SetHelpContext(int v) { m_helpContext = v; }

    // True when this control and every container above it are enabled and
    // showing (a notebook page shows only while it is the active page), and
    // the control is of a kind that takes the focus.
    bool CanFocus() const;
    bool Showing() const;
    bool Focused() const;
    // Asks the form for the focus; ignored (and logged) when CanFocus is false.
    void SetFocus();
    // Whether the control's kind ever takes the focus (labels, bevels, pages do not).
    virtual bool Focusable() const;

    // A click by the user (or from code); what runs depends on the kind.
    virtual void Click();

    TNotifyEvent OnClick;
    TNotifyEvent OnChange;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // Observers, called after every change of the control's state.
    using Observer = std::function<void(TControl&)>;
    int Subscribe(Observer observer);
    void Unsubscribe(int id);

    // Tells the observers that the control's state changed.
    void Changed();

private:
    friend class TForm;
    TForm* m_form;
    TControl* m_parent;
    ControlKind m_kind;
    std::vector<TControl*> m_children;
    int m_left = 0, m_top = 0, m_width = 0, m_height = 0;
    bool m_enabled = true, m_visible = true, m_tabStop = true;
    TColor m_color = TColor::clWindow;
    int m_tabOrder = -1;
    std::string m_caption;
    int m_tag = 0, m_helpContext = 0;
    std::vector<std::pair<int, Observer>> m_observers;
    int m_nextObserver = 1;
};

class TLabel : public TControl {
public:
    TLabel(TForm* form, TControl* parent, std::string name);
    bool Focusable() const override { return false; }
};

class TBevel : public TControl {
public:
    TBevel(TForm* form, TControl* parent, std::string name);
    bool Focusable() const override { return false; }
};

class TEdit : public TControl {
public:
    TEdit(TForm* form, TControl* parent, std::string name, ControlKind kind = ControlKind::Edit);
    const std::string& Text() const { return m_text; }
    // Sets the text; OnChange runs only when the text really changes.
    void SetText(const std::string& text);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool v);
    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int v);
    // What typing this text into the control leaves in it (characters that
    // the control refuses are dropped).
    virtual std::string Typed(const std::string& text) const;

private:
    std::string m_text;
    bool m_readOnly = false;
    int m_maxLength = 0;
};

// Mask "chars;save;blank": 9 optional digit, 0 digit, a/A alphanumeric,
// c/C any character, l/L letter, ! upper-cases the rest; other characters
// are literals (kept in the text only when save is 1).
class TMaskEdit : public TEdit {
public:
    TMaskEdit(TForm* form, TControl* parent, std::string name);
    const std::string& EditMask() const { return m_editMask; }
    void SetEditMask(const std::string& mask);
    std::string Typed(const std::string& text) const override;

private:
    std::string m_editMask;
};

class TCheckBox : public TControl {
public:
    TCheckBox(TForm* form, TControl* parent, std::string name);
    bool Checked() const { return m_checked; }
    // OnClick runs when the state changes, from code or by the user.
    void SetChecked(bool v);
    void Click() override;

private:
    bool m_checked = false;
};

// Checking one from code unchecks its siblings (same parent) and runs its
// OnClick; checking one already checked, and unchecking, run nothing.
class TRadioButton : public TControl {
public:
    TRadioButton(TForm* form, TControl* parent, std::string name);
    bool Checked() const { return m_checked; }
    void SetChecked(bool v);
    void Click() override;

private:
    bool m_checked = false;
};

class TComboBox : public TControl {
public:
    TComboBox(TForm* form, TControl* parent, std::string name);
    const std::vector<std::string>& Items() const { return m_items; }
    void SetItems(std::vector<std::string> items);
    int ItemIndex() const { return m_itemIndex; }
    // From code: no event.
    void SetItemIndex(int index);
    // By the user: OnChange runs when the choice changes.
    void Select(int index);
    std::string Text() const;
    bool DropDownList() const { return m_dropDownList; }
    void SetDropDownList(bool v) { m_dropDownList = v; }

private:
    std::vector<std::string> m_items;
    int m_itemIndex = -1;
    bool m_dropDownList = true;
};

class TRadioGroup : public TControl {
public:
    TRadioGroup(TForm* form, TControl* parent, std::string name);
    const std::vector<std::string>& Items() const { return m_items; }
    void SetItems(std::vector<std::string> items);
    int ItemIndex() const { return m_itemIndex; }
    // OnClick runs when the choice changes (by the user or from code).
    void SetItemIndex(int index);
    int Columns() const { return m_columns; }
    void SetColumns(int v) { m_columns = v; }
    // The group's own item buttons, switched by SetChildEnabled.
    bool ItemsEnabled() const { return m_itemsEnabled; }
    void SetItemsEnabled(bool v);

private:
    std::vector<std::string> m_items;
    int m_itemIndex = -1;
    int m_columns = 1;
    bool m_itemsEnabled = true;
};

class TGroupBox : public TControl {
public:
    TGroupBox(TForm* form, TControl* parent, std::string name);
};

class TPanel : public TControl {
public:
    TPanel(TForm* form, TControl* parent, std::string name);
};

class TPage : public TControl {
public:
    TPage(TForm* form, TControl* parent, std::string name);
    bool Focusable() const override { return false; }
};

// Pages are children of kind Page, addressed by caption.
class TNotebook : public TControl {
public:
    TNotebook(TForm* form, TControl* parent, std::string name);
    TPage* AddPage(const std::string& caption, int helpContext);
    int PageIndex() const { return m_pageIndex; }
    void SetPageIndex(int index);
    std::string ActivePage() const;
    // Shows the page with this caption; EHostError when there is none.
    void SetActivePage(const std::string& caption);
    TPage* Page(const std::string& caption) const;
    bool Focusable() const override { return false; }

private:
    std::vector<TPage*> m_pages;
    int m_pageIndex = -1;
};

// Value is the text read as a number, MinValue when the text is not one.
class TSpinEdit : public TEdit {
public:
    TSpinEdit(TForm* form, TControl* parent, std::string name);
    int Value() const;
    void SetValue(int v);
    int MinValue() const { return m_min; }
    void SetMinValue(int v);
    int MaxValue() const { return m_max; }
    void SetMaxValue(int v);
    std::string Typed(const std::string& text) const override;

private:
    int m_min = 0, m_max = 0;
};

// Date edit: text dd/mm/yyyy; OnDateChange runs whenever the text changes.
class TDateEditPlus : public TEdit {
public:
    TDateEditPlus(TForm* form, TControl* parent, std::string name);
    // The date shown; 0 when the text is empty or not a date.
    TDateTime GetDate() const;
    // Tells the user, takes the focus back and raises the silent abort when
    // the text is neither empty nor a valid date.
    void CheckValidDate();
    bool IsValidDate() const;
    std::vector<std::string> DayNames;  // Sunday first
    TNotifyEvent OnDateChange;
    std::string Typed(const std::string& text) const override;
};

// Search button: a click runs OnBeforePesq, opens the data set behind its data
// source when closed, shows the single-selection list and, after a choice,
// runs OnAfterPesq with the data set on the chosen row. A button with OnClick
// bound runs only OnClick.
class TBtnPesquisa : public TControl {
public:
    TBtnPesquisa(TForm* form, TControl* parent, std::string name);
    void Click() override;
    std::string Title;
    TDataSource* DataSource = nullptr;
    TControl* AssociatedControl = nullptr;
    std::string EmptyText;
    std::vector<std::string> DisplayFields;  // shown in the list; all visible fields when empty
    TBeforeSearchEvent OnBeforePesq;
    TNotifyEvent OnAfterPesq;
};

class TSpeedButton : public TControl {
public:
    TSpeedButton(TForm* form, TControl* parent, std::string name);
};

// Enables or disables every control inside the container (at any depth, and
// the item buttons of a radio group); the container itself stays as it is.
void SetChildEnabled(TControl& container, bool enabled);

}  // namespace pla013::host
