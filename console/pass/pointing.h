#pragma once

struct PassPlanRecord;
struct SkyDrawState;
struct StationSettingsRecord;
#include <QString>
#include <QVector>
#include <QtGlobal>

// The feed-arm pointing model: the feed moves in a plane at Focus from the focal
// point, carried by two links of HalfRadius each.

struct FeedPosition
{
    double radius = 0; // mm from the axis
    double angle = 0;  // polar angle, radians
    bool reachable = false;
};

// Feed position of a direction (radians), with the settings Focus, Radius, korr.
FeedPosition feedPosition(const StationSettingsRecord &settings, double azimuth, double elevation);

// Lowest reachable elevation in degrees (korr not included).
float minElevation(const StationSettingsRecord &settings);
// The text of label_3: "mm (min elev.= 70.3)".
QString minElevationText(const StationSettingsRecord &settings);

struct ArmAngles
{
    double u1 = 0; // radians, link 1
    double u2 = 0; // radians, link 2 against link 1
};

// The two arm solutions of one feed position: A = (Fi - c, pi + 2c),
// B = (Fi + c, pi - 2c) with c = acos(R / Radius), u1 brought into range.
ArmAngles armSolutionA(double reach, double radius, double angle);
ArmAngles armSolutionB(double reach, double radius, double angle);
// The solution whose u1 turns least from reference (ties go to B).
ArmAngles chooseArmAngles(double reach, double radius, double angle, double reference);
// u1 and u2 of the first n feed positions, each chosen against the previous u1
// (0 for the first point).
void computeArmAngles(double reach, const QVector<double> &radius, const QVector<double> &angle, int n,
                      QVector<double> &u1, QVector<double> &u2);

// Feed radius of the point k mm across the chord from reachable point a to b, at
// point a. With remember set, that point's angle and radius go to currentDrawPoint.
// Indices outside the reachable points give 0 and remember nothing.
float offsetAcrossTrack(const PassPlanRecord &plan, quint16 a, quint16 b, qint8 k,
                        SkyDrawState *remember = nullptr);
