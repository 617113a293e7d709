#include "OdDbXmlPropWaterFountain.h"
#include "zalStrings.h"

#include "zalDbWaterFountain.h"

#include "DbUnitsFormatter.h"
#include "PropContext.h"

#include <QString>

#include <cmath>
#include <cstdint>

namespace {

const double kPi = 3.14159265358979323846;
const double kTolerance = 1e-10;

// The placement split as translation × Rz × Ry × Rx × scaling.
struct Decomposed
{
    OdGeVector3d translation;
    double scale[3] = {1.0, 1.0, 1.0};
    double angle[3] = {0.0, 0.0, 0.0};

    explicit Decomposed(const OdGeMatrix3d& m)
    {
        translation = m.translation();
        double r[3][3];
        for (int column = 0; column < 3; ++column) {
            const double length = std::sqrt(m[0][column] * m[0][column] + m[1][column] * m[1][column] +
                                            m[2][column] * m[2][column]);
            scale[column] = length;
            for (int row = 0; row < 3; ++row)
                r[row][column] = length > 0.0 ? m[row][column] / length : 0.0;
        }
        angle[1] = std::asin(std::max(-1.0, std::min(1.0, -r[2][0])));
        if (std::hypot(r[0][0], r[1][0]) < 1e-6) {
            // Looking straight up or down: the turn about Z cannot be told from the one about X.
            angle[2] = 0.0;
            angle[0] = std::atan2(-r[1][2], r[1][1]);
        } else {
            angle[2] = std::atan2(r[1][0], r[0][0]);
            angle[0] = std::atan2(r[2][1], r[2][2]);
        }
    }

    OdGeMatrix3d compose() const
    {
        const OdGeMatrix3d rotation = OdGeMatrix3d::rotation(angle[2], OdGeVector3d::kZAxis) *
                                      OdGeMatrix3d::rotation(angle[1], OdGeVector3d::kYAxis) *
                                      OdGeMatrix3d::rotation(angle[0], OdGeVector3d::kXAxis);
        return OdGeMatrix3d::translation(translation) * rotation *
               OdGeMatrix3d::scaling(OdGeScale3d(scale[0], scale[1], scale[2]));
    }
};

double horizontalAngle(const OdGeMatrix3d& m)
{
    const OdGeVector3d x = m.getCsXAxis();
    return std::atan2(x.y, x.x);
}

// The Z axis seen along the X axis, counter-clockwise from the X axis' reference direction in that
// plane (the drawing format's arbitrary axis), less a quarter turn: 0 for an upright fountain
// whichever way it faces, and a roll about its own X axis by t reads t.
double verticalAngle(const OdGeMatrix3d& m)
{
    const OdGeVector3d x = m.getCsXAxis();
    if (x.isZeroLength()) return 0.0;
    const OdGeVector3d normal = x.normal();
    const OdGeVector3d reference = normal.perpVector();
    const OdGeVector3d z = m.getCsZAxis();
    const double angle =
        std::atan2(normal.dotProduct(reference.crossProduct(z)), reference.dotProduct(z)) - kPi / 2.0;
    return angle < -kPi ? angle + 2.0 * kPi : angle;
}

// Text that is no number reads as 0, like the string-to-number conversion of the panels.
double readDouble(const OdString& text)
{
    return zalStrings::toQString(text).trimmed().toDouble();
}

// Truncated toward zero and kept to its low 32 bits, as the integer conversions do; what cannot be
// an integer at all (not a number, beyond 64 bits) gives 0.
OdUInt32 toColour(double value)
{
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(value > -limit && value < limit)) return 0;
    return OdUInt32(std::uint64_t(std::int64_t(value)));
}

} // namespace

OdDbXmlPropWaterFountainPtr OdDbXmlPropWaterFountain::createObject(zalDbWaterFountain* fountain,
                                                                   OdDbDatabase* database)
{
    OdDbXmlPropWaterFountainPtr source = OdRxObjectImpl<OdDbXmlPropWaterFountain>::createObject();
    if (fountain && fountain->isDBRO())
        source->m_id = fountain->objectId();
    else
        source->m_transient = fountain;
    source->m_database = database;
    return source;
}

