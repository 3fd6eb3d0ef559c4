#include "app/PreferencesWindow.h"

#include "cp290/ClockText.h"
#include "editor/ApplicationPreferences.h"
#include "platform/DateTime.h"
#include "platform/Location.h"
#include "platform/Preferences.h"
#include "suntimes/SunTimes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantrel {
namespace {

QString degrees(int value, char positive, char negative)
{
    return QStringLiteral("%1° %2")
        .arg(std::abs(value))
        .arg(QChar(value < 0 ? negative : positive));
}

QString sunTimeText(std::uint32_t value)
{
    if (value == NoSunTime)
        return {};
    const DateTimeRec time = secondsToDate(value);
    return QString::fromStdString(twelveHourClockText(time.hour, time.minute));
}

} // namespace

QString PreferencesWindow::timeZoneLocationText(const QString& zone,
                                                std::optional<std::pair<int, int>> place)
{
    if (zone.isEmpty() || !place)
        return tr("The time zone gives no location; enter the latitude and longitude below.");
    return tr("From the time zone: %1, %2 %3")
        .arg(zone, degrees(place->first, 'N', 'S'), degrees(place->second, 'E', 'W'));
}

QString PreferencesWindow::sunTimesText(int latitude, int longitude)
{
    // For the place given, with the offset from Greenwich in force now.
    const std::time_t now = unixNow();
    MachineLocation place = readLocationAt(now);
    place.latitude = fractFromDegrees(latitude);
    place.longitude = fractFromDegrees(longitude);
    const DateTimeRec today = secondsToDate(localSecondsFromUnix(now));
    const SunTimes times = sunTimesOn(today.year, today.month, today.day, place);
    const QString rise = sunTimeText(times.sunrise);
    const QString set = sunTimeText(times.sunset);
    if (rise.isEmpty() && set.isEmpty())
        return tr("Today: no sunrise and no sunset here.");
    return tr("Today: sunrise %1, sunset %2")
        .arg(rise.isEmpty() ? tr("none") : rise, set.isEmpty() ? tr("none") : set);
}

void PreferencesWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The wrapped notes take more lines at the width the dialog got than Qt
    // allowed for, which squeezed the location fields below their height.
    const int needed = heightForWidth(width());
    if (needed > height())
        resize(width(), needed);
}

