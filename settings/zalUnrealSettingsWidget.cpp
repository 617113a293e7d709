#include "zalUnrealSettingsWidget.h"
#include "zalStrings.h"

#include "ConfigurablePropBase.h"

#include "platform/host/propeditor/zalKeepAwake.h"

#include "IzalApplication.h"
#include "IzalConsole.h"
#include "IzalUnrealRenderModule.h"

#include "PropServices.h"
#include "RxObjectImpl.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

namespace {

const char* const kEvents = "<event-refresh:view_changed>|<event-refresh:database_changed>";
const char* const kUiModeKey = "RenderSettings/PropertyUiMode";
const char* const kDateTimeKey = "Sun/Environment/SunDateTime";

// Who sees a property: every mode, Advanced and Expert, Expert only, or nobody.
enum Mode
{
    kAll = 0,
    kAdvanced = 1,
    kExpert = 2,
    kNever = 3
};

enum Kind
{
    kDouble,
    kInt,
    kBool,
    kIndexCombo
};

const char* const kUiModes[] = {QT_TRANSLATE_NOOP("zalUnrealSettingsWidget", "Simple"),
                                QT_TRANSLATE_NOOP("zalUnrealSettingsWidget", "Advanced"),
                                QT_TRANSLATE_NOOP("zalUnrealSettingsWidget", "Expert"), nullptr};
const char* const kRtQualities[] = {"Base", "Standard", "High", "Ultra", nullptr};
const char* const kScreenModes[] = {"ScreenSpace", "RayTraced", "Lumen", nullptr};
const char* const kTranslucencyModes[] = {"Raster", "Raytracing", nullptr};
const char* const kGiTypes[] = {"Disabled", "Final Gather", "Brute Force", nullptr};
const char* const kExposureMethods[] = {"Histogram", "Basic", "Manual", nullptr};
const char* const kShadowTypes[] = {"Hard", "Soft", nullptr};
const char* const kBloomMethods[] = {"Gaussian", "Convolution", nullptr};
const char* const kWeathers[] = {"Default", nullptr};

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// A property whose value is one setting. The shown default is base + perQuality × the RT quality
// preset; enabledBy names the bool setting that enables it.
struct PropertyDef
{
    const char* name;
    const char* label;
    Kind kind;
    const char* key;
    double base;
    double minimum;
    double maximum;
    double step;
    int decimals;
    int mode;
    const char* const* choices;
    double perQuality;
    const char* enabledBy;
};

const PropertyDef kPropertyDefs[] = {
    {"FinalGatherQuality", "Final Gather Quality", kDouble, "ToneMapper/FinalGatherQuality", 1.0, 0, 2, 0.1,
     -1, kAdvanced, nullptr, 0, nullptr},
    {"ReflectionsQuality", "Reflections Quality", kDouble, "ToneMapper/ReflectionsQuality", 1.0, 0, 2, 0.1,
     -1, kAdvanced, nullptr, 0, nullptr},
    {"ReflectionsMode", "Reflections Mode", kIndexCombo, "RenderSettings/ReflectionsMode", 2, kNone, kNone,
     kNone, -1, kAdvanced, kScreenModes, 0, nullptr},
    {"GIMode", "Global Illumination", kIndexCombo, "RenderSettings/GIMode", 2, kNone, kNone, kNone, -1,
     kAdvanced, kScreenModes, 0, nullptr},
    {"TranslucencyMode", "Translucency Mode", kIndexCombo, "RenderSettings/TranslucencyMode", 0, kNone, kNone,
     kNone, -1, kExpert, kTranslucencyModes, 0, nullptr},
    {"RaytracingAO", "Raytracing AO", kBool, "RenderSettings/RaytracingAO", 0, kNone, kNone, kNone, -1,
     kAdvanced, nullptr, 0, nullptr},

    {"ProdFrameWidth", "Frame Width", kInt, "ImageProduction/ImageWidth", 1920, kNone, kNone, kNone, -1, kAll,
     nullptr, 0, nullptr},
    {"ProdFrameHeight", "Frame Height", kInt, "ImageProduction/ImageHeight", 1080, kNone, kNone, kNone, -1,
     kAll, nullptr, 0, nullptr},
    {"ProdMaxIter", "Max Iterations", kInt, "ImageProduction/MaxIterations", 500, kNone, kNone, kNone, -1,
     kAll, nullptr, 0, nullptr},

    {"RayTracingReflectionsMaxBounces", "Reflections Max Bounces", kInt,
     "RenderSettings/RayTracingReflectionsMaxBounces", 0, kNone, kNone, kNone, -1, kExpert, nullptr, 1,
     nullptr},
    {"RayTracingGIMaxBounces", "GI Max Bounces", kInt, "RenderSettings/RayTracingGIMaxBounces", 0, kNone,
     kNone, kNone, -1, kExpert, nullptr, 1, nullptr},
    {"RayTracingGISamplesPerPixel", "GI Samples Per Pixel", kInt,
     "RenderSettings/RayTracingGISamplesPerPixel", 0, kNone, kNone, kNone, -1, kAdvanced, nullptr, 8,
     nullptr},
    {"RayTracingAOSamplesPerPixel", "AO Samples Per Pixel", kInt,
     "RenderSettings/RayTracingAOSamplesPerPixel", 0, kNone, kNone, kNone, -1, kAdvanced, nullptr, 4,
     nullptr},
    {"RayTracingTranslucencyRefractionRays", "Translucency Refraction Rays", kInt,
     "RenderSettings/RayTracingTranslucencyRefractionRays", 4, 3, 16384, kNone, -1, kNever, nullptr, 4,
     nullptr},
    {"RayTracingTranslucencySamplesPerPixel", "Translucency Samples Per Pixel", kInt,
     "RenderSettings/RayTracingTranslucencySamplesPerPixel", 0, kNone, kNone, kNone, -1, kExpert, nullptr, 4,
     nullptr},
    {"RayTracingGIType", "RayTracing GI Type", kIndexCombo, "RenderSettings/RayTracingGIType", 0, kNone,
     kNone, kNone, -1, kAdvanced, kGiTypes, 0, nullptr},

    {"EnablePathTracing", "Enable PathTracing", kBool, "RenderSettings/EnablePathTracing", 0, kNone, kNone,
     kNone, -1, kAll, nullptr, 0, nullptr},
    {"PT_MaxBounces", "Max Bounces", kInt, "RenderSettings/PT_MaxBounces", 16, 0, 100, 1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"PT_SamplesPerPixel", "Samples Per Pixel", kInt, "RenderSettings/PT_SamplesPerPixel", 250, 2, 65536, 1,
     -1, kAll, nullptr, 0, nullptr},
    {"PT_AntialiasFilter", "Antialias Filter", kDouble, "RenderSettings/PT_AntialiasFilter", 3.0, 1, 6, 0.1,
     -1, kAdvanced, nullptr, 0, nullptr},
    {"PT_EnableEmissiveMaterials", "Enable Emissive Materials", kBool,
     "RenderSettings/PT_EnableEmissiveMaterials", 1, kNone, kNone, kNone, -1, kAll, nullptr, 0, nullptr},
    {"PT_MaxPathExposure", "Max Path Exposure", kDouble, "RenderSettings/PT_MaxPathExposure", 30, 0, 100, 0.1,
     -1, kAdvanced, nullptr, 0, nullptr},
    {"PT_EnableDenoiser", "Enable Denoiser", kBool, "RenderSettings/PT_EnableDenoiser", 1, kNone, kNone,
     kNone, -1, kAdvanced, nullptr, 0, nullptr},

    {"AutoExpMethod", "Auto Exposure Method", kIndexCombo, "Camera/AutoExposureMethod", 0, kNone, kNone,
     kNone, -1, kAll, kExposureMethods, 0, nullptr},
    {"AutoExpBias", "Auto Exposure Bias", kDouble, "Camera/AutoExposureBias", 1.0, -150, 150, 0.1, -1, kAll,
     nullptr, 0, nullptr},
    {"DofEnabled", "Depth of Field", kBool, "Camera/DepthOfFieldEnaled", 0, kNone, kNone, kNone, -1, kAll,
     nullptr, 0, nullptr},
    {"DofDistance", "DOF Focus Distance", kDouble, "Camera/DepthOfFieldFocalDistance", 0, 0, 10000, 1, -1,
     kAll, nullptr, 0, "Camera/DepthOfFieldEnaled"},
    {"DofAmount", "DOF Blur Amount", kDouble, "Camera/DepthOfFieldDepthBlurAmount", 1.0, 0, 100, 0.1, -1,
     kExpert, nullptr, 0, "Camera/DepthOfFieldEnaled"},
    {"DofRegion", "DOF Focus Region", kDouble, "Camera/DepthOfFieldFocalRegion", 1.0, 0, 100000, 0.1, -1,
     kAll, nullptr, 0, "Camera/DepthOfFieldEnaled"},
    {"MotionBlurEnabled", "Motion Blur", kBool, "Camera/MotionBlurEnabled", 0, kNone, kNone, kNone, -1, kAll,
     nullptr, 0, nullptr},
    {"MotionBlurTFPS", "Motion Blur Target FPS", kInt, "Camera/MotionBlurTargetFPS", 30, 5, 60, 5, -1, kAll,
     nullptr, 0, "Camera/MotionBlurEnabled"},
    {"MotionBlurAmount", "Motion Blur Amount", kDouble, "Camera/MotionBlurAmount", 0.5, 0, 100, 0.1, -1, kAll,
     nullptr, 0, "Camera/MotionBlurEnabled"},
    {"BloomEnabled", "Bloom", kBool, "Camera/BloomEnabled", 0, kNone, kNone, kNone, -1, kAll, nullptr, 0,
     nullptr},
    {"BloomIntensity", "Bloom Intensity", kDouble, "Camera/BloomIntensity", 0.675, 0, 100, 0.1, -1, kAll,
     nullptr, 0, "Camera/BloomEnabled"},
    {"BloomThreshold", "Bloom Threshold", kDouble, "Camera/BloomThreshold", -1, -100, 100, 0.1, -1, kAll,
     nullptr, 0, "Camera/BloomEnabled"},
    {"BloomScale", "Bloom Size Scale", kDouble, "Camera/BloomSizeScale", 4, 0.001, 100, 0.1, -1, kAll,
     nullptr, 0, "Camera/BloomEnabled"},

    {"Longitude", "Longitude", kDouble, "Sun/Environment/SunLongitude", 12.4964, -180, 180, 5, -1, kAll,
     nullptr, 0, nullptr},
    {"Latitude", "Latitude", kDouble, "Sun/Environment/SunLatitude", 41.9028, -90, 90, 5, -1, kAll, nullptr,
     0, nullptr},
    {"North", "North", kDouble, "Sun/Environment/SunNorth", 0, -180, 180, 5, -1, kAll, nullptr, 0, nullptr},
    {"SunIntensity", "Sun Intensity", kDouble, "Sun/Environment/SunIntensity", 1, 0, 100, 0.1, 2, kAll,
     nullptr, 0, nullptr},
    {"SunDiscPower", "Sun Power (Lux)", kInt, "Sun/Environment/SunDiscPower", 75000, 0, 1000000, 100, -1,
     kAll, nullptr, 0, nullptr},
    {"SunLightSourceAngle", "Shadow Softness", kDouble, "Sun/Environment/SunLightSourceAngle", 0.5, 0, 90,
     0.1, 2, kAll, nullptr, 0, nullptr},

    {"Brightness", "Brightness", kDouble, "ToneMapper/Brightness", 1, 0, 20, 0.1, -1, kAll, nullptr, 0,
     nullptr},
    {"Contrast", "Contrast", kDouble, "ToneMapper/Contrast", 1, 0, 20, 0.1, -1, kAll, nullptr, 0, nullptr},
    {"Saturation", "Saturation", kDouble, "ToneMapper/Saturation", 1, 0, 20, 0.1, -1, kAll, nullptr, 0,
     nullptr},
    {"Gamma", "Gamma", kDouble, "ToneMapper/Gamma", 1, 0, 20, 0.1, -1, kAll, nullptr, 0, nullptr},
    {"WhiteTemp", "White Temp", kDouble, "Camera/WhiteTemp", 6500, 1000, 10000, 100, -1, kAll, nullptr, 0,
     nullptr},

    {"ReflShadowType", "Refl. Shadows Type", kIndexCombo, "ToneMapper/ReflShadowType", 0, kNone, kNone, kNone,
     -1, kAdvanced, kShadowTypes, 0, nullptr},
    {"AOIntensity", "Ambient Occlusion Intensity", kDouble, "ToneMapper/AmbientOcclusionIntensity", 1, 0, 100,
     0.05, 5, kAdvanced, nullptr, 0, nullptr},
    {"AORadius", "Ambient Occlusion Radius", kDouble, "ToneMapper/AmbientOcclusionRadius", 20, 0, 100000, 1,
     5, kAdvanced, nullptr, 0, nullptr},
    {"ShadowsBrightness", "Brightness", kDouble, "ToneMapper/ShadowBrightness", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"ShadowsContrast", "Contrast", kDouble, "ToneMapper/ShadowContrast", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"ShadowsSaturation", "Saturation", kDouble, "ToneMapper/ShadowSaturation", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"ShadowsGamma", "Gamma", kDouble, "ToneMapper/ShadowGamma", 1, 0, 20, 0.1, -1, kAdvanced, nullptr, 0,
     nullptr},
    {"ShadowsFadeThreshold", "Fade Threshold", kDouble, "ToneMapper/ShadowsFadeThreshold", 64, 0, 128, 1, -1,
     kAdvanced, nullptr, 0, nullptr},

    {"MidTonesBrightness", "Brightness", kDouble, "ToneMapper/MidBrightness", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"MidTonesContrast", "Contrast", kDouble, "ToneMapper/MidContrast", 1, 0, 20, 0.1, -1, kAdvanced, nullptr,
     0, nullptr},
    {"MidTonesSaturation", "Saturation", kDouble, "ToneMapper/MidSaturation", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"MidTonesGamma", "Gamma", kDouble, "ToneMapper/MidGamma", 1, 0, 20, 0.1, -1, kAdvanced, nullptr, 0,
     nullptr},
    {"HighlightsBrightness", "Brightness", kDouble, "ToneMapper/HghlBrightness", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"HighlightsContrast", "Contrast", kDouble, "ToneMapper/HghlContrast", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"HighlightsSaturation", "Saturation", kDouble, "ToneMapper/HghlSaturation", 1, 0, 20, 0.1, -1, kAdvanced,
     nullptr, 0, nullptr},
    {"HighlightsGamma", "Gamma", kDouble, "ToneMapper/HghlGamma", 1, 0, 20, 0.1, -1, kAdvanced, nullptr, 0,
     nullptr},

    {"AmbientOcclusionPower", "AO Power", kDouble, "ToneMapper/AmbientOcclusionPower", 2.0, 0, 100, 0.05, 5,
     kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionQuality", "AO Quality", kDouble, "ToneMapper/AmbientOcclusionQuality", 50, 0, 100, 0.05,
     5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionBias", "AO Bias", kDouble, "ToneMapper/AmbientOcclusionBias", 3.0, 0, 100, 0.05, 5,
     kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionFadeDistance", "AO Fade Distance", kDouble, "ToneMapper/AmbientOcclusionFadeDistance",
     8000, 0, 1000000, 1, 5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionFadeRadius", "AO Fade Radius", kDouble, "ToneMapper/AmbientOcclusionFadeRadius", 5000,
     0, 1000000, 1, 5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionMipBlend", "AO Mip Blend", kDouble, "ToneMapper/AmbientOcclusionMipBlend", 0.6, 0, 100,
     0.05, 5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionMipScale", "AO Mip Scale", kDouble, "ToneMapper/AmbientOcclusionMipScale", 1.7, 0, 100,
     0.05, 5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionMipThreshold", "AO Mip Threshold", kDouble, "ToneMapper/AmbientOcclusionMipThreshold",
     0.01, 0, 100, 0.05, 5, kAdvanced, nullptr, 0, nullptr},
    {"AmbientOcclusionStaticFraction", "AO Static Fraction", kDouble,
     "ToneMapper/AmbientOcclusionStaticFraction", 1.0, 0, 100, 0.05, 5, kAdvanced, nullptr, 0, nullptr},
};

const PropertyDef* findPropertyDef(const QString& name)
{
    for (const PropertyDef& def : kPropertyDefs)
        if (name == QLatin1String(def.name)) return &def;
    return nullptr;
}

QString tr(const char* text)
{
    return zalUnrealSettingsWidget::tr(text);
}

QStringList choicesOf(const char* const* words)
{
    QStringList shown;
    for (; words && *words; ++words)
        shown << tr(*words);
    return shown;
}

// Index of text among the shown choices; a text that matches none of the earlier ones is the last.
int choiceIndex(const char* const* words, const QString& text)
{
    QStringList shown = choicesOf(words);
    for (int i = 0; i + 1 < shown.size(); ++i)
        if (text == shown[i]) return i;
    return shown.size() - 1;
}

// Strings convert to numbers as the drawing layer does: the longest leading number, else 0.
double toDouble(const QString& text)
{
    std::wstring wide = text.toStdWString();
    return std::wcstod(wide.c_str(), nullptr);
}

int toInt(const QString& text)
{
    return text.trimmed().toInt(nullptr, 10);
}

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

// The render module's service; the panel is only made through it.
IzalUnrealRenderModule* module()
{
    return zalService<IzalUnrealRenderModule>(IzalUnrealRenderModule_id);
}

QVariant setting(const QString& key, const QVariant& defaultValue)
{
    IzalUnrealRenderModule* m = module();
    return m ? m->getSceneSettings(key, defaultValue) : defaultValue;
}

void store(const QString& key, const QVariant& value, bool apply = true, bool save = true)
{
    if (IzalUnrealRenderModule* m = module()) m->setSceneSettings(key, value, apply, save);
}

int uiMode()
{
    return qBound(0, setting(kUiModeKey, 0).toInt(), 2);
}

int rtQuality()
{
    return setting("RenderSettings/RTQuality", 1).toInt();
}

QDateTime sunDateTime()
{
    QDateTime value = setting(kDateTimeKey, QDateTime::currentDateTime()).toDateTime();
    return value.isValid() ? value : QDateTime::currentDateTime();
}

// Writes one property of the table with the value the store holds (or its shown default).
OdPropContext::Element addPropertyDef(OdPropContext::Element parent, const PropertyDef& def, int mode)
{
    const double shownDefault = def.base + def.perQuality * rtQuality();
    QString value;
    const char* type = "double";
    switch (def.kind) {
    case kDouble:
        value = number(setting(def.key, shownDefault).toDouble());
        break;
    case kInt:
        type = "int";
        value = QString::number(setting(def.key, int(shownDefault)).toInt());
        break;
    case kBool:
        type = "bool";
        value = setting(def.key, shownDefault != 0).toBool() ? "true" : "false";
        break;
    case kIndexCombo: {
        type = "combo";
        QStringList shown = choicesOf(def.choices);
        int index = qBound(0, setting(def.key, int(shownDefault)).toInt(), int(shown.size()) - 1);
        value = shown.value(index);
        break;
    }
    }
    OdPropContext::Element element =
        parent.addProperty(OdString(def.name), zalStrings::toOdString(value), OdString(type));
    element.setAttribute(L"VisibleName", zalStrings::toOdString(tr(def.label)));
    element.setAttribute(L"Hidden", mode < def.mode);
    if (!std::isnan(def.minimum)) element.setAttribute(L"Min", def.minimum);
    if (!std::isnan(def.maximum)) element.setAttribute(L"Max", def.maximum);
    if (!std::isnan(def.step)) element.setAttribute(L"step", def.step);
    if (def.decimals >= 0) element.setAttribute(L"decimals", def.decimals);
    if (def.enabledBy) element.setAttribute(L"Enabled", setting(def.enabledBy, false).toBool());
    return element;
}

OdPropContext::Element addPropertyDef(OdPropContext::Element parent, const char* name, int mode)
{
    const PropertyDef* def = findPropertyDef(name);
    Q_ASSERT(def);
    return def ? addPropertyDef(parent, *def, mode) : OdPropContext::Element();
}

OdPropContext::Element addCategory(OdPropContext::Element parent, const char* name, const char* label,
                                   bool hidden)
{
    OdPropContext::Element category = parent.addCategory(OdString(name));
    if (label) category.setAttribute(L"VisibleName", zalStrings::toOdString(tr(label)));
    if (hidden) category.setAttribute(L"Hidden", true);
    return category;
}

// A row of small fields side by side.
OdPropContext::Element addRow(OdPropContext::Element parent, const char* name)
{
    OdPropContext::Element row = parent.addCategory(OdString(name));
    row.setAttribute(L"layout", "horizontal").setAttribute(L"expandable", true);
    return row;
}

OdPropContext::Element addLabel(OdPropContext::Element parent, const char* name, const QString& text,
                                const char* type = "label")
{
    return parent.addProperty(OdString(name), zalStrings::toOdString(text), OdString(type));
}

OdPropContext::Element addInt(OdPropContext::Element parent, const char* name, const QString& label,
                              int value, int minimum, int maximum)
{
    OdPropContext::Element element =
        parent.addProperty(OdString(name), zalStrings::toOdString(QString::number(value)), L"int");
    element.setAttribute(L"VisibleName", zalStrings::toOdString(label))
        .setAttribute(L"Min", minimum)
        .setAttribute(L"Max", maximum);
    element.setAttribute(L"step", 1.0);
    return element;
}

} // namespace

