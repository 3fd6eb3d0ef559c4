#include "editor/EventEditor.h"

#include "cp290/WeekAhead.h"
#include "editor/FormattedLineEdit.h"
#include "editor/core/DateField.h"
#include "editor/TimeOfDayEdit.h"
#include "platform/DateTime.h"
#include "schedule/CalendarDate.h"
#include "schedule/FieldFormatters.h"
#include "suntimes/SunTimes.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QTimeEdit>

#include <algorithm>
#include <iterator>

namespace vantrel {
namespace {

constexpr std::uint16_t DayBits[7] = {EventSundayFlag,    EventMondayFlag,   EventTuesdayFlag,
                                      EventWednesdayFlag, EventThursdayFlag, EventFridayFlag,
                                      EventSaturdayFlag};
constexpr const char* DayLetters[7] = {"S", "M", "T", "W", "T", "F", "S"};

QString brightnessText(int brightness)
{
    if (brightness >= NoDimBrightness)
        return QObject::tr("Full");
    return QStringLiteral("%1%").arg(brightness * 12.5, 0, 'f', 1);
}

// What the slider and the repeat field can show of a stored value.
int shownBrightness(std::uint16_t brightness)
{
    return std::clamp<int>(brightness, 1, NoDimBrightness);
}

int shownRepeat(std::uint16_t repeat)
{
    return std::min<int>(repeat, 365);
}

QString offsetText(std::uint32_t adjust)
{
    return QString::fromStdString(timeOffsetText(SecondsToNSCalendarDate(adjust)));
}

DateTimeRec todayRecord()
{
    DateTimeRec today = secondsToDate(GetDateTime());
    today.hour = today.minute = today.second = 0;
    return today;
}

} // namespace

std::optional<DateTimeRec> EventEditor::dateFromText(const QString& text, const DateTimeRec& today)
{
    return dateFromFieldText(text, today);
}

EventEditor::EventEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName("eventEditor");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    int row = 0;

    // Turn On 50% ...
    grid->addWidget(new QLabel(tr("Turn"), this), row, 0, Qt::AlignRight);
    auto* turn = new QHBoxLayout;
    m_on = new QRadioButton(tr("On"), this);
    m_on->setObjectName("onSwitch");
    m_off = new QRadioButton(tr("Off"), this);
    m_off->setObjectName("offSwitch");
    auto* pair = new QButtonGroup(this);
    pair->addButton(m_on);
    pair->addButton(m_off);
    m_brightness = new QSlider(Qt::Horizontal, this);
    m_brightness->setObjectName("eventBrightnessSlider");
    m_brightness->setRange(1, NoDimBrightness);
    m_brightness->setPageStep(1);
    m_brightness->setMinimumWidth(120);
    m_brightnessLabel = new QLabel(this);
    m_brightnessLabel->setObjectName("eventBrightnessLabel");
    m_brightnessLabel->setMinimumWidth(48);
    turn->addWidget(m_on);
    turn->addWidget(m_off);
    turn->addSpacing(12);
    turn->addWidget(new QLabel(tr("Brightness"), this));
    turn->addWidget(m_brightness, 1);
    turn->addWidget(m_brightnessLabel);
    grid->addLayout(turn, row++, 1);