OdSmartPtr<zalDbWaterFountain> OdDbXmlPropWaterFountain::open(OdDb::OpenMode mode) const
{
    if (!m_transient.isNull()) return m_transient;
    if (m_id.isNull()) return OdSmartPtr<zalDbWaterFountain>();
    OdDbObjectPtr object = m_id.openObject(mode);
    zalDbWaterFountain* fountain = dynamic_cast<zalDbWaterFountain*>(object.get());
    return OdSmartPtr<zalDbWaterFountain>(fountain);
}

OdDbDatabase* OdDbXmlPropWaterFountain::unitDatabase(const zalDbWaterFountain* fountain) const
{
    OdDbDatabase* db = fountain ? fountain->database() : nullptr;
    return db ? db : m_database;
}

bool OdDbXmlPropWaterFountain::getPropertyValues(OdPropContext& context)
{
    OdSmartPtr<zalDbWaterFountain> fountain = open(OdDb::kForRead);
    if (fountain.isNull()) return false;
    OdDbDatabase* db = unitDatabase(fountain.get());
    if (!db) db = dynamic_cast<OdDbDatabase*>(context.database());
    auto angleText = [db](double value) {
        return db ? db->formatter().formatAngle(value) : OdDbUnitsFormatter::formatA(value, 0, 8);
    };
    auto distanceText = [db](double value) {
        return db ? db->formatter().formatLinear(value) : OdDbUnitsFormatter::formatL(value, 2, 8);
    };
    auto visible = [](OdPropContext::Element element, const char* name) {
        element.setAttribute(OdString(L"VisibleName"), zalStrings::toOdString(tr(name)));
        return element;
    };
    auto number = [&](OdPropContext::Element& category, const wchar_t* name, const char* visibleName,
                      double value, double minimum, double maximum) {
        visible(category.addProperty(OdString(name), OdPropContext::formatDouble(value), OdString(L"double")),
                visibleName)
            .setAttribute(OdString(L"Min"), OdPropContext::formatDouble(minimum))
            .setAttribute(OdString(L"Max"), OdPropContext::formatDouble(maximum));
    };

    OdPropContext::Element category =
        visible(context.root().addCategory(OdString(L"FountainProperties")), "Fountain Properties");
    visible(category.addProperty(OdString(L"On"), OdString(fountain->active() ? L"true" : L"false"),
                                 OdString(L"bool")),
            "Active");
    visible(category.addProperty(OdString(L"WaterColor"),
                                 zalStrings::toOdString(QString::number(fountain->waterColor())),
                                 OdString(L"colorref")),
            "Water Color");
    number(category, L"Lifetime", "Lifetime", fountain->lifetime(), 0.1, 15.0);
    number(category, L"SpawnRate", "Spawn Rate", fountain->spawnRate(), 0.1, 100.0);
    number(category, L"SpreadWidth", "Spread Width", fountain->spreadWidth(), 0.1, 100.0);
    number(category, L"SpreadStartWidth", "Spread Start Width", fountain->spreadStartWidth(), 0.1, 100.0);
    number(category, L"JetPower", "Jet Power", fountain->jetPower(), 0.1, 100.0);

    const OdGeMatrix3d transform = fountain->transform();
    visible(category.addProperty(OdString(L"HorizontalAngle"), angleText(horizontalAngle(transform)),
                                 OdString(L"angle")),
            "Horizontal Angle");
    visible(category.addProperty(OdString(L"VerticalAngle"), angleText(verticalAngle(transform)),
                                 OdString(L"angle")),
            "Vertical Angle");

    OdPropContext::Element position = visible(category.addCategory(OdString(L"Position")), "Position");
    position.setAttribute(OdString(L"expandable"), "false").setAttribute(OdString(L"layout"), "horizontal");
    const OdGePoint3d origin = transform.getCsOrigin();
    visible(position.addProperty(OdString(L"PositionX"), distanceText(origin.x), OdString(L"distance")), "X");
    visible(position.addProperty(OdString(L"PositionY"), distanceText(origin.y), OdString(L"distance")), "Y");
    visible(position.addProperty(OdString(L"PositionZ"), distanceText(origin.z), OdString(L"distance")), "Z");
    return true;
}