const QStringList& zalUnrealSettingsWidget::frameSizeList()
{
    static const QStringList sizes = {"720x480 NTSC DV",       "720x486 NTSC",          "720x576 PAL",
                                      "1280x720 HD 720P",      "1280x1080 HD 1280P",    "1920x1080 HD",
                                      "3840x2160 4K Ultra HD", "7680x4320 8K Ultra HD", "Custom Size"};
    return sizes;
}

int zalUnrealSettingsWidget::frameSizeIndex(int width, int height)
{
    const QStringList& sizes = frameSizeList();
    const QString prefix = QString("%1x%2").arg(width).arg(height);
    for (int i = 0; i + 1 < sizes.size(); ++i)
        if (sizes[i].startsWith(prefix)) return i;
    return sizes.size() - 1;
}

QSize zalUnrealSettingsWidget::frameSize(int index)
{
    const QStringList& sizes = frameSizeList();
    if (index < 0 || index + 1 >= sizes.size()) return QSize();
    QString dimensions = sizes[index].section(' ', 0, 0);
    return QSize(dimensions.section('x', 0, 0).toInt(), dimensions.section('x', 1, 1).toInt());
}

namespace {

// The page's own setting: which properties show.
void addUiMode(OdPropContext::Element root, int mode)
{
    OdPropContext::Element uiModeProperty =
        root.addProperty(L"UE_UiMode", zalStrings::toOdString(choicesOf(kUiModes).value(mode)), L"combo");
    uiModeProperty.setAttribute(L"VisibleName", zalStrings::toOdString(tr("UI Mode")))
        .setAttribute(L"Hidden", false);
}

// Image size, custom size, path-traced production and the export button.
void addProduction(OdPropContext::Element production, int mode)
{
    const int width = setting("ImageProduction/ImageWidth", 1920).toInt();
    const int height = setting("ImageProduction/ImageHeight", 1080).toInt();
    const int sizeIndex = zalUnrealSettingsWidget::frameSizeIndex(width, height);
    const bool custom = sizeIndex == zalUnrealSettingsWidget::frameSizeList().size() - 1;
    production
        .addProperty(L"ProdFrameSize",
                     zalStrings::toOdString(
                         tr(zalUnrealSettingsWidget::frameSizeList()[sizeIndex].toUtf8().constData())),
                     L"combo")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Image Size")));

    OdPropContext::Element customSize = addRow(production, "ProdCustomSize");
    addPropertyDef(customSize, "ProdFrameWidth", mode).setAttribute(L"Enabled", custom);
    addLabel(customSize, "ProdFrameX", tr("x"))
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("x")))
        .setAttribute(L"Enabled", custom);
    addPropertyDef(customSize, "ProdFrameHeight", mode).setAttribute(L"Enabled", custom);
    addLabel(customSize, "FakeLabel", QString()).setAttribute(L"add_spacer", true);

    OdPropContext::Element pathTrace = addRow(production, "ProdPathTrace");
    const bool tracing = setting("ImageProduction/EnablePathTracing",
                                 setting("RenderSettings/EnablePathTracing", 0).toInt() > 0)
                             .toBool();
    pathTrace.addProperty(L"ProdPathTracing", tracing ? L"true" : L"false", L"bool")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Path Tracing Production")));
    addPropertyDef(pathTrace, "ProdMaxIter", mode).setAttribute(L"Enabled", tracing);
    addLabel(pathTrace, "FakeLabel", QString()).setAttribute(L"add_spacer", true);

    production.addProperty(L"ProdExportImage", OdString(), L"button")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Export Image")));
}

