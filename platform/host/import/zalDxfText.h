#pragma once

#include <QByteArray>
#include <QString>

class QTextCodec;

// Text of a DXF file: UTF-8 from AutoCAD 2007 (AC1021) on, the drawing's code page before that,
// with the \U+XXXX escapes older files use for characters outside their code page.
class zalDxfText
{
public:
    // acadVersion: $ACADVER ("AC1015"); codePage: $DWGCODEPAGE ("ANSI_1252"), may be empty.
    zalDxfText(const QByteArray& acadVersion, const QByteArray& codePage);

    QString decode(const char* text) const;
    bool isUtf8() const { return m_utf8; }

private:
    bool m_utf8 = false;
    QTextCodec* m_codec = nullptr;
};
