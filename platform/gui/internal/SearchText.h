#pragma once
// Texts compared as people read them: without accents and letter case, so
// that "feijao" finds "Feijão" and "ACUCAR" finds "Açúcar".

#include <array>

#include <QString>

namespace pla013::gui::internal {

// The folding itself: decomposed, the accents dropped, the case folded.
inline QString foldedText(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out += c;
    return out.toCaseFolded();
}

// The same, fast for the letters of our texts (those below U+0800, each of
// which folds to at most one letter): looked up in a table made once. A text
// with any other letter is folded whole.
inline QString searchKey(const QString& text) {
    constexpr char16_t kDropped = 0, kWhole = 0xffff;
    static const std::array<char16_t, 0x800> table = [] {
        std::array<char16_t, 0x800> t{};
        for (char16_t c = 0; c < 0x800; ++c) {
            if (QChar(c).isSurrogate()) {
                t[c] = kWhole;
                continue;
            }
            const QString k = foldedText(QString(QChar(c)));
            t[c] = k.isEmpty() ? kDropped : k.size() == 1 && k[0].unicode() != kWhole ? k[0].unicode() : kWhole;
        }
        return t;
    }();
    QString out(text.size(), Qt::Uninitialized);
    QChar* to = out.data();
    qsizetype n = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x800 || table[u] == kWhole) return foldedText(text);
        if (table[u] != kDropped) to[n++] = QChar(table[u]);
    }
    out.truncate(n);
    return out;
}

// What a row of a list is searched in: every column, each apart.
inline QString rowSearchKey(const QStringList& columns) { return searchKey(columns.join(QChar(0x1f))); }

}  // namespace pla013::gui::internal
