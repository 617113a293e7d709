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

// libdime copies a number's characters into a fixed buffer on its stack without a bound (a value of
// about a thousand digits overruns it); no writer needs more than a few dozen.
constexpr int kLongestNumber = 255;

// A decimal group code as QByteArray::toInt reads it: an optional sign and digits, within int.
bool groupCode(const char* text, int begin, int end, int& code)
{
    trim(text, begin, end);
    if (end - begin > kLongestNumber) return false;
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

// The groups every entity shares, which the importer reads from the groups even when the entity's
// record builds it: handle, linetype, layer, linetype scale, visibility, colour, paper space, reactors
// and owner, material, lineweight, true colour, colour book and transparency.
bool keptInStub(int code)
{
    switch (code) {
    case 5:
    case 6:
    case 8:
    case 48:
    case 60:
    case 62:
    case 67:
    case 102:
    case 330:
    case 347:
    case 360:
    case 370:
    case 420:
    case 430:
    case 440:
        return true;
    default:
        return false;
    }
}

// libdime sizes memory from counts a file declares and trusts them: a table's entry count (70 in its
// head) goes to new[], where a negative one throws out of the import; a light polyline's vertex count
// (90) sizes five arrays at its first vertex group, so a count far above what the file carries asks
// for gigabytes, a second 90 after that writes past them, and vertices declared but not given are
// read unset. Those files are refused before libdime sees them.
class DeclaredCounts
{
public:
    // `unit` says where objects are counted from: "line" in text files, "byte" in binary ones.
    explicit DeclaredCounts(const char* unit) : m_unit(QLatin1String(unit)) {}

    // At every 0 group: checks the object it ends and starts the next (kind is its 0 group's text).
    bool next(const char* kind, int kindLength, int line, QString* error)
    {
        if (!finish(error)) return false;
        m_kind = Other;
        m_line = line;
        m_declared = m_count90 = m_x = m_y = 0;
        m_vertexGroups = false;
        const auto is = [&](const char* word) {
            return kindLength == int(std::strlen(word)) && std::memcmp(kind, word, size_t(kindLength)) == 0;
        };
        // Wherever they stand: libdime's idea of the section may not be this reader's in a damaged file.
        if (is("TABLE"))
            m_kind = TableHead;
        else if (is("LWPOLYLINE"))
            m_kind = LightPolyline;
        return true;
    }
    // Whether the value of this group code matters to the object being read.
    bool wants(int code) const
    {
        if (m_kind == TableHead) return code == 70;
        if (m_kind == LightPolyline)
            return code == 90 || code == 10 || code == 20 || code == 40 || code == 41 || code == 42;
        return false;
    }
    // A wanted group; number is its value as libdime reads it (only 70 and 90 use it).
    bool value(int code, qint64 number, QString* error)
    {
        if (m_kind == TableHead) {
            if (number < 0) {
                *error = QStringLiteral("the table at %1 %2 declares %3 entries")
                             .arg(m_unit)
                             .arg(m_line)
                             .arg(number);
                return false;
            }
            return true;
        }
        switch (code) {
        case 90:
            // libdime keeps it in 32 bits.
            m_declared = qint32(quint32(quint64(number)));
            ++m_count90;
            break;
        case 10:
            ++m_x;
            m_vertexGroups = true;
            break;
        case 20:
            ++m_y;
            m_vertexGroups = true;
            break;
        default:
            m_vertexGroups = true;
            break;
        }
        return true;
    }
    bool finish(QString* error) const
    {
        if (m_kind != LightPolyline || !m_vertexGroups) return true;
        if (m_count90 > 1) {
            *error = QStringLiteral("the LWPOLYLINE at %1 %2 declares its vertex count %3 times")
                         .arg(m_unit)
                         .arg(m_line)
                         .arg(m_count90);
            return false;
        }
        if (m_declared > std::min(m_x, m_y)) {
            *error = QStringLiteral("the LWPOLYLINE at %1 %2 declares %3 vertices and gives %4")
                         .arg(m_unit)
                         .arg(m_line)
                         .arg(m_declared)
                         .arg(std::min(m_x, m_y));
            return false;
        }
        return true;
    }

private:
    enum Kind
    {
        Other,
        TableHead,
        LightPolyline
    };
    QLatin1String m_unit;
    Kind m_kind = Other;
    int m_line = 0;
    qint64 m_declared = 0;
    qint64 m_count90 = 0, m_x = 0, m_y = 0;
    bool m_vertexGroups = false;
};

// The bytes of a group's value in a binary file by the type libdime gives its code; 0 for text. A code
// with a width is one libdime reads as a number in text files too.
int numberWidth(int code)
{
    switch (dimeRecord::getRecordType(code)) {
    case dimeBase::dimeInt8RecordType:
        return 1;
    case dimeBase::dimeInt16RecordType:
        return 2;
    case dimeBase::dimeInt32RecordType:
        return 4;
    case dimeBase::dimeFloatRecordType:
    case dimeBase::dimeDoubleRecordType:
        return 8; // binary files hold doubles only
    default:
        return 0;
    }
}

// An integer value as libdime reads it from text: an optional sign, then hexadecimal after "0x",
// octal after a leading 0, else decimal, as far as the digits go; 0 when there are none.
qint64 libdimeInteger(const char* text, int begin, int end)
{
    trim(text, begin, end);
    char digits[kLongestNumber + 1];
    const int n = std::min(end - begin, kLongestNumber);
    std::memcpy(digits, text + begin, size_t(std::max(n, 0)));
    digits[std::max(n, 0)] = '\0';
    return std::strtoll(digits, nullptr, 0);
}

} // namespace

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
    DeclaredCounts counts("byte");
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
        const int width = numberWidth(code);
        if (width == 0) {
            // Text ends at NUL (consumed) or at a line break (left for the next read).
            int end = pos;
            while (end < size && bytes[end] != 0 && bytes[end] != '\n' && bytes[end] != '\r')
                ++end;
            if (end >= size)
                return fail(QStringLiteral("truncated (text of group %1 at byte %2)").arg(code).arg(at));
            const QByteArray text = data.mid(pos, end - pos);
            pos = bytes[end] == 0 ? end + 1 : end;
            if (code == 0) {
                QString why;
                if (!counts.next(text.constData(), text.size(), at, &why)) return fail(why);
                if (text == "EOF") return true;
            }
            continue;
        }
        if (pos + width > size)
            return fail(QStringLiteral("truncated (group %1 at byte %2)").arg(code).arg(at));
        if (counts.wants(code)) {
            qint64 number = 0;
            if (width == 2)
                number = qint16(bytes[pos] | (bytes[pos + 1] << 8));
            else if (width == 4)
                number = qint32(quint32(bytes[pos]) | (quint32(bytes[pos + 1]) << 8) |
                                (quint32(bytes[pos + 2]) << 16) | (quint32(bytes[pos + 3]) << 24));
            QString why;
            if (!counts.value(code, number, &why)) return fail(why);
        }
        pos += width;
    }
    return fail(QStringLiteral("truncated (no EOF)"));
}

