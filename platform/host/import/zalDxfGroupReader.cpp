#include "zalDxfGroupReader.h"

#include <dime/records/Record.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

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

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// [begin, end) without the blanks around it.
void trim(const char* text, int& begin, int& end)
{
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
}

bool equals(const char* text, int begin, int end, const char* word)
{
    const int n = int(std::strlen(word));
    return end - begin == n && std::memcmp(text + begin, word, size_t(n)) == 0;
}

// A decimal group code as QByteArray::toInt reads it: an optional sign and digits, within int.
bool groupCode(const char* text, int begin, int end, int& code)
{
    trim(text, begin, end);
    bool negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) negative = text[begin++] == '-';
    if (begin == end) return false;
    long long value = 0;
    for (int i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return false;
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) return false;
    code = int(value);
    return true;
}

// A hexadecimal handle; false when the text is none.
bool handle(const char* text, int begin, int end, quint64& value)
{
    trim(text, begin, end);
    char digits[40];
    if (begin == end || end - begin >= int(sizeof digits) || text[begin] == '-') return false;
    std::memcpy(digits, text + begin, size_t(end - begin));
    digits[end - begin] = '\0';
    char* stop = nullptr;
    errno = 0;
    value = std::strtoull(digits, &stop, 16);
    return errno == 0 && stop == digits + (end - begin);
}

} // namespace

bool zalDxfGroupReader::appendHex(std::string& out, const char* text, int length)
{
    static const auto table = [] {
        std::array<signed char, 256> t{};
        t.fill(-1);
        for (int i = 0; i < 10; ++i)
            t[size_t('0' + i)] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i)
            t[size_t('a' + i)] = t[size_t('A' + i)] = static_cast<signed char>(10 + i);
        return t;
    }();
    if (length % 2 != 0) return false;
    const size_t start = out.size();
    out.resize(start + size_t(length / 2));
    char* to = &out[start];
    const auto* from = reinterpret_cast<const unsigned char*>(text);
    for (int i = 0; i < length; i += 2) {
        const int high = table[from[i]], low = table[from[i + 1]];
        if ((high | low) < 0) {
            out.resize(start);
            return false;
        }
        *to++ = char((high << 4) | low);
    }
    return true;
}

bool zalDxfGroupReader::record(quint64 handle, std::string& bytes) const
{
    bytes.clear();
    const auto it = m_recordChunks.find(handle);
    if (it == m_recordChunks.end() || m_sharedHandles.count(handle)) return false;
    const int first = it->second.first, count = it->second.second;
    if (count == 1)
        return appendHex(bytes, m_text + m_chunks[size_t(first)].first, m_chunks[size_t(first)].second) &&
               !bytes.empty();
    // A byte may be split between two chunks: they are joined before they are decoded.
    std::string hex;
    for (int i = first; i < first + count; ++i)
        hex.append(m_text + m_chunks[size_t(i)].first, size_t(m_chunks[size_t(i)].second));
    if (!appendHex(bytes, hex.data(), int(hex.size()))) bytes.clear();
    return !bytes.empty();
}