// The preset that sets every ray-tracing row whose default follows the quality.
void addRtQualityPreset(OdPropContext::Element rayTracing, int)
{
    const int quality = qBound(0, rtQuality(), 3);
    rayTracing
        .addProperty(L"RTQuality", zalStrings::toOdString(choicesOf(kRtQualities).value(quality)), L"combo")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Ray Tracing Quality Preset")))
        .setAttribute(L"Hidden", false);
}

// Stored as the viewer's method name, shown by its label.
void addBloomMethod(OdPropContext::Element camera, int)
{
    const bool bloomMethodIsFft = setting("Camera/BloomMethod", "BM_SOG").toString() == "BM_FFT";
    camera
        .addProperty(L"BloomMethod",
                     zalStrings::toOdString(tr(bloomMethodIsFft ? "Convolution" : "Gaussian")), L"combo")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Bloom Method")))
        .setAttribute(L"Enabled", setting("Camera/BloomEnabled", false).toBool());
}

// The sun's date and time, split into fields.
void addSunDateAndTime(OdPropContext::Element sky, int)
{
    const QDateTime when = sunDateTime();
    const QDate date = when.date();
    const QTime time = when.time();

    OdPropContext::Element dateRow = addRow(sky, "DateToolbar");
    addLabel(dateRow, "DateTitle", tr("Date YMD"), "htmllabel").setAttribute(L"minwidth", 150);
    addLabel(dateRow, "DateSpacer", QString());
    addInt(dateRow, "DateYear", QString(), date.year(), -10000, 10000)
        .setAttribute(L"minwidth", 60)
        .setAttribute(L"maxwidth", 60);
    addInt(dateRow, "DateMonth", QString(), date.month(), 1, 12);
    addInt(dateRow, "DateDay", QString(), date.day(), 1, date.daysInMonth());

    OdPropContext::Element timeRow = addRow(sky, "TimeToolbar");
    addLabel(timeRow, "TimeTitle", tr("Time of the Day"), "htmllabel").setAttribute(L"minwidth", 150);
    addInt(timeRow, "DateHour", tr(" H:"), time.hour(), 0, 23)
        .setAttribute(L"minwidth", 40)
        .setAttribute(L"maxwidth", 40);
    addInt(timeRow, "DateMinute", tr(" M:"), time.minute(), 0, 59)
        .setAttribute(L"minwidth", 40)
        .setAttribute(L"maxwidth", 40);
}

