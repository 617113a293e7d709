#pragma once

#include "zalViewerSunSkyModel.h"

struct zalViewerSettings;

// How the picture is exposed, graded and post-processed, read from the post-process volume
// fields, the tone mapper, "setao" and the console variables the host sends. Renderer-
// independent values; the renderer maps them onto its own options.
struct zalViewerLook
{
    float ev100 = 15;         // camera exposure value at ISO 100 (sunny day about 15)
    bool autoExposure = true; // AutoExposureMethod other than AEM_Manual
    float exposureBias = 0;   // stops, positive brightens

    bool bloom = false;
    float bloomStrength = 0.1f; // 0..1
    bool bloomThreshold = true;

    bool ambientOcclusion = true;
    float aoIntensity = 1, aoRadiusMetres = 2, aoPower = 1, aoBiasMetres = 0.0005f;

    bool depthOfField = false;
    float focusDistanceMetres = 10, blurScale = 1;

    bool vignette = false;
    float vignetteAmount = 0; // 0..1

    float whiteTemperature = 0, whiteTint = 0; // -1..1, positive warmer / more magenta
    float contrast = 1, saturation = 1, gamma = 1, gain = 1;

    // The ray-tracing quality preset (0 low .. 3 epic) and what it buys the rasteriser.
    int quality = 1;
    int shadowMapSize = 2048;
    int shadowCascades = 2;
    int aoQuality = 1; // 0 low .. 3 ultra
    bool fxaa = true;
    int msaaSamples = 1;
};

// `sceneIlluminanceLux` is the light falling on the ground (sun and sky); automatic exposure
// follows it a quarter of the way in stops, at most two, so a dusk scene still looks darker
// than noon.
zalViewerLook zalViewerLookFromSettings(const zalViewerSettings& settings, float sceneIlluminanceLux);

// Lux on level ground from the sun and the sky.
float zalViewerGroundIlluminance(const zalViewerSunState& sun);