    // ... @ 7:00 PM, or Sunset -00:30 ...
    grid->addWidget(new QLabel(tr("@"), this), row, 0, Qt::AlignRight);
    auto* when = new QHBoxLayout;
    m_time = new TimeOfDayEdit(this);
    m_time->setObjectName("time");
    m_time->setDisplayFormat("h:mm AP");
    m_noSunTime = new QLabel(this);
    m_noSunTime->setObjectName("noSunTime");
    m_sunrise = new QCheckBox(tr("Sunrise"), this);
    m_sunrise->setObjectName("sunriseSwitch");
    m_sunset = new QCheckBox(tr("Sunset"), this);
    m_sunset->setObjectName("sunsetSwitch");
    m_offsetSign = new FormattedLineEdit(checkTimeOffsetSignTyping, this);
    m_offsetSign->setObjectName("offsetSign");
    m_offsetSign->setMaximumWidth(28);
    m_offsetSign->setAlignment(Qt::AlignCenter);
    m_offset = new QLineEdit(this);
    m_offset->setObjectName("offset");
    m_offset->setMaximumWidth(64);
    m_offset->setToolTip(tr("Hours and minutes (1:30), or minutes alone (45)"));
    when->addWidget(m_time);
    when->addWidget(m_noSunTime);
    when->addSpacing(12);
    when->addWidget(m_sunrise);
    when->addWidget(m_sunset);
    when->addWidget(m_offsetSign);
    when->addWidget(m_offset);
    when->addStretch(1);
    grid->addLayout(when, row++, 1);

    // ... (Security) ...
    m_security = new QCheckBox(tr("Security mode (varies the time a little each day)"), this);
    m_security->setObjectName("securitySwitch");
    grid->addWidget(m_security, row++, 1);

