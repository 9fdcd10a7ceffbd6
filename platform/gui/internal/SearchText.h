#pragma once
// Texts compared as people read them: without accents and letter case, so
// that "feijao" finds "Feijão" and "ACUCAR" finds "Açúcar".

#include <QString>

namespace pla013::gui::internal {

inline QString searchKey(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out += c;
    return out.toCaseFolded();
}

// What a row of a list is searched in: every column, each apart.
inline QString rowSearchKey(const QStringList& columns) { return searchKey(columns.join(QChar(0x1f))); }

}  // namespace pla013::gui::internal