QByteArray zalDxfGroupReader::entityText(quint64 handle) const
{
    QByteArray out;
    const auto it = m_stubs.find(handle);
    if (it == m_stubs.end()) return out;
    const Stub& stub = m_stubList[size_t(it->second)];
    for (int i = stub.firstWhole; i < stub.firstWhole + stub.wholeCount; ++i)
        out.append(m_text + m_stubRanges[size_t(i)].begin,
                   m_stubRanges[size_t(i)].end - m_stubRanges[size_t(i)].begin);
    return out;
}

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
    m_textRanges.clear();
    m_stubRanges.clear();
    m_stubList.clear();
    m_stubs.clear();
    m_entityHandles.clear();
    if (isBinaryDxf(data)) {
        m_error = QStringLiteral("binary DXF has no group text");
        return false;
    }
    // Lines end with LF or CR LF; a trailing line without end is still a line. The lines are found
    // in place: values are copied only for the groups that are kept.
    const char* text = data.constData();
    const int size = data.size();
    // One pass over the bytes counts the lines: a call per line cost as much as the check's own work.
    int lineCount = int(std::count(text, text + size, '\n'));
    if (size > 0 && text[size - 1] != '\n') ++lineCount;
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
    int copiedUpTo = 0; // the part of the data already in m_textRanges
    // The entity being passed over, from its 0 group: whether its kind is built from its record, whether
    // a record came before its handle, and its groups without the records set apart (whole) and those
    // a stub keeps (short).
    int entityStart = -1;
    bool entityFromRecord = false;
    bool recordBeforeHandle = false;
    std::vector<Range> whole, shortened;
    const auto add = [](std::vector<Range>& to, int begin, int end) {
        if (!to.empty() && to.back().end == begin)
            to.back().end = end;
        else
            to.push_back(Range{begin, end, -1});
    };
    const auto finishEntity = [&](int end) {
        if (entityStart < 0) return;
        if (entityStart > copiedUpTo) m_textRanges.push_back(Range{copiedUpTo, entityStart, -1});
        const bool recordApart = entityRecordsApart && m_recordChunks.count(entityHandle);
        if (entityFromRecord && recordApart && !recordBeforeHandle) {
            Stub stub;
            stub.handle = entityHandle;
            stub.firstShort = int(m_stubRanges.size());
            stub.shortCount = int(shortened.size());
            m_stubRanges.insert(m_stubRanges.end(), shortened.begin(), shortened.end());
            stub.firstWhole = int(m_stubRanges.size());
            stub.wholeCount = int(whole.size());
            m_stubRanges.insert(m_stubRanges.end(), whole.begin(), whole.end());
            m_stubs[entityHandle] = int(m_stubList.size());
            m_textRanges.push_back(Range{0, 0, int(m_stubList.size())});
            m_stubList.push_back(stub);
        } else {
            m_textRanges.insert(m_textRanges.end(), whole.begin(), whole.end());
        }
        whole.clear();
        shortened.clear();
        copiedUpTo = end;
        entityStart = -1;
    };
    int sectionDepth = 0;
    bool sawEof = false;
    bool passOver = false; // inside ENTITIES or BLOCKS
    bool inHeader = false; // inside HEADER
    DeclaredCounts counts("line");
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
            }
            if (!counts.next(text + wordBegin, wordEnd - wordBegin, i + 1, &m_error)) return false;
            if (equals(text, wordBegin, wordEnd, "EOF")) {
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
        } else if (counts.wants(code) &&
                   !counts.value(code, libdimeInteger(text, valueBegin, valueEnd), &m_error)) {
            return false;
        }
        if (valueEnd - valueBegin > kLongestNumber && numberWidth(code) > 0) {
            int numberBegin = valueBegin, numberEnd = valueEnd;
            trim(text, numberBegin, numberEnd);
            if (numberEnd - numberBegin > kLongestNumber) {
                m_error = QStringLiteral("a number of %1 characters at line %2")
                              .arg(numberEnd - numberBegin)
                              .arg(i + 2);
                return false;
            }
        }
        if (code != 0) sectionStart = false;
        quint64 h = 0;
        const bool isHandle =
            (code == 5 || code == 105) && !inHeader && handle(text, valueBegin, valueEnd, h);
        if (isHandle) m_largestHandle = std::max(m_largestHandle, h);
        if (keep) m_groups.append(Group{code, QByteArray(text + valueBegin, valueEnd - valueBegin)});
        if (!recordsApart) continue;
        const int groupEnd = std::min(pos, size);
        if (code == 0) {
            finishEntity(codeBegin);
            entityHandleKnown = entityRecordsApart = recordBeforeHandle = false;
            if (passOver) {
                int wordBegin = valueBegin, wordEnd = valueEnd;
                trim(text, wordBegin, wordEnd);
                const std::string name(text + wordBegin, size_t(wordEnd - wordBegin));
                entityStart = codeBegin;
                entityFromRecord =
                    std::find(m_recordKinds.begin(), m_recordKinds.end(), name) != m_recordKinds.end();
            }
        }
        if (entityStart < 0) continue;
        if (code == 0) {
            add(whole, codeBegin, groupEnd);
            add(shortened, codeBegin, groupEnd);
        } else if (code == 5 && isHandle && !entityHandleKnown) {
            entityHandleKnown = true;
            entityHandle = h;
            // A handle two entities name cannot tell whose record it is: the second keeps its records
            // in the text, and the first's are not given back (nor is a stub left cut). Every handle
            // counts, so an entity without records cannot take a later one's.
            entityRecordsApart = m_entityHandles.insert(h).second;
            if (!entityRecordsApart) m_sharedHandles.insert(h);
            add(whole, codeBegin, groupEnd);
            add(shortened, codeBegin, groupEnd);
        } else if (code == 310 && entityRecordsApart) {
            int chunkBegin = valueBegin, chunkEnd = valueEnd;
            trim(text, chunkBegin, chunkEnd);
            auto it = m_recordChunks.find(entityHandle);
            if (it == m_recordChunks.end())
                it = m_recordChunks.emplace(entityHandle, std::make_pair(int(m_chunks.size()), 0)).first;
            m_chunks.emplace_back(chunkBegin, chunkEnd - chunkBegin);
            ++it->second.second;
        } else {
            if (code == 310 && !entityHandleKnown) recordBeforeHandle = true;
            add(whole, codeBegin, groupEnd);
            if (keptInStub(code)) add(shortened, codeBegin, groupEnd);
        }
    }
    if (recordsApart && !m_chunks.empty()) {
        finishEntity(size);
        if (size > copiedUpTo) m_textRanges.push_back(Range{copiedUpTo, size, -1});
        // A stub whose handle another entity names too keeps its groups: its record is not given back.
        for (quint64 h : m_sharedHandles)
            m_stubs.erase(h);
        const auto rangesOf = [this](const Range& r, const Range*& first, int& count) {
            const Stub& stub = m_stubList[size_t(r.stub)];
            const bool cut = m_stubs.count(stub.handle) != 0;
            first = m_stubRanges.data() + (cut ? stub.firstShort : stub.firstWhole);
            count = cut ? stub.shortCount : stub.wholeCount;
        };
        qsizetype total = 0;
        for (const Range& r : m_textRanges) {
            if (r.stub < 0) {
                total += r.end - r.begin;
                continue;
            }
            const Range* first = nullptr;
            int count = 0;
            rangesOf(r, first, count);
            for (int i = 0; i < count; ++i)
                total += first[i].end - first[i].begin;
        }
        m_withoutRecords.reserve(int(total));
        for (const Range& r : m_textRanges) {
            if (r.stub < 0) {
                m_withoutRecords.append(text + r.begin, r.end - r.begin);
                continue;
            }
            const Range* first = nullptr;
            int count = 0;
            rangesOf(r, first, count);
            for (int i = 0; i < count; ++i)
                m_withoutRecords.append(text + first[i].begin, first[i].end - first[i].begin);
        }
    }
    m_textRanges = std::vector<Range>();
    m_entityHandles = std::unordered_set<quint64>();
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
