// The host's application variables read from an INI file with the input's bytes: every key's
// value, its type, and the integer reading the module uses.
#include "zalFuzzSupport.h"

#include "zalHostAppProps.h"
#include "zalStrings.h"

#include "OdString.h"

#include <QSettings>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = (zalFuzz::application(), true);
    (void)ready;
    const QString path = zalFuzz::writeFile(QStringLiteral("vars.ini"), data, size);
    if (path.isEmpty()) return 0;
    zalHostAppProps props(path);
    QStringList keys;
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("Vars"));
        keys = raw.allKeys();
    }
    for (const QString& key : keys) {
        (void)props.variable(key);
        (void)props.variableType(key);
        (void)props.intVariable(zalStrings::toOdString(key), -1);
    }
    return 0;
}
