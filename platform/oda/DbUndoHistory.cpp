#include "DbUndoHistory.h"

#include "DbDwgMemoryFiler.h"
#include "internal/DbImpl.h"

#include <string>
#include <type_traits>

namespace {

// One filed value as the memory filer keeps it in its array: a kind, a number, a real, a text, bytes
// and a database.
struct FiledValue
{
    int type;
    OdInt64 integer;
    double real;
    OdString text;
    std::string bytes;
    OdDbDatabase* db;
};

std::size_t filerBytes(OdDbDwgMemoryFiler* filer, std::size_t& items)
{
    const OdUInt32 count = filer->numItems();
    items += count;
    std::size_t bytes = sizeof(OdDbDwgMemoryFiler) + count * sizeof(FiledValue);
    // Texts longer than the string's own buffer hold heap memory of their own.
    const OdUInt32 position = filer->tell();
    for (OdUInt32 i = 0; i < count; ++i) {
        if (filer->itemTypeAt(i) != OdDbDwgMemoryFiler::kString) continue;
        filer->seek(i);
        const std::size_t length = filer->rdString().toStdWString().size();
        if (length >= sizeof(std::wstring) / sizeof(wchar_t)) bytes += (length + 1) * sizeof(wchar_t);
    }
    filer->seek(position);
    return bytes;
}

} // namespace

OdDbUndoHistorySize odDbUndoHistorySize(const OdDbDatabase* db)
{
    OdDbUndoHistorySize size;
    if (!db) return size;
    const auto* impl = OdDbObjectAccess::impl(db);
    using Steps = std::decay_t<decltype(impl->undoSteps)>;
    using Step = Steps::value_type;
    using Action = Step::value_type;
    for (const Steps* steps : {&impl->undoSteps, &impl->redoSteps}) {
        size.bytes += steps->capacity() * sizeof(Step);
        for (const Step& step : *steps) {
            if (!step.empty()) ++size.steps;
            size.bytes += step.capacity() * sizeof(Action);
            for (const Action& action : step)
                for (OdDbDwgMemoryFiler* filer : {action.before.get(), action.after.get()})
                    if (filer) size.bytes += filerBytes(filer, size.items);
        }
    }
    return size;
}
