// The controls of the dish report form as its constructor leaves them:
// names, kinds, parents, designed state, geometry, tab order and events.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "form/TfrmRelatPrato.h"
#include "host/Ports.h"

using pla013::TfrmRelatPrato;
using pla013::host::ControlKind;
using pla013::host::TColor;
using pla013::host::TControl;

namespace {

constexpr int kAny = INT_MIN;  // tab order not fixed by the design
const std::optional<TColor> kAnyColor;
const std::optional<TColor> kInfo = TColor::clInfoBk;
const std::optional<TColor> kFace = TColor::clBtnFace;

using Getter = TControl* (*)(TfrmRelatPrato&);
#define CTRL(member) #member, [](TfrmRelatPrato & f) -> TControl* { return f.member; }

struct ControlRow {
    const char* name;
    Getter get;
    ControlKind kind;
    const char* parent;   // control name, "page:CAPTION" for a notebook page, nullptr: the base decides
    const char* caption;  // nullptr: not checked
    const char* mask;     // nullptr: not a mask edit
    int maxLength;        // 0: none
    int tabOrder;
    bool enabled;
    std::optional<TColor> color;
};

const ControlRow kControls[] = {
    // inherited, with the captions and sizes this form gives them
    {CTRL(lblCodTela), ControlKind::Label, nullptr, "PLA01303", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(lblCodRel), ControlKind::Label, "panMenu", "PLA013", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(grbDadosRel), ControlKind::GroupBox, nullptr, nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(panRelat), ControlKind::Panel, "grbDadosRel", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(bvlSeparator), ControlKind::Bevel, "grbDadosRel", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(cbbReportNames), ControlKind::ComboBox, "panRelat", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(panMenu), ControlKind::Panel, nullptr, nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(sbtPrint), ControlKind::SpeedButton, "panMenu", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(sbtPreview), ControlKind::SpeedButton, "panMenu", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(sbtSalvarComo), ControlKind::SpeedButton, "panMenu", nullptr, nullptr, 0, kAny, true, kAnyColor},
    // cost type
    {CTRL(grbTipoCust), ControlKind::GroupBox, "grbDadosRel", "", nullptr, 0, 1, true, kAnyColor},
    {CTRL(Label1), ControlKind::Label, "grbTipoCust", "Tipo de Custo", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(cbbTipoCust), ControlKind::ComboBox, "grbTipoCust", nullptr, nullptr, 0, kAny, true, kInfo},
    // origin and notebook
    {CTRL(grbTpRece), ControlKind::GroupBox, "grbDadosRel", "Origem", nullptr, 0, 2, true, kAnyColor},
    {CTRL(rdbPadrao), ControlKind::RadioButton, "grbTpRece", "Padrão", nullptr, 0, 0, true, kAnyColor},
    {CTRL(rdbTipo), ControlKind::RadioButton, "grbTpRece", "Tipo de Cardápio", nullptr, 0, 1, false, kAnyColor},
    {CTRL(rdbLocal), ControlKind::RadioButton, "grbTpRece", "Local", nullptr, 0, 2, true, kAnyColor},
    {CTRL(rdbServico), ControlKind::RadioButton, "grbTpRece", "Por Serviço", nullptr, 0, 3, true, kAnyColor},
    {CTRL(nbkFiltroFili), ControlKind::Notebook, "grbTpRece", nullptr, nullptr, 0, 4, true, kAnyColor},
    // page "Padrão"
    {CTRL(lblCdFilial), ControlKind::Label, "page:Padrão", "Filial", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(medCdFilial), ControlKind::MaskEdit, "page:Padrão", nullptr, "9999;0; ", 4, 1, true, kInfo},
    {CTRL(btnFilial), ControlKind::SearchButton, "page:Padrão", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(edtNmFilial), ControlKind::Edit, "page:Padrão", nullptr, nullptr, 0, 3, false, kFace},
    {CTRL(lblCdServico), ControlKind::Label, "page:Padrão", "Serviço", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(medCdServFili), ControlKind::MaskEdit, "page:Padrão", nullptr, "ccccc;0; ", 5, 2, true, kInfo},
    {CTRL(btnServico), ControlKind::SearchButton, "page:Padrão", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(edtNmServico), ControlKind::Edit, "page:Padrão", nullptr, nullptr, 0, 0, false, kFace},
    // page "TipoCard"
    {CTRL(lblCdCentral), ControlKind::Label, "page:TipoCard", "Central", nullptr, 0, kAny, false, kAnyColor},
    {CTRL(medCdCentral), ControlKind::MaskEdit, "page:TipoCard", nullptr, "9999;0; ", 4, 0, false, kFace},
    {CTRL(btnCentral), ControlKind::SearchButton, "page:TipoCard", nullptr, nullptr, 0, kAny, false, kAnyColor},
    {CTRL(edtNmCentral), ControlKind::Edit, "page:TipoCard", nullptr, nullptr, 0, 2, false, kFace},
    {CTRL(lblCdTipo), ControlKind::Label, "page:TipoCard", "Tp. Card.", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(medCdTpCard), ControlKind::MaskEdit, "page:TipoCard", nullptr, "9999999999;0; ", 10, 1, true, kInfo},
    {CTRL(btpTpCard), ControlKind::SearchButton, "page:TipoCard", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(edtNmTpCard), ControlKind::Edit, "page:TipoCard", nullptr, nullptr, 0, 4, false, kFace},
    // page "ListaFilial"
    {CTRL(grbFilial), ControlKind::GroupBox, "page:ListaFilial", "Filial", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(rbtTodaFili), ControlKind::RadioButton, "grbFilial", "Todas", nullptr, 0, 1, true, kAnyColor},
    {CTRL(rbtListFili), ControlKind::RadioButton, "grbFilial", "Lista", nullptr, 0, 2, true, kAnyColor},
    {CTRL(btnFilialCent), ControlKind::SearchButton, "grbFilial", nullptr, nullptr, 0, kAny, false, kAnyColor},
    // page "ListaFilialEServico"
    {CTRL(grbFilialLista), ControlKind::GroupBox, "page:ListaFilialEServico", "Filial", nullptr, 0, kAny, true,
     kAnyColor},
    {CTRL(rbtFilialTodas), ControlKind::RadioButton, "grbFilialLista", "Todas", nullptr, 0, 1, true, kAnyColor},
    {CTRL(rbtFilialLista), ControlKind::RadioButton, "grbFilialLista", "Lista", nullptr, 0, 2, true, kAnyColor},
    {CTRL(btnFili), ControlKind::SearchButton, "grbFilialLista", nullptr, nullptr, 0, kAny, false, kAnyColor},
    {CTRL(grbServico), ControlKind::GroupBox, "page:ListaFilialEServico", "Serviço", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(rdbServicoTodos), ControlKind::RadioButton, "grbServico", "Todos", nullptr, 0, 0, true, kAnyColor},
    {CTRL(rdbServicoLista), ControlKind::RadioButton, "grbServico", "Lista", nullptr, 0, 1, true, kAnyColor},
    {CTRL(btnServicoLista), ControlKind::SearchButton, "grbServico", nullptr, nullptr, 0, kAny, false, kAnyColor},
    // dish range: no mask at design time
    {CTRL(grbDestino), ControlKind::GroupBox, "grbDadosRel", "Prato", nullptr, 0, 3, true, kAnyColor},
    {CTRL(lblPratoIni), ControlKind::Label, "grbDestino", "de", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(medCdPratoIni), ControlKind::MaskEdit, "grbDestino", nullptr, "", 0, 0, true, kInfo},
    {CTRL(btnCdPratoIni), ControlKind::SearchButton, "grbDestino", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(edtNmPratoIni), ControlKind::Edit, "grbDestino", nullptr, nullptr, 0, 2, false, kFace},
    {CTRL(lblPratoFin), ControlKind::Label, "grbDestino", "até", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(medCdPratoFin), ControlKind::MaskEdit, "grbDestino", nullptr, "", 0, 3, true, kInfo},
    {CTRL(btnProdFin), ControlKind::SearchButton, "grbDestino", nullptr, nullptr, 0, kAny, true, kAnyColor},
    {CTRL(edtNmPratoFin), ControlKind::Edit, "grbDestino", nullptr, nullptr, 0, 5, false, kFace},
    // ordering, level, print options, dates
    {CTRL(rdgDadosOperador), ControlKind::RadioGroup, "grbDadosRel", "Ordenação", nullptr, 0, 4, true, kAnyColor},
    {CTRL(speNivel), ControlKind::SpinEdit, "grbDadosRel", nullptr, nullptr, 0, 5, true, kInfo},
    {CTRL(grbImprimir), ControlKind::GroupBox, "grbDadosRel", "Imprimir", nullptr, 0, 6, true, kAnyColor},
    {CTRL(chbProduto), ControlKind::CheckBox, "grbImprimir", "Produtos", nullptr, 0, 0, true, kAnyColor},
    {CTRL(chbModPrep), ControlKind::CheckBox, "grbImprimir", "Modo de Preparo", nullptr, 0, 1, true, kAnyColor},
    {CTRL(chbFoto), ControlKind::CheckBox, "grbImprimir", "Foto", nullptr, 0, 2, true, kAnyColor},
    {CTRL(chbNutriente), ControlKind::CheckBox, "grbImprimir", "Nutrientes", nullptr, 0, 3, true, kAnyColor},
    {CTRL(grbData), ControlKind::GroupBox, "grbDadosRel", "Data dos Cardápios", nullptr, 0, 7, true, kAnyColor},
    {CTRL(lblDataInic), ControlKind::Label, "grbData", "de", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(depDataInic), ControlKind::DateEdit, "grbData", nullptr, nullptr, 0, 0, true, kInfo},
    {CTRL(edtDataInic), ControlKind::Edit, "grbData", nullptr, nullptr, 0, 1, false, kFace},
    {CTRL(lblDataFina), ControlKind::Label, "grbData", "até", nullptr, 0, kAny, true, kAnyColor},
    {CTRL(depDataFina), ControlKind::DateEdit, "grbData", nullptr, nullptr, 0, 2, true, kInfo},
    {CTRL(edtDataFina), ControlKind::Edit, "grbData", nullptr, nullptr, 0, 3, false, kFace},
};

bool isInside(const TControl* c, const TControl* ancestor) {
    for (const TControl* p = c->Parent(); p; p = p->Parent())
        if (p == ancestor) return true;
    return false;
}

class FormLayout : public ::testing::Test {
protected:
    TfrmRelatPrato form;
};

TEST_F(FormLayout, EveryControlHasItsNameKindParentAndDesignedState) {
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        TControl* c = row.get(form);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->Name(), row.name);
        EXPECT_EQ(form.FindControl(row.name), c);
        EXPECT_EQ(c->Kind(), row.kind) << pla013::host::ControlKindName(c->Kind());
        if (row.parent) {
            std::string parent = row.parent;
            ASSERT_NE(c->Parent(), nullptr);
            if (parent.rfind("page:", 0) == 0) {
                EXPECT_EQ(c->Parent()->Kind(), ControlKind::Page);
                EXPECT_EQ(c->Parent()->Caption(), parent.substr(5));
                EXPECT_EQ(c->Parent()->Parent(), form.nbkFiltroFili);
            } else {
                EXPECT_EQ(c->Parent()->Name(), parent);
            }
        }
        if (row.caption) {
            EXPECT_EQ(c->Caption(), row.caption);
        }
        if (row.mask) {
            auto* m = dynamic_cast<pla013::host::TMaskEdit*>(c);
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->EditMask(), row.mask);
        }
        if (row.kind == ControlKind::Edit || row.kind == ControlKind::MaskEdit || row.kind == ControlKind::DateEdit) {
            auto& e = dynamic_cast<pla013::host::TEdit&>(*c);
            if (row.kind != ControlKind::DateEdit) {
                EXPECT_EQ(e.MaxLength(), row.maxLength);
            }
            EXPECT_EQ(e.Text(), "");
        }
        if (row.tabOrder != kAny) {
            EXPECT_EQ(c->TabOrder(), row.tabOrder);
        }
        EXPECT_EQ(c->Enabled(), row.enabled);
        EXPECT_TRUE(c->Visible());
        if (row.color) {
            EXPECT_EQ(c->Color(), *row.color) << pla013::host::ColorName(c->Color());
        }
    }
}

