#pragma once

// Turns raw DXF string values into text: the file's character set (UTF-8
// from AutoCAD 2007 on, the $DWGCODEPAGE before) and the inline escapes
// \U+XXXX and %%c, %%d, %%p, %%u, %%o, %%%, %%nnn.

#include "model/Document.h"

#include <QString>
#include <QStringDecoder>

#include <string_view>

namespace dv::dxf {

class TextDecoder {
public:
    TextDecoder();
    // Chooses the character set from $ACADVER and $DWGCODEPAGE.
    void configure(std::string_view acadVersion, std::string_view codePage);
    QString encodingName() const { return m_name; }

    // Character set only: for names (layers, blocks, styles).
    QString decodeName(std::string_view raw);
    // Character set and the text escapes: for TEXT and ATTRIB values. The
    // stretches %%u, %%o and %%k turn on and off go to `decorations`.
    QString decodeText(std::string_view raw, std::vector<Text::Decoration>* decorations = nullptr);

private:
    QStringDecoder m_decoder; // invalid: Latin-1
    QString m_name;
};

// The ICU/Qt name of a $DWGCODEPAGE value ("ANSI_1252" -> "windows-1252");
// empty when there is none.
QString codecNameFor(std::string_view codePage);

// Expands \U+XXXX and the %% control codes; a toggle left on runs to the end.
QString expandEscapes(const QString& s, std::vector<Text::Decoration>* decorations = nullptr);

} // namespace dv::dxf
