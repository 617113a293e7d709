#include "zalDxfText.h"

#include <QRegularExpression>
#include <QTextCodec>

zalDxfText::zalDxfText(const QByteArray& acadVersion, const QByteArray& codePage)
{
    const QByteArray version = acadVersion.trimmed().toUpper();
    bool ok = false;
    const int number = version.startsWith("AC") ? version.mid(2).toInt(&ok) : 0;
    m_utf8 = ok && number >= 1021;
    if (m_utf8) return;
    QByteArray page = codePage.trimmed().toUpper();
    if (page.startsWith("ANSI_"))
        page = "windows-" + page.mid(5);
    else if (page.startsWith("DOS"))
        page = "IBM" + page.mid(3);
    if (page == "windows-936")
        page = "GBK";
    else if (page == "windows-932")
        page = "Shift_JIS";
    else if (page == "windows-949")
        page = "EUC-KR";
    else if (page == "windows-950")
        page = "Big5";
    m_codec = page.isEmpty() ? nullptr : QTextCodec::codecForName(page);
    // Drawings without a code page were written on Western Windows systems.
    if (!m_codec) m_codec = QTextCodec::codecForName("windows-1252");
}

QString zalDxfText::decode(const char* text) const
{
    if (!text) return QString();
    QString result = m_utf8 || !m_codec ? QString::fromUtf8(text) : m_codec->toUnicode(text);
    if (!result.contains(QLatin1String("\\U+"), Qt::CaseInsensitive)) return result;
    static const QRegularExpression escape(QStringLiteral("\\\\[Uu]\\+([0-9A-Fa-f]{4})"));
    QString out;
    int last = 0;
    auto it = escape.globalMatch(result);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += result.midRef(last, m.capturedStart() - last);
        out += QChar(m.captured(1).toUShort(nullptr, 16));
        last = m.capturedEnd();
    }
    out += result.midRef(last);
    return out;
}
