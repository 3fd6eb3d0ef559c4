#include "platform/Location.h"
#include "platform/Preferences.h"
#include "support/FixedClock.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(Location, FractRoundTripsWholeDegrees)
{
    for (int degrees = -180; degrees < 180; ++degrees)
        EXPECT_EQ(FracMul(fractFromDegrees(degrees), 90), degrees) << degrees;
    // 180 east does not fit a Fract; it is the same meridian as 180 west.
    EXPECT_EQ(FracMul(fractFromDegrees(180), 90), -180);
}

TEST(Location, ZoneCitiesFromTheTzDatabase)
{
    const auto newYork = zoneCoordinates("America/New_York");
    ASSERT_TRUE(newYork);
    EXPECT_EQ(newYork->first, 41); // 40°42'51"
    EXPECT_EQ(newYork->second, -74);
    const auto london = zoneCoordinates("Europe/London");
    ASSERT_TRUE(london);
    EXPECT_EQ(london->first, 52); // 51°30'30"
    EXPECT_EQ(london->second, 0);
    EXPECT_FALSE(zoneCoordinates("Etc/UTC"));
    EXPECT_FALSE(zoneCoordinates(""));
}

TEST(Location, OverridesAndCurrentOffset)
{
    test::FixedClock clock(2007, 6, 21, 12, 0, 0, "Asia/Kolkata");
    setLocationOverride({40, -74, std::nullopt});
    MachineLocation where;
    ReadLocation(&where);
    setLocationOverride({});
    EXPECT_EQ(FracMul(where.latitude, 90), 40);
    EXPECT_EQ(FracMul(where.longitude, 90), -74);
    EXPECT_EQ(where.gmtDelta, 5 * 3600 + 1800);

    setLocationOverride({std::nullopt, std::nullopt, -18000});
    ReadLocation(&where);
    setLocationOverride({});
    // Kolkata's city is 22°32'N 88°22'E; a west offset keeps its sign in 24 bits.
    EXPECT_EQ(FracMul(where.latitude, 90), 23);
    EXPECT_EQ(FracMul(where.longitude, 90), 88);
    EXPECT_EQ(where.gmtDelta, (-18000) & 0xFFFFFF);
}

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

TEST(Location, UserCoordinatesFromThePreferencesWinOverTheZone)
{
    test::TemporaryHome home;
    test::FixedClock clock(2007, 6, 21, 12, 0, 0, "Europe/London");
    installLocationPreferences();
    MachineLocation where;
    ReadLocation(&where);
    EXPECT_EQ(FracMul(where.latitude, 90), 52);

    Preferences application(ApplicationDomain);
    application.setValue(LatitudeKey, 40);
    application.setValue(LongitudeKey, -74);
    application.synchronize();
    ReadLocation(&where);
    setPreferredCoordinateSource(nullptr);
    EXPECT_EQ(FracMul(where.latitude, 90), 40);
    EXPECT_EQ(FracMul(where.longitude, 90), -74);
    EXPECT_EQ(where.gmtDelta, 3600); // the zone still gives the offset
}

} // namespace
} // namespace vantrel