    // ... Every Day / On 7/4/2027 & Every 3 Days / Even Days / Odd Days.
    grid->addWidget(new QLabel(tr("On"), this), row, 0, Qt::AlignRight);
    auto* days = new QHBoxLayout;
    m_daysPopup = new QComboBox(this);
    m_daysPopup->setObjectName("daysPopup");
    m_daysPopup->addItems({tr("Weekly"), tr("A date"), tr("Even days"), tr("Odd days")});
    m_daysPopup->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_dateBox = new QStackedWidget(this);
    m_dateBox->setObjectName("dateBox");
    m_everyView = new QWidget(m_dateBox);
    m_everyView->setObjectName("everyView");
    auto* every = new QHBoxLayout(m_everyView);
    every->setContentsMargins(0, 0, 0, 0);
    for (int day = 0; day < 7; ++day) {
        m_days[day] = new QCheckBox(tr(DayLetters[day]), m_everyView);
        m_days[day]->setObjectName(
            QStringLiteral("%1Switch").arg(QString(weekdayName(day + 1)).toLower()));
        m_days[day]->setToolTip(tr(weekdayName(day + 1)));
        every->addWidget(m_days[day]);
    }
    every->addStretch(1);
    m_dateView = new QWidget(m_dateBox);
    m_dateView->setObjectName("dateView");
    auto* dated = new QHBoxLayout(m_dateView);
    dated->setContentsMargins(0, 0, 0, 0);
    m_date = new QLineEdit(m_dateView);
    m_date->setObjectName("date");
    // Room for the widest date and the frame's padding on both sides.
    m_date->setMinimumWidth(QFontMetrics(m_date->font()).horizontalAdvance("00/00/0000 ") +
                            2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 12);
    m_date->setMaximumWidth(m_date->minimumWidth());
    m_date->setToolTip(tr("Month/day/year, \"today\" or \"tomorrow\""));
    auto* today = new QPushButton(tr("Today"), m_dateView);
    today->setObjectName("today");
    auto* tomorrow = new QPushButton(tr("Tomorrow"), m_dateView);
    tomorrow->setObjectName("tomorrow");
    // The style's minimum button width leaves the row too wide for the drawer.
    for (QPushButton* button : {today, tomorrow})
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 20);
    m_repeat = new QCheckBox(tr("every"), m_dateView);
    m_repeat->setToolTip(tr("Repeat every so many days from the date"));
    m_repeat->setObjectName("repeatSwitch");
    m_repeatDays = new QSpinBox(m_dateView);
    m_repeatDays->setObjectName("repeatDays");
    m_repeatDays->setRange(0, 365);
    dated->addWidget(m_date);
    // The field and its buttons are different controls: keep them apart.
    dated->addSpacing(6);
    dated->addWidget(today);
    dated->addWidget(tomorrow);
    dated->addSpacing(4);
    dated->addWidget(m_repeat);
    dated->addWidget(m_repeatDays);
    dated->addWidget(new QLabel(tr("days"), m_dateView));
    dated->addStretch(1);
    m_emptyView = new QWidget(m_dateBox);
    m_dateBox->addWidget(m_everyView);
    m_dateBox->addWidget(m_dateView);
    m_dateBox->addWidget(m_emptyView);
    days->addWidget(m_daysPopup);
    days->addSpacing(4);
    days->addWidget(m_dateBox, 1);
    grid->addLayout(days, row++, 1);

    m_daysWarning = new QLabel(tr("Choose at least one day, or the event never runs."), this);
    m_daysWarning->setObjectName("daysWarning");
    QPalette warning = m_daysWarning->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x30, 0x20));
    m_daysWarning->setPalette(warning);
    // Hidden and shown in its place, so nothing below it moves.
    QSizePolicy keepPlace = m_daysWarning->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_daysWarning->setSizePolicy(keepPlace);
    grid->addWidget(m_daysWarning, row++, 1);

    auto* reset = new QPushButton(tr("Reset"), this);
    reset->setObjectName("resetEvent");
    reset->setToolTip(tr("Make this an Off event every day at the time the window was opened"));
    grid->addWidget(reset, row++, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);

    // The actions. Loading blocks the controls' signals, and m_loading keeps
    // the handlers it calls itself from saving.
    auto changedBy = [this] {
        if (!m_loading)
            emit changed();
    };
    connect(m_on, &QRadioButton::clicked, this, &EventEditor::eventOn);
    connect(m_off, &QRadioButton::clicked, this, &EventEditor::eventOff);
    connect(m_brightness, &QSlider::valueChanged, this, [this, changedBy](int value) {
        m_brightnessLabel->setText(brightnessText(value));
        changedBy();
    });
    connect(m_time, &QTimeEdit::editingFinished, this, changedBy);
    connect(m_sunrise, &QCheckBox::clicked, this, [this, changedBy] {
        riseSet(m_sunrise);
        changedBy();
    });
    connect(m_sunset, &QCheckBox::clicked, this, [this, changedBy] {
        riseSet(m_sunset);
        changedBy();
    });
    connect(m_offsetSign, &QLineEdit::textEdited, this, changedBy);
    connect(m_offset, &QLineEdit::editingFinished, this, [this, changedBy] {
        // A refused offset is not taken: the field shows the stored one again.
        if (!timeOffsetFromText(m_offset->text().toStdString())) {
            m_offset->setText(offsetText(m_event.Adjust));
            return;
        }
        changedBy();
    });
    connect(m_security, &QCheckBox::clicked, this, changedBy);
    for (QCheckBox* day : m_days) {
        connect(day, &QCheckBox::clicked, this, [this, changedBy] {
            updateDaysWarning();
            changedBy();
        });
    }
    connect(m_daysPopup, &QComboBox::activated, this, [this, changedBy] {
        doDaysPopupChanged(m_event);
        changedBy();
    });
    connect(m_date, &QLineEdit::editingFinished, this, [this, changedBy] {
        // Passing through the field is no new date: the stored value stays.
        if (m_date->text() == dateText(m_dateValue))
            return;
        const auto date = dateFromText(m_date->text(), todayRecord());
        if (!date) {
            setDateText(m_dateValue);
            return;
        }
        setDateText(dateToSeconds(*date));
        changedBy();
    });
    connect(today, &QPushButton::clicked, this,
            [this] { setDateText(dateToSeconds(todayRecord())); });
    connect(tomorrow, &QPushButton::clicked, this, [this] {
        m_date->setText(QStringLiteral("tomorrow"));
        setDateText(dateToSeconds(*dateFromText(m_date->text(), todayRecord())));
    });
    connect(m_repeat, &QCheckBox::clicked, this, [this, changedBy] {
        repeat();
        changedBy();
    });
    connect(m_repeatDays, &QSpinBox::editingFinished, this, changedBy);
    connect(reset, &QPushButton::clicked, this, &EventEditor::resetRequested);
}

