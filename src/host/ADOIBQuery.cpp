#include "host/ADOIBQuery.h"

#include "host/Errors.h"
#include "host/internal/DataValues.h"

namespace pla013::host {

using internal::sameName;

TADOIBQuery::TADOIBQuery(std::string name) : TDataSet(std::move(name)) {}

TParam& TADOIBQuery::ParamByName(const std::string& name) {
    if (Active())
        throw EHostError(Name() + ": não é possível alterar o parâmetro '" + name +
                         "' com a consulta aberta; os parâmetros só mudam com a consulta fechada.");
    if (TParam* p = m_params.FindParam(name)) return *p;
    throw EHostError(Name() + ": parâmetro '" + name + "' não encontrado.");
}

TField* TADOIBQuery::AddPersistentField(FieldDef def, const std::string& label, int displayWidth, bool visible) {
    if (Active()) throw EHostError(Name() + ": não é possível alterar os campos persistentes com a consulta aberta.");
    if (FindField(def.name)) throw EHostError(Name() + ": campo '" + def.name + "' já existe.");
    TField* f = AddFieldObject(def);
    f->DisplayLabel = label.empty() ? def.name : label;
    f->DisplayWidth = displayWidth > 0 ? displayWidth : def.size;
    f->Visible = visible;
    m_persistent.push_back(std::move(def));
    m_display.push_back(Display{f->DisplayLabel, f->DisplayWidth, visible});
    return f;
}

// A parameter name may occur more than once in the list (one entry per
// occurrence in a dialect's text) while ParamByName reaches only the first:
// a later entry that was never given a value takes the value of the first
// entry of its name that was, so every occurrence is bound to what the
// caller set. Parameters left unset go to the database as Null.
void TADOIBQuery::Open() {
    if (Active()) return;
    QueryRequest request;
    request.name = Name();
    request.sql = SQL;
    for (std::size_t i = 0; i < m_params.Count(); ++i) {
        const TParam& p = m_params[i];
        Variant value = p.Value();
        if (value.isUnassigned()) {
            for (std::size_t j = 0; j < m_params.Count(); ++j) {
                if (j != i && sameName(m_params[j].Name(), p.Name()) && !m_params[j].Value().isUnassigned()) {
                    value = m_params[j].Value();
                    break;
                }
            }
        }
        if (value.isUnassigned()) value = Variant::null();
        request.params.emplace_back(p.Name(), std::move(value));
    }

    DataPacket result = Database().Open(request);

    if (m_persistent.empty()) {
        SetStorage(result.fields, std::move(result.rows));
    } else {
        std::vector<int> source;
        for (const FieldDef& def : m_persistent) {
            const int c = result.fieldIndex(def.name);
            if (c < 0) throw EHostError(Name() + ": campo '" + def.name + "' não encontrado no resultado da consulta.");
            source.push_back(c);
        }
        std::vector<std::vector<Variant>> rows;
        rows.reserve(result.rows.size());
        for (auto& in : result.rows) {
            std::vector<Variant> row;
            row.reserve(source.size());
            for (int c : source) {
                if (std::size_t(c) >= in.size())
                    throw EHostError(Name() + ": uma linha do resultado tem menos valores que a lista de campos.");
                row.push_back(std::move(in[std::size_t(c)]));
            }
            rows.push_back(std::move(row));
        }
        SetStorage(m_persistent, std::move(rows));
        // Display attributes belong to the persistent field and survive reloads.
        for (std::size_t i = 0; i < m_fields.size() && i < m_display.size(); ++i) {
            m_fields[i]->DisplayLabel = m_display[i].label;
            m_fields[i]->DisplayWidth = m_display[i].width;
            m_fields[i]->Visible = m_display[i].visible;
        }
    }
    m_state = TDataSetState::dsBrowse;
    First();
}

void TADOIBQuery::Close() { TDataSet::Close(); }

}  // namespace pla013::host