bool OdDbXmlPropWaterFountain::setPropertyValue(const OdString& path, const OdString& value,
                                                OdPropSource::Action_t& action)
{
    action = OdPropSource::kNoAction;
    const QString fullPath = zalStrings::toQString(path);
    const int slash = fullPath.indexOf(QLatin1Char('/'));
    if (slash < 0 || fullPath.left(slash) != QLatin1String("FountainProperties")) return false;
    QString name = fullPath.mid(slash + 1);
    if (name.startsWith(QLatin1String("Position/"))) name = name.mid(int(qstrlen("Position/")));

    OdSmartPtr<zalDbWaterFountain> fountain = open(OdDb::kForRead);
    if (fountain.isNull()) return false;
    OdDbDatabase* db = unitDatabase(fountain.get());
    // Read first, write only for a real change: an unchanged value must not mark the drawing modified.
    auto forWrite = [&fountain]() -> zalDbWaterFountain* {
        if (!fountain->isWriteEnabled()) fountain->upgradeOpen();
        return fountain.get();
    };

    if (name == QLatin1String("On")) {
        const QString text = zalStrings::toQString(value).trimmed();
        const bool on =
            text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1");
        if (on != fountain->active()) forWrite()->setActive(on);
        return true;
    }

    struct NumberField
    {
        const char* name;
        double (zalDbWaterFountain::*get)() const;
        void (zalDbWaterFountain::*set)(double);
    };
    static const NumberField numbers[] = {
        {"Lifetime", &zalDbWaterFountain::lifetime, &zalDbWaterFountain::setLifetime},
        {"SpawnRate", &zalDbWaterFountain::spawnRate, &zalDbWaterFountain::setSpawnRate},
        {"SpreadWidth", &zalDbWaterFountain::spreadWidth, &zalDbWaterFountain::setSpreadWidth},
        {"SpreadStartWidth", &zalDbWaterFountain::spreadStartWidth, &zalDbWaterFountain::setSpreadStartWidth},
        {"JetPower", &zalDbWaterFountain::jetPower, &zalDbWaterFountain::setJetPower},
    };
    for (const NumberField& field : numbers) {
        if (name != QLatin1String(field.name)) continue;
        const double number = readDouble(value);
        if (std::fabs(number - (fountain.get()->*field.get)()) > kTolerance) (forWrite()->*field.set)(number);
        return true;
    }

    if (name == QLatin1String("WaterColor")) {
        const OdUInt32 color = toColour(readDouble(value));
        if (color != fountain->waterColor()) forWrite()->setWaterColor(color);
        return true;
    }

    try {
        if (name == QLatin1String("HorizontalAngle") || name == QLatin1String("VerticalAngle")) {
            const double angle =
                db ? db->formatter().unformatAngle(value) : OdDbUnitsFormatter::unformatA(value, 0);
            Decomposed parts(fountain->transform());
            double& target = name == QLatin1String("HorizontalAngle") ? parts.angle[2] : parts.angle[1];
            const double wanted = name == QLatin1String("HorizontalAngle") ? angle : angle + kPi / 2.0;
            if (std::fabs(wanted - target) > kTolerance) {
                target = wanted;
                forWrite()->setTransform(parts.compose());
            }
            return true;
        }
        const int axis = name == QLatin1String("PositionX")   ? 0
                         : name == QLatin1String("PositionY") ? 1
                         : name == QLatin1String("PositionZ") ? 2
                                                              : -1;
        if (axis < 0) return false;
        const double coordinate =
            db ? db->formatter().unformatLinear(value) : OdDbUnitsFormatter::unformatL(value, 2);
        const OdGeMatrix3d transform = fountain->transform();
        const double current = transform.getCsOrigin()[axis];
        if (coordinate != current) {
            OdGeVector3d step;
            step[axis] = coordinate - current;
            forWrite()->setTransform(OdGeMatrix3d::translation(step) * transform);
        }
        return true;
    } catch (const OdError&) {
        // Text the unit formatter cannot read changes nothing.
        return false;
    }
}

bool OdDbXmlPropWaterFountain::getPropertyPossibleValues(const OdString&, OdArray<OdString>&,
                                                         OdArray<OdString>&)
{
    return false;
}