TEST_F(FormLayout, NoControlInsideTheFilterFrameIsLeftOutOfTheDesign) {
    std::set<std::string> known;
    for (const ControlRow& row : kControls) known.insert(row.name);
    for (TControl* c : form.AllControls()) {
        if (!isInside(c, form.grbDadosRel) || c->Kind() == ControlKind::Page) continue;
        EXPECT_TRUE(known.count(c->Name())) << "undesigned control " << c->Name();
    }
}

TEST_F(FormLayout, FormSettings) {
    EXPECT_EQ(form.Name(), "frmRelatPrato");
    EXPECT_EQ(form.Caption(), "Prato");
    EXPECT_EQ(form.BorderStyle(), pla013::host::TBorderStyle::bsSingle);
    EXPECT_EQ(form.ClientWidth(), 434);
    EXPECT_EQ(form.ClientHeight(), 414);
    EXPECT_EQ(form.HelpFile, "Plahelp.hlp");
    EXPECT_EQ(form.HelpContext(), 12301303);
    // Building the form reaches no port: none is installed in this test.
    EXPECT_EQ(pla013::host::InstalledPorts().database, nullptr);
    EXPECT_EQ(pla013::host::InstalledPorts().ui, nullptr);
}

TEST_F(FormLayout, NotebookPagesByCaptionWithHelpContexts) {
    struct Page {
        const char* caption;
        int help;
        pla013::host::TPage* page;
    };
    const Page pages[] = {{"Padrão", 1, form.pagPadrao},
                          {"TipoCard", 0, form.pagTipoCard},
                          {"ListaFilial", 2, form.pagListaFilial},
                          {"ListaFilialEServico", 3, form.pagListaFilialEServico}};
    std::vector<TControl*> children = form.nbkFiltroFili->Children();
    ASSERT_EQ(children.size(), std::size(pages));
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        SCOPED_TRACE(pages[i].caption);
        EXPECT_EQ(children[i], pages[i].page);
        EXPECT_EQ(form.nbkFiltroFili->Page(pages[i].caption), pages[i].page);
        EXPECT_EQ(pages[i].page->Caption(), pages[i].caption);
        EXPECT_EQ(pages[i].page->HelpContext(), pages[i].help);
    }
    EXPECT_EQ(form.nbkFiltroFili->PageIndex(), 2);
    EXPECT_EQ(form.nbkFiltroFili->ActivePage(), "ListaFilial");
}

