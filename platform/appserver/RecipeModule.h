#pragma once
// "PLA01303.rdmEmissaoReceitas": the data of the three recipe comparison
// reports. Which rows each method returns, and in which order, is written
// down in docs/protocol.md ("PLA01303.rdmEmissaoReceitas"); in short:
//
// Common rules. Text arguments are trimmed of blanks. A dish is (CDPRATO,
// CDFILAUXPRAT); a branch sees the standard dishes (owner 'P') and its own.
// The dish range is inclusive, compared as text by the database (byte order
// on SQLite); an empty bound leaves that side open. A line's cost is its
// gross quantity times the product's unit cost of the chosen cost type with
// the latest validity date not after the reference date (its time ignored);
// null when the product has no such cost. Lines come in their sequence
// within the recipe; dishes by code, then owner.
//
// GetRelCompRecPL(branch, first, last, cost type, date) -> [dishes, standard
// lines, local lines]: the dishes visible to the branch that have a standard
// line or a local line of that branch; all their standard lines; the
// branch's local lines of them.
//
// GetRelCompRecPS(service branch, branch, first, last, service, cost type,
// date) -> [dishes, standard lines, service lines]: as above with the lines
// of the service (service branch, service) in place of the local lines. A
// service code that no service has (the client sends "XXX" when none is
// chosen) gives no service lines.
//
// GetRelPlCent(branch list, first, last, branch, cost type, date) ->
// [0, "", packet] or [code, message]: for each branch of the central kitchen
// of the branch (the kitchen included) that the list names ("T": all; else
// the codes in the text, separated by anything that is not a letter or a
// digit), one row per dish visible to it that it has a local recipe for:
// the dish's cost by its standard recipe and by the branch's recipe. A total
// is null when the recipe has no line or a line without cost. Rows by
// branch, dish code, owner. Codes: 1 branch not registered, 2 cost type not
// registered, 3 database failure.

#include "platform/appserver/RemoteModule.h"

namespace pla013::appserver {

class RecipeModule final : public RemoteModule {
public:
    RecipeModule();
    const std::string& name() const override;
    const std::vector<RemoteMethod>& methods() const override;

    static host::Variant getRelCompRecPL(MethodCall& call);
    static host::Variant getRelCompRecPS(MethodCall& call);
    static host::Variant getRelPlCent(MethodCall& call);

private:
    std::string m_name;
    std::vector<RemoteMethod> m_methods;
};

}  // namespace pla013::appserver
