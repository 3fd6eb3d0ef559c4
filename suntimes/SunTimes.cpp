// The arithmetic below is a classic low-precision sunrise/sunset program and
// is kept exactly as it is: the same constants, truncation toward zero, the
// same order of summation, and the same working quantities with their short
// names (several of them are reused for a second meaning), so that results
// agree with it to the minute. The quantities live in one scan's object, so
// any number of days and places can be computed side by side.

#include "suntimes/SunTimes.h"

#include "platform/DateTime.h"

#include <cmath>
#include <cstdint>

namespace vantrel {

std::uint32_t gSunriseTime = 0;
std::uint32_t gSunsetTime = 0;

namespace {

// INT(): conversion by truncation toward zero.
double INT(double x)
{
    return std::trunc(x);
}

double SGN(double x)
{
    if (x < 0)
        return -1.0;
    if (x == 0)
        return 0.0;
    return 1.0;
}

struct Scan
{
    double Y, M, D1, H, Z0, B5, L5, P1, P2, DR, K1, G, F, J, J3, S, T, TT, T0, L, V, U, W, A5, D5,
        Z1, C, Z, C0, P, A0, D0, A2, D2, DA, DD, L0, L2, H0, H1, H2, V0, V1, V2, A, B, D, E, T3, H3,
        M3, M8, W8;
    SunTimes result;

    void s910()
    {
        L = 0.779072 + 0.00273790931 * T;
        G = 0.993126 + 0.0027377785 * T;
        L = L - INT(L);
        G = G - INT(G);
        L = L * P2;
        G = G * P2;
        V = 0.39785 * std::sin(L) - 0.01 * std::sin(L - G) + 0.00333 * std::sin(L + G) -
            0.00021 * TT * std::sin(L);
        U = 1 - 0.03349 * std::cos(G) - 0.00014 * std::cos(2 * L) + 0.00008 * std::cos(L);
        W = -0.0001 - 0.04129 * std::sin(2 * L) + 0.03211 * std::sin(G) +
            0.00104 * std::sin(2 * L - G) - 0.00035 * std::sin(2 * L + G) -
            0.00008 * TT * std::sin(G);
        S = W / std::sqrt(U - V * V);
        A5 = L + std::atan(S / std::sqrt(1 - S * S));
        S = V / std::sqrt(U);
        D5 = std::atan(S / std::sqrt(1 - S * S));
    }

    // Steps 7 to 11 of s490: the parabola through V0, V1 and V2, and the
    // crossing it gives, stored as a rising or a setting.
    void s490Crossing()
    {
        A = 2 * V2 - 4 * V1 + 2 * V0;
        B = 4 * V1 - 3 * V0 - V2;
        D = B * B - 4 * A * V0;
        if (D < 0)
            return;
        D = std::sqrt(D);

        // The crossing is decided before a flag is set: an hour that yields none
        // must leave the day's results as they are, not publish a time that was
        // never stored (the previous call's, or 00:00).
        if (A == 0) {
            // A degenerate parabola is the line through V0 and V2 (B is then
            // V2 - V0, not 0, since their signs differ): its own root.
            E = -V0 / B;
        } else {
            E = (-B + D) / (2 * A);
            if (E > 1 || E < 0)
                E = (-B - D) / (2 * A);
        }
        // A nearly flat fit can still put the root far outside the hour, or at
        // no number at all; converting that to an hour would be undefined. (A
        // real crossing lies within the hour, so the bound only catches that.)
        if (!(std::fabs(E) <= 24))
            return;

        std::uint32_t* destination = &result.sunrise;
        if (V0 < 0 && V2 > 0)
            M8 = 1;
        if (V0 > 0 && V2 < 0) {
            W8 = 1;
            destination = &result.sunset;
        }

        T3 = C0 + E;
        H3 = INT(T3);
        M3 = INT((T3 - H3) * 60);

        DateTimeRec crossing;
        crossing.year = 0;
        crossing.month = 0;
        crossing.day = 0;
        crossing.hour = static_cast<std::int16_t>(H3);
        crossing.minute = static_cast<std::int16_t>(M3);
        crossing.second = 0;
        DateToSeconds(&crossing, destination);
    }