TEST_F(FormLayout, OptionButtonsGroupsAndSpinStartAsDesigned) {
    const std::pair<pla013::host::TRadioButton*, bool> radios[] = {
        {form.rdbPadrao, true},       {form.rdbTipo, false},        {form.rdbLocal, false},
        {form.rdbServico, false},     {form.rbtTodaFili, true},     {form.rbtListFili, false},
        {form.rbtFilialTodas, true},  {form.rbtFilialLista, false}, {form.rdbServicoTodos, true},
        {form.rdbServicoLista, false}};
    for (auto [radio, checked] : radios) EXPECT_EQ(radio->Checked(), checked) << radio->Name();
    for (auto* check : {form.chbProduto, form.chbModPrep, form.chbFoto, form.chbNutriente})
        EXPECT_FALSE(check->Checked()) << check->Name();

    EXPECT_EQ(form.rdbPadrao->Tag(), 0);
    EXPECT_EQ(form.rdbLocal->Tag(), 1);
    EXPECT_EQ(form.rdbServico->Tag(), 2);

    EXPECT_EQ(form.rdgDadosOperador->Items(), (std::vector<std::string>{"Código", "Alfabética pelo Nível"}));
    EXPECT_EQ(form.rdgDadosOperador->ItemIndex(), 0);
    EXPECT_EQ(form.rdgDadosOperador->Columns(), 2);

    EXPECT_EQ(form.speNivel->MinValue(), 0);
    EXPECT_EQ(form.speNivel->MaxValue(), 0);
    EXPECT_EQ(form.speNivel->Value(), 0);

    EXPECT_TRUE(form.cbbTipoCust->DropDownList());
    EXPECT_TRUE(form.cbbTipoCust->Items().empty());

    const std::vector<std::string> days{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"};
    EXPECT_EQ(form.depDataInic->DayNames, days);
    EXPECT_EQ(form.depDataFina->DayNames, days);

    for (pla013::host::TEdit* e : {form.edtNmFilial, form.edtNmServico, form.edtNmCentral, form.edtNmTpCard,
                                   form.edtNmPratoIni, form.edtNmPratoFin, form.edtDataInic, form.edtDataFina})
        EXPECT_TRUE(e->ReadOnly()) << e->Name();
}

// ---------------------------------------------------------------- geometry

struct Rect {
    int left, top, right, bottom;
};
Rect rectOf(const TControl* c) { return {c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()}; }
bool overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Reports every control outside its parent's client area and every pair of
// visible siblings that overlap (pages of a notebook are alternatives).
std::vector<std::string> layoutFaults(TfrmRelatPrato& form) {
    std::vector<std::string> faults;
    std::map<const TControl*, std::vector<const TControl*>> siblings;
    for (const TControl* c : form.AllControls()) {
        const TControl* parent = c->Parent();
        if (!parent) {
            faults.push_back(c->Name() + " has no parent");
            continue;
        }
        int width = parent == &form ? form.ClientWidth() : parent->Width();
        int height = parent == &form ? form.ClientHeight() : parent->Height();
        // Below the caption of a framed group.
        int minTop = (parent->Kind() == ControlKind::GroupBox && !parent->Caption().empty()) ? 12 : 0;
        Rect r = rectOf(c);
        if (c->Width() <= 0 || c->Height() <= 0) faults.push_back(c->Name() + " has no size");
        if (r.left < 0 || r.top < minTop || r.right > width || r.bottom > height)
            faults.push_back(c->Name() + " lies outside " + parent->Name());
        if (c->Visible() && c->Kind() != ControlKind::Page) siblings[parent].push_back(c);
    }
    for (const auto& [parent, kids] : siblings)
        for (std::size_t i = 0; i < kids.size(); ++i)
            for (std::size_t j = i + 1; j < kids.size(); ++j)
                if (overlap(rectOf(kids[i]), rectOf(kids[j])))
                    faults.push_back(kids[i]->Name() + " overlaps " + kids[j]->Name());
    return faults;
}

TEST_F(FormLayout, EveryControlFitsItsParentAndNoSiblingsOverlap) {
    EXPECT_EQ(layoutFaults(form), std::vector<std::string>{});
}

TEST_F(FormLayout, OriginButtonsStayClearWhenTheMenuTypeButtonIsHidden) {
    // The activation hides rdbTipo and moves rdbLocal to 185 in most host modules.
    form.rdbTipo->SetVisible(false);
    form.rdbLocal->SetLeft(185);
    EXPECT_EQ(layoutFaults(form), std::vector<std::string>{});
}

TEST_F(FormLayout, DesignedPositionsAndSizes) {
    struct Box {
        TControl* c;
        int left, top, width, height;
    };  // -1: free
    const Box boxes[] = {
        {form.grbDadosRel, -1, -1, 434, 387},     {form.grbTipoCust, -1, 44, -1, 39},
        {form.grbTpRece, -1, 83, -1, 107},        {form.grbDestino, -1, 190, -1, 68},
        {form.rdgDadosOperador, -1, 258, -1, -1}, {form.grbImprimir, -1, 299, -1, -1},
        {form.grbData, -1, 339, -1, -1},          {form.cbbReportNames, -1, -1, 367, -1},
        {form.rdbLocal, 245, -1, -1, -1},         {form.edtDataInic, -1, -1, 31, -1},
        {form.edtDataFina, -1, -1, 31, -1},
    };
    for (const Box& b : boxes) {
        SCOPED_TRACE(b.c->Name());
        if (b.left >= 0) {
            EXPECT_EQ(b.c->Left(), b.left);
        }
        if (b.top >= 0) {
            EXPECT_EQ(b.c->Top(), b.top);
        }
        if (b.width >= 0) {
            EXPECT_EQ(b.c->Width(), b.width);
        }
        if (b.height >= 0) {
            EXPECT_EQ(b.c->Height(), b.height);
        }
    }
    // The groups follow one another top to bottom without a gap or an overlap.
    const TControl* column[] = {form.grbTipoCust,      form.grbTpRece,   form.grbDestino,
                                form.rdgDadosOperador, form.grbImprimir, form.grbData};
    for (std::size_t i = 0; i + 1 < std::size(column); ++i)
        EXPECT_LE(column[i]->Top() + column[i]->Height(), column[i + 1]->Top()) << column[i]->Name();
    // The level edit sits beside the ordering group.
    EXPECT_GE(form.speNivel->Left(), form.rdgDadosOperador->Left() + form.rdgDadosOperador->Width());
    EXPECT_GE(form.speNivel->Top(), form.rdgDadosOperador->Top());
}

// ---------------------------------------------------------------- tab order

bool takesTabOrder(ControlKind k) {
    switch (k) {
        case ControlKind::Label:
        case ControlKind::Bevel:
        case ControlKind::Page:
        case ControlKind::SpeedButton:
        case ControlKind::Form: return false;
        default: return true;
    }
}

TEST_F(FormLayout, TabOrdersAreUniqueWithinEachContainer) {
    std::map<const TControl*, std::map<int, std::string>> byParent;
    for (const TControl* c : form.AllControls()) {
        if (!isInside(c, form.grbDadosRel)) continue;
        if (!takesTabOrder(c->Kind())) continue;
        EXPECT_GE(c->TabOrder(), 0) << c->Name() << " has no place in the tab order";
        auto [it, fresh] = byParent[c->Parent()].emplace(c->TabOrder(), c->Name());
        EXPECT_TRUE(fresh) << c->Name() << " and " << it->second << " share tab order " << c->TabOrder();
    }
}

// ---------------------------------------------------------------- search buttons

TEST_F(FormLayout, SearchButtonsListTheirQueriesAndFillTheirFields) {
    struct Row {
        pla013::host::TBtnPesquisa* button;
        const char* title;
        pla013::host::TDataSource* source;
        TControl* associated;   // nullptr: none
        const char* emptyText;  // nullptr: not set by the design
    };
    const Row rows[] = {
        {form.btnFilial, "Filial", form.dtsFilial__, form.medCdFilial, nullptr},
        {form.btnServico, "Serviço", form.dtsServico__, form.medCdServFili, "Não há serviço cadastrado."},
        {form.btnCentral, "Tipo de Cardápio", nullptr, nullptr, nullptr},
        {form.btpTpCard, "Tipo de Cardápio", form.dtsTipoCard__, form.medCdTpCard,
         "Não há tipo de cardápio cadastrado."},
        {form.btnFilialCent, "Filial", form.dtsFilial__, nullptr, nullptr},
        {form.btnFili, "Filial", form.dtsFilial__, nullptr, nullptr},
        {form.btnServicoLista, "Serviço", form.dtsServ__, nullptr, nullptr},
        {form.btnCdPratoIni, "Prato", form.dtsPrato__, form.medCdPratoIni, "Não há prato cadastrado."},
        {form.btnProdFin, "Prato", form.dtsPrato__, form.medCdPratoFin, "Não há prato cadastrado."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button->Name());
        EXPECT_EQ(r.button->Title, r.title);
        EXPECT_EQ(r.button->DataSource, r.source);
        EXPECT_EQ(r.button->AssociatedControl, r.associated);
        if (r.emptyText) {
            EXPECT_EQ(r.button->EmptyText, r.emptyText);
        }
        // What the list shows must be fields the query brings back, key first.
        for (const std::string& field : r.button->DisplayFields) {
            ASSERT_NE(r.source, nullptr);
            EXPECT_NE(r.source->DataSet->FindField(field), nullptr) << field;
        }
    }
    EXPECT_EQ(form.btnCdPratoIni->DisplayFields.front(), "CDPRATO");
    EXPECT_EQ(form.btpTpCard->DisplayFields.front(), "CDTIPOCARD");
}

// ---------------------------------------------------------------- events

enum class Ev { Click, Change, Exit, DateChange, BeforePesq, AfterPesq };

bool bound(TControl* c, Ev ev) {
    switch (ev) {
        case Ev::Click: return bool(c->OnClick);
        case Ev::Change: return bool(c->OnChange);
        case Ev::Exit: return bool(c->OnExit);
        case Ev::DateChange: return bool(dynamic_cast<pla013::host::TDateEditPlus&>(*c).OnDateChange);
        case Ev::BeforePesq: return bool(dynamic_cast<pla013::host::TBtnPesquisa&>(*c).OnBeforePesq);
        case Ev::AfterPesq: return bool(dynamic_cast<pla013::host::TBtnPesquisa&>(*c).OnAfterPesq);
    }
    return false;
}

TEST_F(FormLayout, EveryDesignedEventIsBound) {
    const std::pair<const char*, std::vector<Ev>> rows[] = {
        {"cbbReportNames", {Ev::Change}},
        {"sbtPrint", {Ev::Click}},
        {"sbtPreview", {Ev::Click}},
        {"sbtSalvarComo", {Ev::Click}},
        {"rdbPadrao", {Ev::Click}},
        {"rdbLocal", {Ev::Click}},
        {"rdbServico", {Ev::Click}},
        {"rdgDadosOperador", {Ev::Click}},
        {"medCdFilial", {Ev::Change, Ev::Exit}},
        {"medCdServFili", {Ev::Change, Ev::Exit}},
        {"medCdPratoIni", {Ev::Change, Ev::Exit}},
        {"medCdPratoFin", {Ev::Change, Ev::Exit}},
        {"medCdTpCard", {Ev::Change, Ev::Exit}},
        {"btnFilial", {Ev::BeforePesq, Ev::AfterPesq}},
        {"btnServico", {Ev::BeforePesq, Ev::AfterPesq}},
        {"btnCdPratoIni", {Ev::BeforePesq, Ev::AfterPesq}},
        {"btnProdFin", {Ev::BeforePesq, Ev::AfterPesq}},
        {"btpTpCard", {Ev::BeforePesq, Ev::AfterPesq}},
        {"rbtTodaFili", {Ev::Click}},
        {"rbtListFili", {Ev::Click}},
        {"rbtFilialTodas", {Ev::Click}},
        {"rbtFilialLista", {Ev::Click}},
        {"rdbServicoTodos", {Ev::Click}},
        {"rdbServicoLista", {Ev::Click}},
        {"btnFilialCent", {Ev::Click}},
        {"btnFili", {Ev::Click}},
        {"btnServicoLista", {Ev::Click}},
        {"depDataInic", {Ev::DateChange, Ev::Exit}},
        {"depDataFina", {Ev::DateChange, Ev::Exit}},
    };
    for (const auto& [name, events] : rows) {
        TControl* c = form.FindControl(name);
        ASSERT_NE(c, nullptr) << name;
        for (Ev ev : events) EXPECT_TRUE(bound(c, ev)) << name << " event " << int(ev);
    }
    EXPECT_TRUE(bool(form.OnCreate));
    EXPECT_TRUE(bool(form.OnActivate));
    EXPECT_TRUE(bool(form.OnClose));
    EXPECT_TRUE(bool(form.rpddPadrao->BeforeGetQueryParams));
    EXPECT_TRUE(bool(form.netCustProd->BeforeConnect));
    EXPECT_TRUE(bool(form.netEmissaoReceita->BeforeConnect));
}

TEST_F(FormLayout, ControlsWithoutHandlersStayUnbound) {
    // The menu-type origin button and the central kitchen's button do nothing
    // of their own; the central's code is display only.
    EXPECT_FALSE(bound(form.rdbTipo, Ev::Click));
    for (Ev ev : {Ev::Click, Ev::BeforePesq, Ev::AfterPesq}) EXPECT_FALSE(bound(form.btnCentral, ev));
    EXPECT_FALSE(bound(form.medCdCentral, Ev::Change));
    EXPECT_FALSE(bound(form.medCdCentral, Ev::Exit));
    // List buttons run only their click: no search events of their own.
    for (pla013::host::TBtnPesquisa* b : {form.btnFilialCent, form.btnFili, form.btnServicoLista}) {
        EXPECT_FALSE(bound(b, Ev::BeforePesq)) << b->Name();
        EXPECT_FALSE(bound(b, Ev::AfterPesq)) << b->Name();
    }
}

}  // namespace
