#pragma once

#include <QVector3D>

struct zalViewerSettings;

// The sun and the sky the viewer draws, as plain math shared by every renderer of the viewer.
//
// Scene frame: the drawing's own frame as the viewer draws it (the host's X mirror undone),
// centimetres, Z up, +Y north when the north offset is the host's default (90). Directions are
// unit vectors in that frame.
//
// Units: illuminance in lux (lm/m^2) on a surface facing the sun; sky radiance as linear RGB
// luminance in cd/m^2 (nits) per channel, so that a white patch of sky of 1 cd/m^2 is (1, 1, 1).
struct zalViewerSunState
{
    QVector3D toSun{0, 0, 1};      // unit, from the scene towards the sun
    float elevationDeg = 90;       // above the horizon, negative below
    float azimuthDeg = 0;          // clockwise from north, seen from above
    float illuminanceLux = 0;      // 0 at night; the intensity multiplier is applied
    QVector3D colour{1, 1, 1};     // linear RGB, largest channel 1
    float angularRadiusDeg = 0.25; // half the source angle
    bool aboveHorizon = true;
    float skyScale = 1; // the intensity multiplier and disc power relative to their defaults
};

// Places the sun from the settings: by date, local solar time (to the minute), latitude and north
// offset after "Set zalSunSky_C ..." or setSunByTime, by azimuth and elevation after setSunByPos; the
// actor's SunIntensity (zenith illuminance, default 75000 lux), IntensityMultiplier and
// SunSourceAngle (full angle in degrees) scale and size it.
zalViewerSunState zalViewerSunFromSettings(const zalViewerSettings& settings);

// The sun's direction for a date and local solar time (hours) at a latitude (degrees), as
// compass azimuth and elevation in degrees.
void zalViewerSolarPosition(int year, int month, int day, double solarHours, double latitudeDeg,
                            double& azimuthDeg, double& elevationDeg);

// The unit direction towards a compass azimuth and elevation with the given north offset.
QVector3D zalViewerDirection(double azimuthDeg, double elevationDeg, double northOffsetDeg);

// Linear RGB sky radiance (cd/m^2) seen along `dir` (unit, scene frame): blue overhead by day,
// paler at the horizon, warm around a low sun, a dark night sky once the sun is well below the
// horizon. Below the horizon it gives the horizon's colour dimmed, as a distant ground.
QVector3D zalViewerSkyRadiance(const zalViewerSunState& sun, const QVector3D& dir);