QString EventEditor::dateText(std::uint32_t dateValue)
{
    const DateTimeRec date = secondsToDate(dateValue);
    return QStringLiteral("%1/%2/%3")
        .arg(date.month, 2, 10, QChar('0'))
        .arg(date.day, 2, 10, QChar('0'))
        .arg(date.year);
}

void EventEditor::setDateText(std::uint32_t dateValue)
{
    m_dateValue = dateValue;
    m_date->setText(dateText(dateValue));
}

void EventEditor::showTimeOfDay(std::uint32_t value)
{
    if (value == NoSunTime) {
        m_time->setVisible(false);
        m_noSunTime->setText(m_sunrise->isChecked() ? tr("no sunrise today")
                                                    : tr("no sunset today"));
        m_noSunTime->setVisible(true);
        return;
    }
    const DateTimeRec time = secondsToDate(value);
    m_time->setTime(QTime(time.hour, time.minute));
    m_time->setVisible(true);
    m_noSunTime->setVisible(false);
}

void EventEditor::setBrightnessUsable(bool usable)
{
    m_brightness->setEnabled(usable);
    m_brightnessLabel->setEnabled(usable);
}

void EventEditor::load(const Event& event, const Module& module)
{
    // Every control is filled from the event, the panel of the other day rules
    // included: read() of an untouched editor is then the record loaded, and
    // nothing of the event shown before survives in a hidden control.
    // Programmatic changes send nothing; a focus that leaves a hidden field
    // would otherwise finish an edit into the new event.
    std::vector<QSignalBlocker> quiet;
    for (QObject* control : controls())
        quiet.emplace_back(control);
    m_loading = true;
    m_event = event;
    m_module = module;
    if (event.isOn()) {
        m_on->setChecked(true);
        setBrightnessUsable(!(module.type == ApplianceType || module.unit == AllModulesUnit));
    } else {
        m_off->setChecked(true);
        setBrightnessUsable(false);
    }
    // The brightness stays as stored whatever the module: looking at an event
    // never changes it.
    m_brightness->setValue(shownBrightness(event.Brightness));
    m_brightnessLabel->setText(brightnessText(m_brightness->value()));
    m_offsetSign->setCheckedText((event.Flags & EventOffsetBeforeFlag) ? "-" : "+");
    m_offset->setText(offsetText(event.Adjust));
    // The event's own time first: a sun event shows the sun's time over it,
    // and that is the time a switch to a clock time starts from when the sun
    // neither rises nor sets today.
    showTimeOfDay(event.Time);
    if (event.Flags & EventSunriseFlag) {
        m_sunrise->setChecked(true);
        riseSet(m_sunrise);
    } else if (event.Flags & EventSunsetFlag) {
        m_sunset->setChecked(true);
        riseSet(m_sunset);
    } else {
        m_sunrise->setChecked(false);
        m_sunset->setChecked(false);
        m_offset->setEnabled(false);
        m_offsetSign->setEnabled(false);
        m_time->setEnabled(true);
    }
    m_security->setChecked(event.Flags & EventSecurityFlag);
    for (int day = 0; day < 7; ++day)
        m_days[day]->setChecked(event.Flags & DayBits[day]);
    setDateText(event.Date);
    m_repeat->setChecked(event.Flags & EventRepeatFlag);
    m_repeatDays->setValue(shownRepeat(event.Repeat));
    m_daysPopup->setCurrentIndex(event.dayRule());
    showDayRule();
    m_on->setEnabled(module.unit != AllModulesUnit);
    m_loading = false;
}

void EventEditor::setSavedEvent(const Event& event)
{
    m_event = event;
}