// One choice for now.
void addWeather(OdPropContext::Element sky, int)
{
    sky.addProperty(L"Weather", zalStrings::toOdString(tr("Default")), L"combo")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Weather")));
}

// A colour reference, not a number row.
void addAoColour(OdPropContext::Element shadows, int mode)
{
    const bool advanced = mode >= kAdvanced;
    shadows
        .addProperty(L"AOColor",
                     zalStrings::toOdString(QString::number(
                         qint64(setting("ToneMapper/AmbientOcclusionColor", 8421504).toDouble()))),
                     L"colorref")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Ambient Occlusion Color")))
        .setAttribute(L"Hidden", !advanced);
}

// A line sent to the viewer as it is.
void addConsoleCommand(OdPropContext::Element misc, int mode)
{
    const bool advanced = mode >= kAdvanced;
    misc.addProperty(L"ConsoleCommand", OdString(), L"string")
        .setAttribute(L"VisibleName", zalStrings::toOdString(tr("Execute Command")))
        .setAttribute(L"notifymode", 0)
        .setAttribute(L"Hidden", !advanced);
}

// Elements of the page that are not one table row each.
using Special = void (*)(OdPropContext::Element parent, int mode);

// Placed before the row named (at the section's end when null).
struct SpecialAt
{
    const char* before;
    Special add;
};