bool zalDxfGroupReader::read(const QByteArray& data, bool recordsApart)
{
    m_groups.clear();
    m_error.clear();
    m_largestHandle = 0;
    m_text = data.constData();
    m_withoutRecords.clear();
    m_chunks.clear();
    m_recordChunks.clear();
    m_sharedHandles.clear();
    if (isBinaryDxf(data)) {
        m_error = QStringLiteral("binary DXF has no group text");
        return false;
    }
    // Lines end with LF or CR LF; a trailing line without end is still a line. The lines are found
    // in place: values are copied only for the groups that are kept.
    const char* text = data.constData();
    const int size = data.size();
    int lineCount = 0;
    for (const char* p = text; p < text + size; ++lineCount) {
        const void* nl = std::memchr(p, '\n', size_t(text + size - p));
        p = nl ? static_cast<const char*>(nl) + 1 : text + size;
    }
    if (lineCount % 2 != 0) {
        // A lone "EOF" value line without a newline is fine; a code without value is not.
        m_error = QStringLiteral("truncated (a group code without its value at line %1)").arg(lineCount);
        return false;
    }
    int pos = 0;
    auto nextLine = [&](int& begin, int& end) {
        begin = pos;
        const void* nl = std::memchr(text + pos, '\n', size_t(size - pos));
        const int at = nl ? int(static_cast<const char*>(nl) - text) : size;
        end = at > begin && text[at - 1] == '\r' ? at - 1 : at;
        pos = at + 1;
    };
    // The entity being passed over: its handle, once named, and whether its records are set apart.
    bool entityHandleKnown = false;
    bool entityRecordsApart = false;
    quint64 entityHandle = 0;
    int copiedUpTo = 0; // the part of the data already in m_withoutRecords
    if (recordsApart) m_withoutRecords.reserve(size);
    int sectionDepth = 0;
    bool sawEof = false;
    bool passOver = false;     // inside ENTITIES or BLOCKS
    bool inHeader = false;     // inside HEADER
    bool sectionStart = false; // the group after "0/SECTION" names the section
    for (int i = 0; i + 1 < lineCount; i += 2) {
        int codeBegin, codeEnd, valueBegin, valueEnd;
        nextLine(codeBegin, codeEnd);
        nextLine(valueBegin, valueEnd);
        int code = 0;
        if (!groupCode(text, codeBegin, codeEnd, code)) {
            m_error = QStringLiteral("not a DXF group code at line %1").arg(i + 1);
            return false;
        }
        bool keep = !passOver;
        if (code == 0) {
            int wordBegin = valueBegin, wordEnd = valueEnd;
            trim(text, wordBegin, wordEnd);
            if (equals(text, wordBegin, wordEnd, "SECTION")) {
                if (sectionDepth != 0) {
                    m_error = QStringLiteral("section not closed before line %1").arg(i + 1);
                    return false;
                }
                ++sectionDepth;
                sectionStart = keep = true;
            } else if (equals(text, wordBegin, wordEnd, "ENDSEC")) {
                if (sectionDepth != 1) {
                    m_error = QStringLiteral("ENDSEC without SECTION at line %1").arg(i + 1);
                    return false;
                }
                --sectionDepth;
                passOver = inHeader = false;
                keep = true;
            } else if (equals(text, wordBegin, wordEnd, "EOF")) {
                sawEof = true;
                m_groups.append(Group{code, QByteArray(text + valueBegin, valueEnd - valueBegin)});
                break;
            }
        } else if (sectionStart && code == 2) {
            int nameBegin = valueBegin, nameEnd = valueEnd;
            trim(text, nameBegin, nameEnd);
            passOver =
                equals(text, nameBegin, nameEnd, "ENTITIES") || equals(text, nameBegin, nameEnd, "BLOCKS");
            inHeader = equals(text, nameBegin, nameEnd, "HEADER");
            keep = true;
        }
        if (code != 0) sectionStart = false;
        quint64 h = 0;
        const bool isHandle =
            (code == 5 || code == 105) && !inHeader && handle(text, valueBegin, valueEnd, h);
        if (isHandle) m_largestHandle = std::max(m_largestHandle, h);
        if (keep) m_groups.append(Group{code, QByteArray(text + valueBegin, valueEnd - valueBegin)});
        if (!recordsApart) continue;
        if (code == 0) {
            entityHandleKnown = entityRecordsApart = false;
        } else if (passOver && code == 5 && isHandle && !entityHandleKnown) {
            entityHandleKnown = true;
            entityHandle = h;
            // A handle two entities name cannot tell whose record it is: the second keeps its records
            // in the text, and the first's are not given back.
            entityRecordsApart = !m_recordChunks.count(h);
            if (!entityRecordsApart) m_sharedHandles.insert(h);
        } else if (passOver && code == 310 && entityRecordsApart) {
            int chunkBegin = valueBegin, chunkEnd = valueEnd;
            trim(text, chunkBegin, chunkEnd);
            auto it = m_recordChunks.find(entityHandle);
            if (it == m_recordChunks.end())
                it = m_recordChunks.emplace(entityHandle, std::make_pair(int(m_chunks.size()), 0)).first;
            m_chunks.emplace_back(chunkBegin, chunkEnd - chunkBegin);
            ++it->second.second;
            m_withoutRecords.append(text + copiedUpTo, codeBegin - copiedUpTo);
            copiedUpTo = std::min(pos, size);
        }
    }
    if (recordsApart) {
        if (m_chunks.empty())
            m_withoutRecords.clear();
        else
            m_withoutRecords.append(text + copiedUpTo, size - copiedUpTo);
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