Event EventEditor::read() const
{
    // Starts from the event as last saved. A field keeps its stored value
    // while its control shows it: the controls cannot show a time's seconds,
    // and a sun event's time field shows the sun's time, not the event's.
    Event event = m_event;
    std::uint16_t flags = m_on->isChecked() ? EventOnFlag : 0;
    if (m_brightness->value() != shownBrightness(m_event.Brightness))
        event.Brightness = static_cast<std::uint16_t>(m_brightness->value());
    if (m_sunrise->isChecked())
        flags |= EventSunriseFlag;
    else if (m_sunset->isChecked())
        flags |= EventSunsetFlag;
    else
        flags |= EventClockTimeFlag;
    const QTime shown = m_time->time();
    const DateTimeRec stored = secondsToDate(m_event.Time);
    if ((flags & EventClockTimeFlag) &&
        (shown.hour() != stored.hour || shown.minute() != stored.minute)) {
        DateTimeRec time;
        time.hour = static_cast<std::int16_t>(shown.hour());
        time.minute = static_cast<std::int16_t>(shown.minute());
        event.Time = dateToSeconds(time);
    }
    if (m_offsetSign->text() == QLatin1String("-"))
        flags |= EventOffsetBeforeFlag;
    if (m_offset->text() != offsetText(m_event.Adjust)) {
        if (const auto offset = timeOffsetFromText(m_offset->text().toStdString()))
            event.Adjust = static_cast<std::uint32_t>(offset->hour * 3600 + offset->minute * 60);
    }
    if (m_security->isChecked())
        flags |= EventSecurityFlag;
    const auto rule = static_cast<std::uint16_t>(m_daysPopup->currentIndex() & EventDayRuleMask);
    flags |= rule;
    // The panel of another day rule is not shown: its fields stay as saved.
    if (rule == EventRuleDate) {
        event.Date = m_dateValue;
        if (m_repeatDays->value() != shownRepeat(m_event.Repeat))
            event.Repeat = static_cast<std::uint16_t>(m_repeatDays->value());
        if (m_repeat->isChecked())
            flags |= EventRepeatFlag;
    } else {
        flags |= m_event.Flags & EventRepeatFlag;
    }
    if (rule == EventRuleWeekly) {
        for (int day = 0; day < 7; ++day)
            if (m_days[day]->isChecked())
                flags |= DayBits[day];
    } else {
        flags |= m_event.Flags & EventDaysMask;
    }
    event.Flags = flags;
    return event;
}

void EventEditor::moduleChanged(const Module& module)
{
    m_module = module;
    const bool allModules = module.unit == AllModulesUnit;
    m_on->setEnabled(!allModules);
    if (module.unit == AllLightsUnit) {
        setBrightnessUsable(false);
        m_brightness->setValue(NoDimBrightness);
    } else if (!allModules && module.type == LightType) {
        setBrightnessUsable(m_on->isChecked());
    } else if (!allModules) {
        setBrightnessUsable(false);
        m_brightness->setValue(NoDimBrightness);
    }
}

void EventEditor::eventOn()
{
    if (m_module.type == LightType || m_module.unit == AllLightsUnit)
        setBrightnessUsable(true);
    if (!m_loading)
        emit changed();
}

void EventEditor::eventOff()
{
    setBrightnessUsable(false);
    m_brightness->setValue(NoDimBrightness);
    if (!m_loading)
        emit changed();
}

void EventEditor::riseSet(QCheckBox* sunSwitch)
{
    if (sunSwitch->isChecked()) {
        SetRiseSetTimes();
        QCheckBox* other = sunSwitch == m_sunrise ? m_sunset : m_sunrise;
        other->setChecked(false);
        showTimeOfDay(sunSwitch == m_sunrise ? gSunriseTime : gSunsetTime);
        m_offset->setEnabled(true);
        m_offsetSign->setEnabled(true);
        if (!m_loading)
            m_offsetSign->setFocus();
        m_time->setEnabled(false);
    } else {
        m_offset->setEnabled(false);
        m_offsetSign->setEnabled(false);
        m_time->setEnabled(true);
        m_time->setVisible(true);
        m_noSunTime->setVisible(false);
        if (!m_loading)
            m_time->setFocus();
    }
    setKeyboardLoop();
}

