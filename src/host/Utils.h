#pragma once
// Context and utility functions of the host framework.

#include <string>
#include <vector>

#include "Data.h"
#include "Form.h"
#include "NetConnection.h"
#include "Ports.h"
#include "Variant.h"

namespace pla013::host {

// --- context ---
std::string FiliProc();
bool ModuFili();
char ModuloAtiv();
TDateTime DataProc(const std::string& branch);
std::string Operador();
std::string WebURL();
int WebPort();

enum class TPictureType { ptPrato };

// The code picture of a picture type, levels by accumulated length.
class TDBPicture {
public:
    explicit TDBPicture(std::vector<int> levels = {}) : m_levels(std::move(levels)) {}
    int GetTtNiveis() const { return int(m_levels.size()); }
    // Length of the code up to and including the level written in levelText;
    // 0 for level 0 or a text that is not a level number; the full length for
    // a level above the last.
    int TamAcNivel(const std::string& levelText) const;
    const std::vector<int>& Levels() const { return m_levels; }
    // True when the code is exactly as long as one of the levels.
    bool FillsLevels(const std::string& code) const;

private:
    std::vector<int> m_levels;
};

// Edit mask of the picture: one "a" (letter or digit) per character of the
// full code, literals not saved: "aaaaa;0; " for a five-character code.
std::string DBPict(TPictureType type);
const TDBPicture& DBPictObj(TPictureType type);

// Cost types, fetched through a connection to "CUS00000.rdmCustProd"; the
// numbers are kept for NumeroTipoCusto.
std::vector<std::string> ListaTipoCusto(TNetConnection& connection, TObject* dataModule = nullptr);
int NumeroTipoCusto(int itemIndex);

// --- utilities ---
bool EmptyString(const std::string& text);
// Trims blanks; a non-empty code shorter than width is padded on the left
// with '0' ("12" -> "0012"); a longer code is returned trimmed but uncut.
std::string Ajusta(const std::string& code, int width);
std::string Replicate(const std::string& text, int count);
template <class T>
T iif(bool condition, const T& whenTrue, const T& whenFalse) {
    return condition ? whenTrue : whenFalse;
}
inline std::string iif(bool condition, const std::string& whenTrue, const char* whenFalse) {
    return condition ? whenTrue : std::string(whenFalse);
}
// Shows text as an error; raises the silent abort when abort is true.
void MensErro(const std::string& text, bool abort = true);
// The branch's name; an unacceptable branch is reported and aborts.
std::string ValidaFilial(const std::string& branch, const std::string& operatorCode, bool required);
// Aborts (after telling the user) when code does not fill complete levels of
// the picture; an empty code passes unless required.
void ValidEx(TDataSource* source, TPictureType type, std::string& code, const std::vector<int>& options,
             const std::string& text, bool required);
// Unpacks a server result: [0, "", packet] on success, [code, message] on
// failure, which is shown and aborts when abort is true.
Variant CheckResultServ(const Variant& result, bool abort, int flags);
// Multi-selection list over the data set behind source; on confirmation
// replaces list with the chosen keys joined by ",". Returns true when confirmed.
bool PesquisaLista(TDataSource* source, const std::string& keyField, const std::string& caption, bool multiple,
                   std::string& list);
void ActiveShowAvi(TForm* form, int animation, const std::string& text);
void DeactiveShowAvi();
bool ExistParam(TParams& params, const std::string& name);

// Screen cursor; restored when the guard goes out of scope.
class CursorGuard {
public:
    explicit CursorGuard(Cursor c);
    ~CursorGuard();
    CursorGuard(const CursorGuard&) = delete;
    CursorGuard& operator=(const CursorGuard&) = delete;
};
void SetScreenCursor(Cursor c);

}  // namespace pla013::host