// The page's sections in order. Each shows the table's rows from first to last (the table keeps a
// section's rows together; none for a section of specials only) and its specials. A null id is the
// page's top level; hiddenBelowAdvanced sections show from the Advanced mode on.
struct Section
{
    const char* id;
    const char* label;
    bool hiddenBelowAdvanced;
    const char* first;
    const char* last;
    std::vector<SpecialAt> specials;
};

const std::vector<Section>& sections()
{
    static const std::vector<Section> list = {
        {nullptr, nullptr, false, "FinalGatherQuality", "RaytracingAO", {{"FinalGatherQuality", addUiMode}}},
        {"ImageProduction", "Image Production", false, nullptr, nullptr, {{nullptr, addProduction}}},
        {"CatRayTracing",
         "Ray Tracing Settings",
         false,
         "RayTracingReflectionsMaxBounces",
         "RayTracingGIType",
         {{"RayTracingReflectionsMaxBounces", addRtQualityPreset}}},
        {"PathTracing", "Path Tracing", false, "EnablePathTracing", "PT_EnableDenoiser", {}},
        {"Camera",
         "Camera Settings",
         false,
         "AutoExpMethod",
         "BloomScale",
         {{"BloomIntensity", addBloomMethod}}},
        {"Sky",
         "Sky Properties",
         false,
         "Longitude",
         "SunLightSourceAngle",
         {{"Longitude", addSunDateAndTime}, {"SunIntensity", addWeather}}},
        {"ToneMapper", "Tone Mapper", false, "Brightness", "WhiteTemp", {}},
        {"Shadows",
         "Shadows",
         true,
         "ReflShadowType",
         "ShadowsFadeThreshold",
         {{"ShadowsBrightness", addAoColour}}},
        {"MidTones", "Mid Tones", true, "MidTonesBrightness", "MidTonesGamma", {}},
        {"Highlights", "Highlights", true, "HighlightsBrightness", "HighlightsGamma", {}},
        {"AmbientOcclusion",
         "Ambient Occlusion",
         true,
         "AmbientOcclusionPower",
         "AmbientOcclusionStaticFraction",
         {}},
        {"Misc", "Misc", true, nullptr, nullptr, {{nullptr, addConsoleCommand}}},
    };
    return list;
}

