#include "platform/TextCodec.h"

#include "app/core/Cp1252.h"

namespace quorvane {

QString fromCp1252(std::string_view bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (char b : bytes) out.append(QChar(cp1252::toUnicode(static_cast<unsigned char>(b))));
    return out;
}

std::string toCp1252(const QString& text) {
    std::string out;
    out.reserve(std::size_t(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text.at(i).unicode();
        // A surrogate pair is one character and becomes one '?'; a lone surrogate likewise.
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            out.push_back('?');
            continue;
        }
        const int b = cp1252::fromUnicode(c);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

}  // namespace quorvane
