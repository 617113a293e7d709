#include "zalDxfGroupReader.h"

bool zalDxfGroupReader::isBinaryDxf(const QByteArray& data)
{
    return data.startsWith("AutoCAD Binary DXF");
}

bool zalDxfGroupReader::read(const QByteArray& data)
{
    m_groups.clear();
    m_error.clear();
    if (isBinaryDxf(data)) {
        m_error = QStringLiteral("binary DXF has no group text");
        return false;
    }
    // Lines end with LF or CR LF; a trailing line without end is still a line.
    QVector<QByteArray> lines;
    int start = 0;
    const int size = data.size();
    while (start < size) {
        int end = data.indexOf('\n', start);
        if (end < 0) end = size;
        int stop = end;
        if (stop > start && data.at(stop - 1) == '\r') --stop;
        lines.append(data.mid(start, stop - start));
        start = end + 1;
    }
    if (lines.size() % 2 != 0) {
        // A lone "EOF" value line without a newline is fine; a code without value is not.
        m_error = QStringLiteral("truncated (a group code without its value at line %1)").arg(lines.size());
        return false;
    }
    m_groups.reserve(lines.size() / 2);
    int sectionDepth = 0;
    bool sawEof = false;
    for (int i = 0; i + 1 < lines.size(); i += 2) {
        bool ok = false;
        const int code = lines.at(i).trimmed().toInt(&ok);
        if (!ok) {
            m_error = QStringLiteral("not a DXF group code at line %1").arg(i + 1);
            return false;
        }
        Group g;
        g.code = code;
        g.value = lines.at(i + 1);
        if (code == 0) {
            const QByteArray word = g.value.trimmed();
            if (word == "SECTION") {
                if (sectionDepth != 0) {
                    m_error = QStringLiteral("section not closed before line %1").arg(i + 1);
                    return false;
                }
                ++sectionDepth;
            } else if (word == "ENDSEC") {
                if (sectionDepth != 1) {
                    m_error = QStringLiteral("ENDSEC without SECTION at line %1").arg(i + 1);
                    return false;
                }
                --sectionDepth;
            } else if (word == "EOF") {
                sawEof = true;
                m_groups.append(g);
                break;
            }
        }
        m_groups.append(g);
    }
    if (!sawEof || sectionDepth != 0) {
        m_error = QStringLiteral("truncated (no end of file marker)");
        m_groups.clear();
        return false;
    }
    return true;
}

void zalDxfGroupReader::sectionRange(const QByteArray& name, int& begin, int& end) const
{
    begin = end = -1;
    for (int i = 0; i + 1 < m_groups.size(); ++i) {
        if (m_groups[i].code == 0 && m_groups[i].value.trimmed() == "SECTION" && m_groups[i + 1].code == 2 &&
            m_groups[i + 1].value.trimmed() == name) {
            begin = i + 2;
            for (int j = begin; j < m_groups.size(); ++j) {
                if (m_groups[j].code == 0 && m_groups[j].value.trimmed() == "ENDSEC") {
                    end = j;
                    return;
                }
            }
            return;
        }
    }
}

QVector<zalDxfGroupReader::Group> zalDxfGroupReader::headerVariable(const QByteArray& name) const
{
    QVector<Group> values;
    int begin = 0;
    int end = 0;
    sectionRange("HEADER", begin, end);
    for (int i = begin; i >= 0 && i < end; ++i) {
        if (m_groups[i].code == 9 && m_groups[i].value.trimmed() == name) {
            for (int j = i + 1; j < end && m_groups[j].code != 9 && m_groups[j].code != 0; ++j)
                values.append(m_groups[j]);
            break;
        }
    }
    return values;
}
