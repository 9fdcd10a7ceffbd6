#include "host/Utils.h"

#include <algorithm>
#include <cctype>

#include "host/Errors.h"
#include "host/Messages.h"
#include "host/NetConnection.h"

namespace pla013::host {

// ---------------------------------------------------------------- context

std::string FiliProc() { return Context().FiliProc(); }
bool ModuFili() { return Context().ModuFili(); }
char ModuloAtiv() { return Context().ModuloAtiv(); }
TDateTime DataProc(const std::string& branch) { return Context().DataProc(branch); }
std::string Operador() { return Context().Operador(); }
std::string WebURL() { return Context().WebURL(); }
int WebPort() { return Context().WebPort(); }

int TDBPicture::TamAcNivel(const std::string& levelText) const {
    int level = 0;
    try {
        std::size_t used = 0;
        level = std::stoi(levelText, &used);
        if (used != levelText.size()) return 0;
    } catch (...) {
        return 0;
    }
    if (level <= 0 || m_levels.empty()) return 0;
    if (level > int(m_levels.size())) return m_levels.back();
    return m_levels[level - 1];
}

bool TDBPicture::FillsLevels(const std::string& code) const {
    return std::find(m_levels.begin(), m_levels.end(), int(code.size())) != m_levels.end();
}

std::string DBPict(TPictureType) {
    const TDBPicture& p = DBPictObj(TPictureType::ptPrato);
    if (p.Levels().empty()) return {};
    return std::string(std::size_t(p.Levels().back()), 'a') + ";0; ";
}

const TDBPicture& DBPictObj(TPictureType) {
    // Read afresh on each call: the host may change its picture between forms.
    static TDBPicture picture;
    picture = TDBPicture(Context().DishCodePicture().levels);
    return picture;
}

namespace {
std::vector<int> g_costTypeNumbers;
// Why the list could not be loaded; empty once it was.
std::string g_costTypesMissing;
}  // namespace

std::vector<std::string> ListaTipoCusto(TNetConnection& connection, TObject*) {
    g_costTypeNumbers.clear();
    if (!connection.Connected() && !connection.ThrowException) {
        // The form goes on without cost types rather than half set up; a
        // report that needs one says why it has none (NumeroTipoCusto).
        g_costTypesMissing =
            connection.LastError().empty() ? "o servidor de aplicação não respondeu" : connection.LastError();
        return {};
    }
    g_costTypesMissing.clear();
    Variant result = connection.Call("ListaTipoCusto", {});
    if (result.isArray()) result = CheckResultServ(result, true, 0);
    auto packet = result.packet();
    if (!packet) throw EHostError("ListaTipoCusto: o servidor não devolveu a lista de tipos de custo.");
    int number = packet->fieldIndex("NRTIPOCUST");
    int name = packet->fieldIndex("NMTIPOCUST");
    if (number < 0 || name < 0) throw EHostError("ListaTipoCusto: pacote sem NRTIPOCUST ou NMTIPOCUST.");
    std::vector<std::string> names;
    for (const auto& row : packet->rows) {
        g_costTypeNumbers.push_back(int(row[number].toInt()));
        names.push_back(row[name].toString());
    }
    return names;
}

int NumeroTipoCusto(int itemIndex) {
    if (!g_costTypesMissing.empty()) {
        // The list could not be loaded when the form opened. A report that
        // needs a cost type asks the server again now, on a connection of
        // its own to the same module; the form's list stayed empty, so the
        // first cost type counts, as the form would have chosen it.
        TNetConnection again("netCustProd", "CUS00000.rdmCustProd");
        again.SetHost(WebURL());
        again.SetPort(WebPort());
        try {
            again.SetConnected(true);
            ListaTipoCusto(again, nullptr);
        } catch (const EHostError& e) {
            const std::string why = e.what();
            g_costTypesMissing = why;
            throw EHostError(
                "Os tipos de custo não puderam ser carregados: " + why.substr(0, why.find_last_not_of('.') + 1) + ".");
        }
        if (InstalledPorts().ui) UI().Log("NumeroTipoCusto: cost types loaded late; the first one is used");
        if (itemIndex < 0) itemIndex = 0;
    }
    if (itemIndex < 0 || itemIndex >= int(g_costTypeNumbers.size())) {
        if (InstalledPorts().ui) UI().Log("NumeroTipoCusto: no cost type at index " + std::to_string(itemIndex));
        return 0;
    }
    return g_costTypeNumbers[itemIndex];
}

// ---------------------------------------------------------------- utilities

bool EmptyString(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string Ajusta(const std::string& code, int width) {
    std::size_t b = code.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    std::size_t e = code.find_last_not_of(" \t");
    std::string t = code.substr(b, e - b + 1);
    if (int(t.size()) < width) t.insert(0, std::size_t(width) - t.size(), '0');
    return t;
}

std::string Replicate(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

void MensErro(const std::string& text, bool abort) {
    UI().ShowError(text);
    if (abort) throw EAbort();
}

std::string ValidaFilial(const std::string& branch, const std::string& operatorCode, bool required) {
    if (EmptyString(branch)) {
        if (required) MensErro("Filial deve ser informada.", true);
        return {};
    }
    QueryRequest q;
    q.name = "ValidaFilial";
    q.sql.generic = "SELECT NMFILIAL, IDCNTRRESC FROM FILIAL WHERE CDFILIAL = :P_CDFILIAL";
    q.params = {{"P_CDFILIAL", branch}};
    DataPacket found = Database().Open(q);
    if (found.rows.empty()) MensErro("Filial não cadastrada.", true);
    int nm = found.fieldIndex("NMFILIAL"), resc = found.fieldIndex("IDCNTRRESC");
    if (found.rows[0][resc].toString() == "S") MensErro("Filial com contrato rescindido.", true);

    QueryRequest op;
    op.name = "ValidaFilial.Operador";
    op.sql.generic = "SELECT IDTODASFILI FROM OPERADOR WHERE CDOPERADOR = :P_CDOPERADOR";
    op.params = {{"P_CDOPERADOR", operatorCode}};
    DataPacket oper = Database().Open(op);
    if (oper.rows.empty()) MensErro("Operador não cadastrado.", true);
    if (oper.rows[0][0].toString() != "S") {
        QueryRequest acc;
        acc.name = "ValidaFilial.Acesso";
        acc.sql.generic = "SELECT CDFILIAL FROM OPERFILI WHERE CDOPERADOR = :P_CDOPERADOR AND CDFILIAL = :P_CDFILIAL";
        acc.params = {{"P_CDOPERADOR", operatorCode}, {"P_CDFILIAL", branch}};
        if (Database().Open(acc).rows.empty()) MensErro("Operador sem acesso à filial.", true);
    }
    return found.rows[0][nm].toString();
}

void ValidEx(TDataSource*, TPictureType type, std::string& code, const std::vector<int>&, const std::string&,
             bool required) {
    if (EmptyString(code)) {
        if (required) MensErro("Código deve ser informado.", true);
        return;
    }
    const TDBPicture& picture = DBPictObj(type);
    if (!picture.FillsLevels(code)) {
        std::string lengths;
        for (int l : picture.Levels()) lengths += (lengths.empty() ? "" : ", ") + std::to_string(l);
        MensErro("Código incompleto: o código deve preencher níveis completos da máscara (" + lengths + " caracteres).",
                 true);
    }
}

// [0, text, packet] or [code, text]; anything else is the host's error, its
// shape in the log.
Variant CheckResultServ(const Variant& result, bool abort, int) {
    auto invalid = [](const std::string& detail) {
        const EInvalidAnswer e("CheckResultServ: " + detail);
        if (InstalledPorts().ui) UI().Log(e.detail());
        throw e;
    };
    if (!result.isArray()) invalid("a resposta não é uma lista");
    const auto& a = result.array();
    if (a.size() < 2 || a.size() > 3) invalid("lista de " + std::to_string(a.size()) + " elementos (2 ou 3 esperados)");
    if (a[0].kind() != Variant::Kind::Integer) invalid("o primeiro elemento não é um número inteiro");
    if (a[1].kind() != Variant::Kind::Text && !a[1].isNullOrUnassigned()) invalid("o segundo elemento não é um texto");
    if (a[0].toInt() == 0) {
        if (a.size() != 3 || a[2].kind() != Variant::Kind::Packet)
            invalid("sucesso sem o pacote de dados no terceiro elemento");
        return a[2];
    }
    if (a.size() != 2) invalid("erro " + a[0].toString() + " com um terceiro elemento");
    std::string message = a[1].isNullOrUnassigned() ? std::string() : a[1].toString();
    if (message.empty()) message = "Erro " + a[0].toString() + " no servidor de aplicação.";
    MensErro(message, abort);
    return Variant::null();
}

bool PesquisaLista(TDataSource* source, const std::string& keyField, const std::string& caption, bool,
                   std::string& list) {
    if (!source || !source->DataSet) throw EHostError("PesquisaLista: sem conjunto de dados.");
    TDataSet& data = *source->DataSet;
    if (!data.Active()) data.Open();
    data.First();
    auto chosen = UI().ListDialog(caption, data, keyField);
    if (!chosen) return false;
    std::string out;
    for (const auto& key : *chosen) out += (out.empty() ? "" : ",") + key;
    list = out;
    return true;
}

void ActiveShowAvi(TForm*, int, const std::string& text) { UI().ShowProgress(text); }

void DeactiveShowAvi() { UI().HideProgress(); }

bool ExistParam(TParams& params, const std::string& name) { return params.FindParam(name) != nullptr; }

void SetScreenCursor(Cursor c) { UI().SetCursor(c); }

CursorGuard::CursorGuard(Cursor c) { SetScreenCursor(c); }
CursorGuard::~CursorGuard() {
    try {
        SetScreenCursor(Cursor::Default);
    } catch (...) {}
}

// ---------------------------------------------------------------- search button

void SearchButtonRun(TBtnPesquisa& button) {
    bool flag = true;
    if (button.OnBeforePesq) button.OnBeforePesq(&button, flag);
    if (!button.DataSource || !button.DataSource->DataSet) return;
    TDataSet& data = *button.DataSource->DataSet;
    if (!data.Active()) data.Open();
    if (data.IsEmpty()) {
        if (!button.EmptyText.empty()) UI().ShowMessage(button.EmptyText);
        return;
    }
    data.First();
    SearchRequest request;
    request.title = button.Title;
    request.emptyText = button.EmptyText;
    request.keyFields = button.DisplayFields;
    auto row = UI().SearchDialog(request, data);
    if (!row) return;
    data.MoveTo(int(*row));
    if (button.OnAfterPesq) button.OnAfterPesq(&button);
}

}  // namespace pla013::host
