#include "platform/script/ControlState.h"

#include "host/Form.h"

namespace pla013::script {

using json = nlohmann::ordered_json;

ControlState::TabPlaces ControlState::tabPlaces(const host::TForm& form) {
    TabPlaces places;
    int n = 0;
    for (const host::TControl* c : form.TabSequence()) places.emplace(c, n++);
    return places;
}

json ControlState::describe(const host::TControl& c, const TabPlaces& tabs) {
    using K = host::ControlKind;
    json j;
    j["Name"] = c.Name();
    j["Kind"] = host::ControlKindName(c.Kind());
    j["Parent"] = c.Parent() && c.Parent()->Kind() != K::Form ? json(c.Parent()->Name()) : json(nullptr);
    j["Enabled"] = c.Enabled();
    j["Visible"] = c.Visible();
    switch (c.Kind()) {
        case K::Edit:
        case K::MaskEdit:
        case K::SpinEdit:
        case K::DateEdit: {
            const auto& e = static_cast<const host::TEdit&>(c);
            j["Text"] = e.Text();
            j["ReadOnly"] = e.ReadOnly();
            j["MaxLength"] = e.MaxLength();
            break;
        }
        case K::ComboBox: j["Text"] = static_cast<const host::TComboBox&>(c).Text(); break;
        default: j["Caption"] = c.Caption(); break;
    }
    if (c.Kind() == K::MaskEdit) j["EditMask"] = static_cast<const host::TMaskEdit&>(c).EditMask();
    if (c.Kind() == K::RadioButton) j["Checked"] = static_cast<const host::TRadioButton&>(c).Checked();
    if (c.Kind() == K::CheckBox) j["Checked"] = static_cast<const host::TCheckBox&>(c).Checked();
    if (c.Kind() == K::ComboBox) {
        const auto& cb = static_cast<const host::TComboBox&>(c);
        j["ItemIndex"] = cb.ItemIndex();
        j["Items"] = cb.Items();
    }
    if (c.Kind() == K::RadioGroup) {
        const auto& rg = static_cast<const host::TRadioGroup&>(c);
        j["ItemIndex"] = rg.ItemIndex();
        j["Items"] = rg.Items();
        j["Columns"] = rg.Columns();
        j["ItemsEnabled"] = rg.ItemsEnabled();
    }
    if (c.Kind() == K::SpinEdit) {
        const auto& sp = static_cast<const host::TSpinEdit&>(c);
        j["Value"] = sp.Value();
        j["MinValue"] = sp.MinValue();
        j["MaxValue"] = sp.MaxValue();
    }
    if (c.Kind() == K::Notebook) j["ActivePage"] = static_cast<const host::TNotebook&>(c).ActivePage();
    if (c.Kind() == K::SearchButton) {
        const auto& b = static_cast<const host::TBtnPesquisa&>(c);
        j["Field"] = b.AssociatedControl ? json(b.AssociatedControl->Name()) : json(nullptr);
        j["Title"] = b.Title;
    }
    j["Color"] = host::ColorName(c.Color());
    j["Left"] = c.Left();
    j["Top"] = c.Top();
    j["Width"] = c.Width();
    j["Height"] = c.Height();
    const auto tab = tabs.find(&c);
    j["Tab"] = tab == tabs.end() ? -1 : tab->second;
    j["TabStop"] = c.TabStop() && c.Focusable();
    return j;
}

json ControlState::describeForm(const host::TForm& form) {
    json j;
    j["Name"] = form.Name();
    j["Caption"] = form.Caption();
    j["Width"] = form.ClientWidth() > 0 ? form.ClientWidth() : form.Width();
    j["Height"] = form.ClientHeight() > 0 ? form.ClientHeight() : form.Height();
    j["Presentation"] = host::PresentationName(form.GetPresentation());
    return j;
}

}  // namespace pla013::script
