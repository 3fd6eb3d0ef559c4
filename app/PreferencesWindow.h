#pragma once

// The preferences sheet: whether the helper runs, and where the machine is
// for the sun times (the time zone's city, or whole degrees the user gives).

#include <QDialog>

#include <optional>
#include <utility>

class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace vantrel {

class Preferences;

class PreferencesWindow : public QDialog
{
    Q_OBJECT

  public:
    PreferencesWindow(Preferences& preferences, bool helperRunning, QWidget* parent = nullptr);

    bool helperEnabled() const;
    // Stores the location chosen, when it differs from what was stored.
    void applyLocation();
    // Stores whether to check the interface after each send, when changed.
    void applyCheckAfterSend();

    // "From the time zone: Europe/London, 51° N 0° W", or why there is none.
    static QString timeZoneLocationText(const QString& zone,
                                        std::optional<std::pair<int, int>> place);
    // "Today: sunrise 7:14 AM, sunset 4:33 PM" for the coordinates given.
    static QString sunTimesText(int latitude, int longitude);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::optional<std::pair<int, int>> chosenCoordinates() const;
    void updateSunTimes();

    Preferences& m_preferences;
    QCheckBox* m_helperCheckbox = nullptr;
    QCheckBox* m_checkAfterSend = nullptr;
    QRadioButton* m_fromTimeZone = nullptr;
    QRadioButton* m_given = nullptr;
    QSpinBox* m_latitude = nullptr;
    QSpinBox* m_longitude = nullptr;
    QLabel* m_sunTimes = nullptr;
    std::optional<std::pair<int, int>> m_zonePlace;
    // What the sheet showed when it opened: closing it unchanged stores nothing.
    std::optional<std::pair<int, int>> m_initialChoice;
};

} // namespace vantrel
