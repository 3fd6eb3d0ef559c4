#pragma once

// The event editor in the drawer: one control for every part of an event.
// load() fills the controls from an event (sending no actions); read() builds
// the event the controls show. Every action of the user emits changed() once
// the controls have been brought into line, and the document then saves.

#include "platform/DateTime.h"
#include "schedule/Event.h"
#include "schedule/Module.h"

#include <QWidget>

#include <optional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;

namespace vantrel {

class FormattedLineEdit;

class EventEditor : public QWidget
{
    Q_OBJECT

  public:
    explicit EventEditor(QWidget* parent = nullptr);

    // loadEventData, for the event's module.
    void load(const Event& event, const Module& module);
    // The event as last saved, from which a day rule's panel is filled when
    // the user switches to it.
    void setSavedEvent(const Event& event);
    // The record the controls stand for (saveEventData's reading): the saved
    // event with what the user changed. Untouched, it is the record loaded.
    Event read() const;
    // The event editor's half of moduleChanged: the On choice and the
    // brightness slider by the module's unit and type.
    void moduleChanged(const Module& module);
    // checkDaysWarning: shown only for a weekly event without a day.
    void checkDaysWarning(const Event& event);

    // The date field's reading: "today", "tomorrow" or month/day/year.
    static std::optional<DateTimeRec> dateFromText(const QString& text, const DateTimeRec& today);

  signals:
    void changed();
    void resetRequested();

  protected:
    bool focusNextPrevChild(bool next) override;

  private:
    void eventOn();
    void eventOff();
    void riseSet(QCheckBox* sunSwitch);
    void doDaysPopupChanged(const Event& event);
    // The panel of the chosen day rule, and what it enables.
    void showDayRule();
    void updateDaysWarning();
    std::vector<QObject*> controls() const;
    void repeat();
    void setKeyboardLoop();
    // The fields Tab goes round in: the time (or the sun offset's sign and
    // offset), then the date and its repeat days when they are shown.
    std::vector<QWidget*> keyboardLoop() const;
    void setBrightnessUsable(bool usable);
    void showTimeOfDay(std::uint32_t value);
    void setDateText(std::uint32_t dateValue);
    static QString dateText(std::uint32_t dateValue);

    QRadioButton* m_on = nullptr;
    QRadioButton* m_off = nullptr;
    QSlider* m_brightness = nullptr;
    QLabel* m_brightnessLabel = nullptr;
    QTimeEdit* m_time = nullptr;
    QLabel* m_noSunTime = nullptr;
    QCheckBox* m_sunrise = nullptr;
    QCheckBox* m_sunset = nullptr;
    FormattedLineEdit* m_offsetSign = nullptr;
    QLineEdit* m_offset = nullptr;
    QCheckBox* m_security = nullptr;
    QComboBox* m_daysPopup = nullptr;
    QStackedWidget* m_dateBox = nullptr;
    QWidget* m_everyView = nullptr;
    QWidget* m_dateView = nullptr;
    QWidget* m_emptyView = nullptr;
    QCheckBox* m_days[7] = {}; // Sunday to Saturday
    QLineEdit* m_date = nullptr;
    QCheckBox* m_repeat = nullptr;
    QSpinBox* m_repeatDays = nullptr;
    QLabel* m_daysWarning = nullptr;
    Module m_module;
    Event m_event;
    std::uint32_t m_dateValue = 0;
    bool m_loading = false;
};

} // namespace vantrel
