#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The group pairs of an ASCII DXF file, read without interpretation. libdime builds the drawing;
// this reader checks the file's structure first (so a cut or damaged file gives a message instead
// of a half-read drawing) and serves what libdime does not keep: header variables, the tables and
// the objects of the OBJECTS section. The ENTITIES and BLOCKS sections, the bulk of a file, are
// checked and passed over: only their SECTION, name and ENDSEC groups are kept, and of their
// handles only the largest.
class zalDxfGroupReader
{
public:
    struct Group
    {
        int code = 0;
        QByteArray value;
    };

    // False with error() set when the data is not a complete ASCII DXF: a group code that is not
    // a number, a code without its value, no "EOF" at the end, or unbalanced sections.
    // With recordsApart, the filer records (310 groups) of the entities and blocks that name their
    // handle first are set apart: textWithoutRecords() is the file without them, for libdime, which
    // reads text a character at a time and spent most of its time on those long lines; record()
    // gives them back by handle. data must outlive the reader.
    bool read(const QByteArray& data, bool recordsApart = false);

    QString error() const { return m_error; }
    const QVector<Group>& groups() const { return m_groups; }
    // The largest handle (groups 5 and 105, hexadecimal) outside the HEADER section; 0 when none.
    quint64 largestHandle() const { return m_largestHandle; }
    // Whether data starts with the binary DXF sentinel.
    static bool isBinaryDxf(const QByteArray& data);
    // Walks a binary DXF group by group the way libdime reads it (one- or two-byte codes, values by
    // the code's type) and says whether every value is whole and the file ends with "0/EOF":
    // libdime stops the process on a cut binary file instead of reporting it.
    static bool checkBinary(const QByteArray& data, QString* error);

    // Entity names whose records alone build them: such an entity with its record set apart is left
    // in the text as a stub of the groups every entity shares (name, handle, layer, colour, owner...),
    // since libdime's time follows the bytes it reads. Set before read().
    void setKindsBuiltFromRecords(const std::vector<std::string>& names) { m_recordKinds = names; }

    // The file without the records set apart; empty when none were (then the file is read as it is).
    const QByteArray& textWithoutRecords() const { return m_withoutRecords; }
    // Whether the entity with this handle was cut to a stub.
    bool isStub(quint64 handle) const { return m_stubs.count(handle) != 0; }
    // A stub's entity as the file wrote it, without its records: the group text of one entity.
    // Empty when the handle names no stub.
    QByteArray entityText(quint64 handle) const;
    // The decoded bytes of the filer record set apart for the entity with this handle. False when
    // there is none, when two entities name the handle, or when its text is not hexadecimal.
    bool record(quint64 handle, std::string& bytes) const;
    // Appends the bytes of hexadecimal text (two digits a byte, either case); false on any other
    // character or an odd count of digits.
    static bool appendHex(std::string& out, const char* text, int length);

    // The value groups of a header variable ("$INSUNITS"); empty when absent.
    QVector<Group> headerVariable(const QByteArray& name) const;
    // Index range [begin, end) of the named section's groups (after its "2/NAME" pair); end < 0 when
    // the section is absent.
    void sectionRange(const QByteArray& name, int& begin, int& end) const;

private:
    QVector<Group> m_groups;
    QString m_error;
    quint64 m_largestHandle = 0;

    // The records set apart: the value ranges (offset, length in the data) of each handle's 310 groups,
    // consecutive in m_chunks.
    const char* m_text = nullptr;
    QByteArray m_withoutRecords;
    std::vector<std::pair<int, int>> m_chunks;
    std::unordered_map<quint64, std::pair<int, int>> m_recordChunks; // first chunk, count
    std::unordered_set<quint64> m_sharedHandles;
    std::unordered_set<quint64> m_entityHandles; // while reading: the handles entities named

    // The text libdime reads, as ranges of the data; a range with stub >= 0 stands for that stub.
    struct Range
    {
        int begin = 0, end = 0;
        int stub = -1;
    };
    struct Stub
    {
        quint64 handle = 0;
        int firstShort = 0, shortCount = 0; // the stub's groups, in m_stubRanges
        int firstWhole = 0, wholeCount = 0; // every group but the records
    };
    std::vector<std::string> m_recordKinds;
    std::vector<Range> m_textRanges;
    std::vector<Range> m_stubRanges;
    std::vector<Stub> m_stubList;
    std::unordered_map<quint64, int> m_stubs; // handle -> index in m_stubList
};
