#include "zalDxfGroupReader.h"

#include <dime/records/Record.h>

bool zalDxfGroupReader::isBinaryDxf(const QByteArray& data)
{
    return data.startsWith("AutoCAD Binary DXF");
}

bool zalDxfGroupReader::checkBinary(const QByteArray& data, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    // "AutoCAD Binary DXF", CR LF, SUB, NUL; the first group code's first byte is always 0.
    const int start = 22;
    const int size = data.size();
    if (!isBinaryDxf(data) || size < start + 2 || data.at(start) != 0)
        return fail(QStringLiteral("binary DXF without groups"));
    const bool wideCodes = data.at(start + 1) == 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    int pos = start;
    while (pos < size) {
        const int at = pos;
        int code = bytes[pos++];
        if (wideCodes) {
            if (pos >= size) break;
            code |= bytes[pos++] << 8;
        }
        if (code == 255) {
            if (pos + 2 > size) break;
            code = int(qint16(bytes[pos] | (bytes[pos + 1] << 8)));
            pos += 2;
        }
        int width = 0;
        switch (dimeRecord::getRecordType(code)) {
        case dimeBase::dimeInt8RecordType:
            width = 1;
            break;
        case dimeBase::dimeInt16RecordType:
            width = 2;
            break;
        case dimeBase::dimeInt32RecordType:
            width = 4;
            break;
        case dimeBase::dimeFloatRecordType:
        case dimeBase::dimeDoubleRecordType:
            width = 8; // binary files hold doubles only
            break;
        default: {
            // Text ends at NUL (consumed) or at a line break (left for the next read).
            int end = pos;
            while (end < size && bytes[end] != 0 && bytes[end] != '\n' && bytes[end] != '\r')
                ++end;
            if (end >= size)
                return fail(QStringLiteral("truncated (text of group %1 at byte %2)").arg(code).arg(at));
            const QByteArray text = data.mid(pos, end - pos);
            pos = bytes[end] == 0 ? end + 1 : end;
            if (code == 0 && text == "EOF") return true;
            continue;
        }
        }
        if (pos + width > size)
            return fail(QStringLiteral("truncated (group %1 at byte %2)").arg(code).arg(at));
        pos += width;
    }
    return fail(QStringLiteral("truncated (no EOF)"));
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