void addSpecials(const Section& section, OdPropContext::Element parent, const char* before, int mode)
{
    for (const SpecialAt& special : section.specials) {
        const bool here =
            before ? special.before && std::strcmp(special.before, before) == 0 : !special.before;
        if (here) special.add(parent, mode);
    }
}

} // namespace

zalUnrealSettingsWidget::zalUnrealSettingsWidget(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setMargin(0);
    layout->setContentsMargins(0, 0, 0, 0);

    OdPropServicesPtr services = odrxPropServices();
    if (!services.isNull()) m_pageId = zalStrings::toQString(services->createPropView(layout));

    m_settingsPropertySource = OdRxObjectImpl<ConfigurablePropBase>::createObject(
        [this](OdPropContext& context) { return getPropertyValues(context); },
        [this](const OdString& path, const OdString& value, OdPropSource::Action_t& action) {
            int code = 0;
            bool handled = setPropertyValue(path, value, code);
            action = OdPropSource::Action_t(code);
            return handled;
        },
        [this](const OdString& path, OdArray<OdString>& values, OdArray<OdString>&) {
            return getPossibleValues(path, values);
        });

    if (!services.isNull() && !m_pageId.isEmpty())
        services->attachPropSource(zalStrings::toOdString(m_pageId),
                                   static_cast<ConfigurablePropBase*>(m_settingsPropertySource.get()),
                                   zalStrings::toOdString(tr("Properties")), OdString(),
                                   OdString(L"scrollable=true"));
    if (IzalApplication* app = zalApp()) app->subscribeEvents(kEvents, this);
}