PreferencesWindow::PreferencesWindow(Preferences& preferences, bool helperRunning, QWidget* parent)
    : QDialog(parent), m_preferences(preferences)
{
    setObjectName("preferencesWindow");
    setWindowTitle(tr("Preferences"));
    auto* layout = new QVBoxLayout(this);

    m_helperCheckbox =
        new QCheckBox(tr("Send the schedule to the CP290 every day at 3:00 AM"), this);
    m_helperCheckbox->setObjectName("helperCheckbox");
    m_helperCheckbox->setChecked(helperRunning);
    layout->addWidget(m_helperCheckbox);
    auto* helperNote = new QLabel(tr("A small helper program does this in the background from "
                                     "login, with each day's sunrise and sunset."),
                                  this);
    helperNote->setWordWrap(true);
    helperNote->setEnabled(false);
    layout->addWidget(helperNote);

    m_checkAfterSend = new QCheckBox(tr("Check the interface after each send"), this);
    m_checkAfterSend->setObjectName("checkAfterSendCheckbox");
    m_checkAfterSend->setChecked(preferences.boolValue(CheckAfterSendKey).value_or(false));
    layout->addWidget(m_checkAfterSend);
    auto* checkNote = new QLabel(tr("The window and the helper read the events back from the "
                                    "CP290 and compare them with what was sent; the helper "
                                    "sends again at its next check when they differ."),
                                 this);
    checkNote->setWordWrap(true);
    checkNote->setEnabled(false);
    layout->addWidget(checkNote);

    auto* location = new QGroupBox(tr("Location for sunrise and sunset"), this);
    auto* form = new QFormLayout(location);
    const QString zone = QString::fromStdString(systemTimeZoneName());
    m_zonePlace = zone.isEmpty() ? std::nullopt : zoneCoordinates(zone.toStdString());
    m_fromTimeZone = new QRadioButton(timeZoneLocationText(zone, m_zonePlace), location);
    m_fromTimeZone->setObjectName("locationFromTimeZone");
    m_given = new QRadioButton(tr("This location:"), location);
    m_given->setObjectName("locationGiven");
    m_latitude = new QSpinBox(location);
    m_latitude->setObjectName("latitude");
    m_latitude->setRange(-90, 90);
    m_latitude->setSuffix(tr("° (north positive)"));
    m_longitude = new QSpinBox(location);
    m_longitude->setObjectName("longitude");
    m_longitude->setRange(-180, 180);
    m_longitude->setSuffix(tr("° (east positive)"));
    form->addRow(m_fromTimeZone);
    form->addRow(m_given);
    form->addRow(tr("Latitude:"), m_latitude);
    form->addRow(tr("Longitude:"), m_longitude);
    m_sunTimes = new QLabel(location);
    m_sunTimes->setObjectName("sunTimes");
    form->addRow(m_sunTimes);
    layout->addWidget(location);

    const auto latitude = preferences.integerValue(LatitudeKey);
    const auto longitude = preferences.integerValue(LongitudeKey);
    const bool given = latitude && longitude;
    const std::pair<int, int> start =
        given ? std::pair<int, int>(static_cast<int>(*latitude), static_cast<int>(*longitude))
              : m_zonePlace.value_or(std::pair<int, int>(0, 0));
    m_latitude->setValue(start.first);
    m_longitude->setValue(start.second);
    (given || !m_zonePlace ? m_given : m_fromTimeZone)->setChecked(true);
    m_fromTimeZone->setEnabled(m_zonePlace.has_value());

    auto enableFields = [this] {
        m_latitude->setEnabled(m_given->isChecked());
        m_longitude->setEnabled(m_given->isChecked());
        if (m_fromTimeZone->isChecked() && m_zonePlace) {
            m_latitude->setValue(m_zonePlace->first);
            m_longitude->setValue(m_zonePlace->second);
        }
        updateSunTimes();
    };
    connect(m_given, &QRadioButton::toggled, this, enableFields);
    connect(m_latitude, &QSpinBox::valueChanged, this, &PreferencesWindow::updateSunTimes);
    connect(m_longitude, &QSpinBox::valueChanged, this, &PreferencesWindow::updateSunTimes);
    enableFields();
    m_initialChoice = chosenCoordinates();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Done"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName("doneWithPreferences");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

bool PreferencesWindow::helperEnabled() const
{
    return m_helperCheckbox->isChecked();
}

void PreferencesWindow::applyCheckAfterSend()
{
    const bool wanted = m_checkAfterSend->isChecked();
    if (wanted == m_preferences.boolValue(CheckAfterSendKey).value_or(false))
        return;
    // Off is the key's absence, as for every preference.
    if (wanted)
        m_preferences.setValue(CheckAfterSendKey, true);
    else
        m_preferences.removeValue(CheckAfterSendKey);
    savePreferences(m_preferences, parentWidget());
}

std::optional<std::pair<int, int>> PreferencesWindow::chosenCoordinates() const
{
    if (!m_given->isChecked())
        return std::nullopt;
    return std::pair<int, int>(m_latitude->value(), m_longitude->value());
}

void PreferencesWindow::updateSunTimes()
{
    m_sunTimes->setText(sunTimesText(m_latitude->value(), m_longitude->value()));
}

void PreferencesWindow::applyLocation()
{
    const auto chosen = chosenCoordinates();
    if (chosen == m_initialChoice)
        return;
    const auto latitude = m_preferences.integerValue(LatitudeKey);
    const auto longitude = m_preferences.integerValue(LongitudeKey);
    const bool stored = latitude && longitude;
    if (!chosen) {
        if (!m_preferences.contains(LatitudeKey) && !m_preferences.contains(LongitudeKey))
            return;
        m_preferences.removeValue(LatitudeKey);
        m_preferences.removeValue(LongitudeKey);
    } else {
        if (stored && *latitude == chosen->first && *longitude == chosen->second)
            return;
        m_preferences.setValue(LatitudeKey, chosen->first);
        m_preferences.setValue(LongitudeKey, chosen->second);
    }
    savePreferences(m_preferences, parentWidget());
}

} // namespace vantrel
