#pragma once
// The SQL of the remote data modules: generic SQL that SQLite and PostgreSQL
// both run. Every value is a named parameter:
//   :P_CDFILIAL      branch whose dishes and recipes are read
//   :P_CDFILIALSERV  branch of the service (standard-versus-service)
//   :P_CDSERVFILI    service code
//   :P_CDPRATOINI    first dish code (only in a text for a range with a first code)
//   :P_CDPRATOFIN    last dish code (only in a text for a range with a last code)
//   :P_NRTIPOCUST    cost type
//   :P_DTREFER       reference date (ISO text)
// Costs are not multiplied in SQL: each line brings its gross quantity and
// the unit cost valid at the reference date (VRCUSTO, NULL when there is
// none), so the product is computed in double precision on every engine.
//
// Every text that reads a dish range comes in one version per case of given
// and missing bounds, holding only the conditions of the given ones: a test
// such as "(:P IS NULL OR CDPRATO >= :P)" would keep the planner from using
// the dish key, and a one-dish call would read every dish. The unit cost is
// found per line through the key of CUSTOPRODUTO, never by reading the costs
// of every product.

#include <string>

namespace pla013::appserver::internal::sql {

// Which bounds of the dish range a call gives.
struct Bounds {
    bool first = true;
    bool last = true;
};

// Dishes with a standard line or a local line of :P_CDFILIAL, visible to
// that branch (owner 'P' or the branch), in the range; by code, then owner.
const std::string& dishesWithLocalRecipe(Bounds bounds);
// Dishes with a standard line or a line of the service, visible to
// :P_CDFILIAL, in the range; by code, then owner.
const std::string& dishesWithServiceRecipe(Bounds bounds);
// Standard lines of the dishes visible to :P_CDFILIAL in the range, by dish
// and sequence.
const std::string& standardLines(Bounds bounds);
// Local lines of :P_CDFILIAL of the dishes visible to it, by dish and sequence.
const std::string& localLines(Bounds bounds);
// Lines of service (:P_CDFILIALSERV, :P_CDSERVFILI) of the dishes visible to
// :P_CDFILIAL, by dish and sequence.
const std::string& serviceLines(Bounds bounds);

// The branches served by the central kitchen of :P_CDFILIAL (the kitchen
// itself included); none when the branch does not exist.
const std::string& branchesOfCentral();
// Local lines of every branch of that central kitchen, of the dishes in the
// range visible to the line's branch; by branch, dish code, owner, sequence.
const std::string& localLinesOfCentral(Bounds bounds);
// Standard lines of the dishes in the range that some branch of the central
// kitchen of :P_CDFILIAL has a local recipe of (the only ones the costs by
// central kitchen price), by dish and sequence.
const std::string& standardLinesInRange(Bounds bounds);

const std::string& costType();   // the cost type :P_NRTIPOCUST, if it exists
const std::string& costTypes();  // all cost types by number

}  // namespace pla013::appserver::internal::sql