void EventEditor::doDaysPopupChanged(const Event& event)
{
    // The user chose another day rule: its panel shows the event as saved.
    switch (m_daysPopup->currentIndex()) {
    case EventRuleWeekly:
        m_security->setChecked(event.Flags & EventSecurityFlag);
        for (int day = 0; day < 7; ++day)
            m_days[day]->setChecked(event.Flags & DayBits[day]);
        break;
    case EventRuleDate:
        setDateText(event.Date);
        m_repeat->setChecked(event.Flags & EventRepeatFlag);
        m_repeatDays->setValue(shownRepeat(event.Repeat));
        m_security->setChecked(false);
        break;
    default:
        m_security->setChecked(false);
        break;
    }
    showDayRule();
}

void EventEditor::showDayRule()
{
    const int rule = m_daysPopup->currentIndex();
    m_dateBox->setCurrentWidget(rule == EventRuleWeekly ? m_everyView
                                : rule == EventRuleDate ? m_dateView
                                                        : m_emptyView);
    m_security->setEnabled(rule == EventRuleWeekly);
    m_repeatDays->setEnabled(m_repeat->isChecked());
    setKeyboardLoop();
    updateDaysWarning();
}

void EventEditor::repeat()
{
    m_repeatDays->setEnabled(m_repeat->isChecked());
    if (m_repeat->isChecked())
        m_repeatDays->setFocus();
    setKeyboardLoop();
}

void EventEditor::setKeyboardLoop()
{
    // The same order for the window's focus chain, so that the fields are
    // also met in it when Tab leaves the loop (a loop of one field).
    const std::vector<QWidget*> loop = keyboardLoop();
    for (std::size_t i = 1; i < loop.size(); ++i)
        setTabOrder(loop[i - 1], loop[i]);
}

std::vector<QWidget*> EventEditor::keyboardLoop() const
{
    std::vector<QWidget*> loop;
    if (m_time->isEnabled()) {
        loop.push_back(m_time);
    } else {
        loop.push_back(m_offsetSign);
        loop.push_back(m_offset);
    }
    if (m_date->isVisibleTo(this) && m_date->isEnabled()) {
        loop.push_back(m_date);
        if (m_repeat->isChecked() && m_repeatDays->isEnabled())
            loop.push_back(m_repeatDays);
    }
    return loop;
}

bool EventEditor::focusNextPrevChild(bool next)
{
    const std::vector<QWidget*> loop = keyboardLoop();
    const QWidget* focused = QApplication::focusWidget();
    const auto at = std::find_if(loop.begin(), loop.end(), [focused](const QWidget* field) {
        return field == focused || field->isAncestorOf(focused);
    });
    // Elsewhere in the panel, and in a loop of one, Tab moves on as usual.
    if (loop.size() < 2 || at == loop.end())
        return QWidget::focusNextPrevChild(next);
    const std::size_t index = static_cast<std::size_t>(at - loop.begin());
    const std::size_t target =
        next ? (index + 1) % loop.size() : (index + loop.size() - 1) % loop.size();
    loop[target]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void EventEditor::checkDaysWarning(const Event& event)
{
    m_daysWarning->setVisible(event.dayRule() == EventRuleWeekly &&
                              (event.Flags & EventDaysMask) == 0);
}

void EventEditor::updateDaysWarning()
{
    const bool anyDay = std::any_of(std::begin(m_days), std::end(m_days),
                                    [](const QCheckBox* day) { return day->isChecked(); });
    m_daysWarning->setVisible(m_daysPopup->currentIndex() == EventRuleWeekly && !anyDay);
}

std::vector<QObject*> EventEditor::controls() const
{
    std::vector<QObject*> all = {m_on,     m_off,        m_brightness, m_time,     m_sunrise,
                                 m_sunset, m_offsetSign, m_offset,     m_security, m_daysPopup,
                                 m_date,   m_repeat,     m_repeatDays};
    all.insert(all.end(), std::begin(m_days), std::end(m_days));
    return all;
}

} // namespace vantrel