    void s490()
    {
        L0 = T0 + C0 * K1;
        L2 = L0 + K1;
        H0 = L0 - A0;
        H2 = L2 - A2;
        H1 = (H0 + H2) * 0.5;
        D1 = (D2 + D0) * 0.5;
        if (C0 == 0)
            V0 = S * std::sin(D0) + C * std::cos(D0) * std::cos(H0) - Z;
        V2 = S * std::sin(D2) + C * std::cos(D2) * std::cos(H2) - Z;
        if (SGN(V0) == SGN(V2))
            return;
        V1 = S * std::sin(D1) + C * std::cos(D1) * std::cos(H1) - Z;
        s490Crossing();
    }

    // Every result is a time of day, or NoSunTime for both when the Sun does
    // not both rise and set.
    void run(int year, int month, int dayOfMonth, const MachineLocation& location)
    {
        Y = year;
        M = month;
        const double day = dayOfMonth;

        const double latitude = static_cast<double>(FracMul(location.latitude, 90));
        const double longitude = static_cast<double>(FracMul(location.longitude, 90));

        // Low 24 bits of the GMT word, sign-extended: seconds east of Greenwich.
        std::int32_t g = location.gmtDelta & 0x00FFFFFF;
        if (g & 0x00800000)
            g |= static_cast<std::int32_t>(0xFF000000u);
        H = static_cast<double>(-g / 3600);

        P1 = 3.14159265;
        P2 = 6.2831853;
        DR = P1 / 180;
        K1 = 15 * DR * 1.0027379;
        Z0 = H / 24;
        B5 = latitude;
        L5 = longitude / 360;

        G = Y >= 1583 ? 1 : 0;
        D1 = INT(day);
        F = day - D1 - 0.5;
        J = -INT((INT((M + 9) / 12) + Y) * 7 * 0.25);
        if (G != 0) {
            S = SGN(M - 9);
            const auto century = static_cast<std::int64_t>(
                (INT(INT(Y + S * INT(std::fabs(M - 9) / 7)) / 100) + 1) * 3);
            J3 = static_cast<double>(-century / 4);
        }
        J = INT(275 * M / 9) + J + D1 + G * J3 + 1721027 + 2 * G + 367 * Y;
        if (F < 0) {
            J = J - 1;
            F = F + 1;
        }
        T = (J - 2451545) + F;
        T0 = T / 36525;
        TT = T0 + 1;

        S = (24110.5 + 8640184.813 * T0 + 86636.6 * Z0 + 86400 * L5) / 86400;
        S = S - INT(S);
        T0 = S * 360 * DR;

        T = T + Z0;

        s910();
        const double a1 = A5;
        const double d1 = D5;
        T = T + 1;
        s910();
        double a2 = A5;
        const double d2 = D5;
        if (a1 > a2)
            a2 = a2 + P2;

        Z1 = DR * 90.833;
        S = std::sin(DR * B5);
        C = std::cos(DR * B5);
        Z = std::cos(Z1);

        A0 = a1;
        D0 = d1;
        C0 = 0;
        M8 = 0;
        W8 = 0;
        DA = a2 - a1;
        DD = d2 - d1;

        while (C0 <= 23) {
            P = (C0 + 1) / 24;
            A2 = a1 + P * DA;
            D2 = d1 + P * DD;
            s490();
            A0 = A2;
            D0 = D2;
            V0 = V2;
            C0 = C0 + 1;
        }

        if (M8 == 0 || W8 == 0) {
            result.sunset = NoSunTime;
            result.sunrise = NoSunTime;
        }
    }
};

} // namespace

SunTimes sunTimesOn(int year, int month, int day, const MachineLocation& location)
{
    Scan scan{};
    scan.result = {0, 0};
    scan.run(year, month, day, location);
    return scan.result;
}

void SetRiseSetTimes()
{
    const DateTimeRec now = secondsToDate(GetDateTime());
    MachineLocation location;
    ReadLocation(&location);
    const SunTimes times = sunTimesOn(now.year, now.month, now.day, location);
    gSunriseTime = times.sunrise;
    gSunsetTime = times.sunset;
}

bool examineHourCrossing(double hour, double v0, double v1, double v2)
{
    Scan scan{};
    scan.result = {gSunriseTime, gSunsetTime};
    scan.C0 = hour;
    scan.V0 = v0;
    scan.V1 = v1;
    scan.V2 = v2;
    scan.M8 = 0;
    scan.W8 = 0;
    scan.s490Crossing();
    gSunriseTime = scan.result.sunrise;
    gSunsetTime = scan.result.sunset;
    return scan.M8 != 0 || scan.W8 != 0;
}

void resetSunTimes()
{
    gSunriseTime = 0;
    gSunsetTime = 0;
}

} // namespace vantrel