zalUnrealSettingsWidget::~zalUnrealSettingsWidget()
{
    OdPropServicesPtr services = odrxPropServices();
    if (!services.isNull() && !m_pageId.isEmpty()) services->detachPage(zalStrings::toOdString(m_pageId));
    if (IzalApplication* app = zalApp()) app->unsubscribeEvents(kEvents, this);
    m_settingsPropertySource.release();
}

void zalUnrealSettingsWidget::refresh(const QString&, const QString&)
{
    OdPropServicesPtr services = odrxPropServices();
    if (services.isNull() || m_pageId.isEmpty() || m_settingsPropertySource.isNull()) return;
    // Only while the current drawing shows in a render view.
    IzalUnrealRenderModule* m = module();
    IzalConsole* console = zalService<IzalConsole>(IzalConsole_id);
    if (!m || !console || !m->isActive()) return;
    auto* source = static_cast<ConfigurablePropBase*>(m_settingsPropertySource.get());
    OdRxObject* database = console->currentDatabase();
    if (services->pageDatabase(zalStrings::toOdString(m_pageId)) != database)
        services->attachPropSource(zalStrings::toOdString(m_pageId), source,
                                   zalStrings::toOdString(tr("Properties")), OdString(),
                                   OdString(L"scrollable=true"), database);
    services->refreshPage(zalStrings::toOdString(m_pageId), source, true);
}

bool zalUnrealSettingsWidget::getPropertyValues(OdPropContext& context)
{
    const int mode = uiMode();
    OdPropContext::Element root = context.root();
    for (const Section& section : sections()) {
        OdPropContext::Element parent = section.id
                                            ? addCategory(root, section.id, section.label,
                                                          section.hiddenBelowAdvanced && mode < kAdvanced)
                                            : root;
        bool inside = false;
        for (const PropertyDef& def : kPropertyDefs) {
            if (!section.first) break;
            if (!inside && std::strcmp(def.name, section.first) != 0) continue;
            inside = true;
            addSpecials(section, parent, def.name, mode);
            addPropertyDef(parent, def, mode);
            if (std::strcmp(def.name, section.last) == 0) break;
        }
        addSpecials(section, parent, nullptr, mode);
    }
    return true;
}

bool zalUnrealSettingsWidget::getPossibleValues(const OdString& odPath, OdArray<OdString>& values)
{
    const QString path = zalStrings::toQString(odPath);
    const bool expert = uiMode() == kExpert;
    QStringList list;
    // Screen-space reflections, raster translucency and no GI cost quality: experts only.
    auto withoutFirst = [expert](QStringList all) {
        if (!expert && !all.isEmpty()) all.removeFirst();
        return all;
    };
    if (path.endsWith("/Weather"))
        list = choicesOf(kWeathers);
    else if (path.endsWith("UE_UiMode"))
        list = choicesOf(kUiModes);
    else if (path.endsWith("/ProdFrameSize"))
        for (const QString& label : frameSizeList())
            list << tr(label.toUtf8().constData());
    else if (path.endsWith("/AutoExpMethod"))
        list = choicesOf(kExposureMethods);
    else if (path.endsWith("RTQuality"))
        list = choicesOf(kRtQualities);
    else if (path.endsWith("ReflectionsMode"))
        list = withoutFirst(choicesOf(kScreenModes));
    else if (path.endsWith("GIMode"))
        list = choicesOf(kScreenModes);
    else if (path.endsWith("TranslucencyMode"))
        list = withoutFirst(choicesOf(kTranslucencyModes));
    else if (path.endsWith("RayTracingGIType"))
        list = withoutFirst(choicesOf(kGiTypes));
    else if (path.endsWith("/ReflShadowType"))
        list = choicesOf(kShadowTypes);
    else if (path.endsWith("/BloomMethod"))
        list = choicesOf(kBloomMethods);
    else
        return false;
    for (const QString& entry : list)
        values.push_back(zalStrings::toOdString(entry));
    return true;
}

bool zalUnrealSettingsWidget::setPropertyValue(const OdString& odPath, const OdString& odValue, int& action)
{
    action = OdPropSource::kNoAction;
    const QString path = zalStrings::toQString(odPath);
    const QString text = zalStrings::toQString(odValue);
    const QString name = path.section('/', -1);

    if (name == "UE_UiMode") {
        store(kUiModeKey, choiceIndex(kUiModes, text), false, true);
        action = OdPropSource::kReloadPage;
        return true;
    }
    if (name == "RTQuality") {
        action = OdPropSource::kReloadPage;
        const int q = choiceIndex(kRtQualities, text);
        // The preset is the table's: every row whose default follows the quality.
        std::vector<std::pair<const char*, int>> preset = {{"RenderSettings/RTQuality", q}};
        for (const PropertyDef& def : kPropertyDefs)
            if (def.perQuality != 0) preset.emplace_back(def.key, int(def.base + def.perQuality * q));
        // The last key that really changes applies and saves, so the viewer gets the whole preset
        // at once; an unchanged value stores nothing, so a preset whose last key already held its
        // value would otherwise be neither applied nor saved.
        int last = -1;
        for (int i = 0; i < int(preset.size()); ++i)
            if (setting(preset[i].first, QVariant()) != QVariant(preset[i].second)) last = i;
        for (int i = 0; i <= last; ++i)
            store(preset[i].first, preset[i].second, i == last, i == last);
        return true;
    }
    if (name == "ProdFrameSize") {
        int index = -1;
        for (int i = 0; i < frameSizeList().size() && index < 0; ++i)
            if (text == tr(frameSizeList()[i].toUtf8().constData())) index = i;
        if (index < 0) return false;
        const QSize size = frameSize(index);
        store("ImageProduction/ImageWidth", size.isValid() ? size.width() : 0);
        store("ImageProduction/ImageHeight", size.isValid() ? size.height() : 0);
        action = OdPropSource::kReloadPage;
        return true;
    }
    if (name == "ProdPathTracing") {
        // As 0 or 1: production reads it as an integer, and a boolean comes back from the scene
        // file as the text "true", whose integer value is 0.
        store("ImageProduction/EnablePathTracing", text == "true" ? 1 : 0);
        action = OdPropSource::kReloadPage;
        return true;
    }
    if (name == "DateYear" || name == "DateMonth" || name == "DateDay" || name == "DateHour" ||
        name == "DateMinute") {
        action = OdPropSource::kReloadPage;
        const QDateTime now = sunDateTime();
        int year = now.date().year(), month = now.date().month(), day = now.date().day();
        int hour = now.time().hour(), minute = now.time().minute();
        const int part = toInt(text);
        if (name == "DateYear") year = part;
        if (name == "DateMonth") month = part;
        if (name == "DateDay") day = part;
        if (name == "DateHour") hour = part;
        if (name == "DateMinute") minute = part;
        const QDate date(year, month, day);
        const QTime time(hour, minute, now.time().second());
        // An impossible date (31 April) is dropped.
        if (date.isValid() && time.isValid()) store(kDateTimeKey, QDateTime(date, time));
        return true;
    }
    if (name == "DateTime") {
        action = OdPropSource::kReloadPage;
        const QDateTime when = QDateTime::fromString(text, Qt::TextDate);
        if (when.isValid()) store(kDateTimeKey, when);
        return true;
    }
    if (name == "AOColor") {
        store("ToneMapper/AmbientOcclusionColor", toDouble(text));
        return true;
    }
    if (name == "BloomMethod") {
        store("Camera/BloomMethod", choiceIndex(kBloomMethods, text) == 0 ? "BM_SOG" : "BM_FFT");
        return true;
    }
    if (name == "ConsoleCommand") {
        action = OdPropSource::kReloadPage;
        if (IzalUnrealRenderModule* m = module()) m->sendViewerConsoleCommand(text);
        return true;
    }
    if (name == "Weather") return true;
    if (name == "ProdExportImage") {
        exportImage();
        return true;
    }

    const PropertyDef* def = findPropertyDef(name);
    if (!def) return false;
    const QString key = def->key;
    switch (def->kind) {
    case kDouble:
        store(key, toDouble(text));
        break;
    case kInt:
        if (name == "PT_MaxBounces")
            store(key, toDouble(text));
        else if (name == "PT_SamplesPerPixel")
            store(key, int(toDouble(text)));
        else
            store(key, toInt(text));
        break;
    case kBool: {
        const bool on = text == "true";
        if (key.startsWith("RenderSettings/"))
            store(key, on ? 1 : 0);
        else
            store(key, on);
        break;
    }
    case kIndexCombo:
        store(key, choiceIndex(def->choices, text));
        break;
    }
    return true;
}

void zalUnrealSettingsWidget::exportImage()
{
    IzalApplication* app = zalApp();
    IzalUnrealRenderModule* m = module();
    if (!app || !m) return;
    const QString chosen =
        app->saveFileName("Png Image *.png|Jpeg Image *.jpg", "renderImage.png", "*.png", tr("Export Image"));
    if (chosen.isEmpty()) return;

    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS | ZAL_ES_SYSTEM_REQUIRED | ZAL_ES_AWAYMODE_REQUIRED);

    const bool pathTracingOn = setting("RenderSettings/EnablePathTracing", 0).toInt() > 0;
    const int width = setting("ImageProduction/ImageWidth", 1920).toInt();
    const int height = setting("ImageProduction/ImageHeight", 1080).toInt();
    const bool pathTracing = setting("ImageProduction/EnablePathTracing", pathTracingOn).toBool();

    bool animation = false, preview = false, pathTracer = false;
    const bool producing = m->isProducing(animation, preview, pathTracer);
    m->setProductionMode(true, false, false, pathTracing);
    m->applyCurrentSceneSettings();

    // The viewer writes PNG only; another format is converted afterwards.
    const QFileInfo chosenInfo(chosen);
    const QString target = QDir(chosenInfo.absolutePath()).filePath(chosenInfo.completeBaseName() + ".png");
    if (QFileInfo::exists(target)) QFile::remove(target);

    if (m->exportImage(target, QSize(width, height), 100) && app->waitForFile(target, 60000) &&
        chosenInfo.fileName().compare(QFileInfo(target).fileName(), Qt::CaseInsensitive) != 0) {
        const QString destination = chosenInfo.absoluteFilePath();
        // Later, so the viewer has finished writing the file it just created.
        QTimer::singleShot(500, QCoreApplication::instance(), [target, destination] {
            QImage image(target);
            const QByteArray format = QFileInfo(destination).suffix().toLower().toLatin1();
            if (!image.isNull() && image.save(destination, format.constData())) QFile::remove(target);
        });
    }

    m->setProductionMode(producing, animation, preview, pathTracer);
    zalSetThreadExecutionState(ZAL_ES_CONTINUOUS);
}
