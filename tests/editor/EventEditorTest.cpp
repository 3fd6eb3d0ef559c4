// The event editor in the drawer: looking at events, walking through them
// and resetting them writes back exactly what was stored.

#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/EventEditor.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"
#include "editor/TimeOfDayEdit.h"
#include "support/FixedClock.h"
#include "support/ScheduleBuilders.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>

#include <utility>

namespace vantrel::test {
namespace {

// A time of day with seconds, as New Event and Reset store it.
std::uint32_t timeWithSeconds(int hour, int minute, int second)
{
    return clockTime(hour, minute) + static_cast<std::uint32_t>(second);
}

Event weekly(std::uint16_t days, bool on = true)
{
    Event event = clockEvent(days, 7, 15, on);
    event.Time = timeWithSeconds(7, 15, 37);
    return event;
}

Event dated(bool repeat)
{
    Event event = clockEvent(EventRuleDate, 21, 5);
    event.Time = timeWithSeconds(21, 5, 12);
    event.Date = dateValue(2027, 7, 4);
    if (repeat) {
        event.Flags |= EventRepeatFlag;
        event.Repeat = 3;
    }
    return event;
}

Event sun(std::uint16_t sunFlag, bool before, std::uint32_t adjust)
{
    Event event = clockEvent(EventDaysMask, 0, 0);
    event.Flags = static_cast<std::uint16_t>((event.Flags & ~EventClockTimeFlag) | sunFlag |
                                             (before ? EventOffsetBeforeFlag : 0));
    event.Time = timeWithSeconds(18, 2, 9);
    event.Adjust = adjust;
    return event;
}

// Every kind of event the editor shows, each with something in the fields
// of the day rules it does not use.
std::vector<std::pair<const char*, Event>> everyKind()
{
    Event security = weekly(EventDaysMask, false);
    security.Flags |= EventSecurityFlag;
    Event dimmed = weekly(EventSaturdayFlag | EventSundayFlag);
    dimmed.Brightness = 3;
    Event even = clockEvent(EventRuleEvenDays, 6, 0);
    even.Time = timeWithSeconds(6, 0, 59);
    Event odd = clockEvent(EventRuleOddDays, 23, 59, false);
    odd.Time = timeWithSeconds(23, 59, 1);
    Event reset = weekly(EventDaysMask, false);
    reset.Flags = DefaultEventFlags;
    reset.Date = dateValue(2026, 1, 31);
    return {
        {"weekly", weekly(EventMondayFlag | EventWednesdayFlag | EventFridayFlag)},
        {"weekly, no day", weekly(0, false)},
        {"date", dated(false)},
        {"date, repeating", dated(true)},
        {"even days", even},
        {"odd days", odd},
        {"sunrise, after", sun(EventSunriseFlag, false, 30 * 60)},
        {"sunset, before", sun(EventSunsetFlag, true, 75 * 60)},
        {"sunrise, before", sun(EventSunriseFlag, true, 5 * 60)},
        {"sunset, after", sun(EventSunsetFlag, false, 2 * 3600)},
        {"security", security},
        {"dimmed", dimmed},
        {"default", reset},
    };
}

Module lamp()
{
    Module module;
    module.name = "Lamp";
    module.type = LightType;
    module.expanded = true;
    return module;
}

TEST(EventEditorReading, AnUntouchedEditorReadsBackTheRecordItLoaded)
{
    // Each kind loaded after each other kind: nothing of the one before shows through.
    const auto kinds = everyKind();
    EventEditor editor;
    QSignalSpy changes(&editor, &EventEditor::changed);
    for (const auto& [beforeName, before] : kinds) {
        for (const auto& [name, event] : kinds) {
            editor.load(before, lamp());
            editor.load(event, lamp());
            EXPECT_EQ(eventToData(editor.read()), eventToData(event))
                << name << " after " << beforeName << ": flags 0x" << std::hex
                << editor.read().Flags << ", stored 0x" << event.Flags;
        }
    }
    EXPECT_EQ(changes.count(), 0) << "loading is no action of the user's";
}

class EventEditorWindow : public WindowTest
{
  protected:
    Modules* open(const ModulesDocument& document)
    {
        const std::string path = home.root() + "/Events.vantrel";
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        Modules* window = manager.openDocument(QString::fromStdString(path));
        EXPECT_NE(window, nullptr);
        if (window && !window->isDrawerOpen())
            window->showHideEvents();
        return window;
    }

    // As a click on the row does it: through the outline's selection model.
    static void click(Modules* window, int row)
    {
        QItemSelectionModel* selection = window->outline()->selectionModel();
        const QModelIndex index = window->model()->indexForRow(row);
        selection->setCurrentIndex(index,
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    static void chooseRule(Modules* window, int rule)
    {
        auto* days = window->findChild<QComboBox*>("daysPopup");
        days->setCurrentIndex(rule);
        emit days->activated(rule);
    }

    static EventData stored(Modules* window, std::size_t module, std::size_t event)
    {
        return window->document().modules[module].events[event];
    }

    // Seconds in "now", so that the default event carries them.
    FixedClock clock{2027, 3, 14, 18, 42, 37};
    DocumentManager manager;
};

TEST_F(EventEditorWindow, WalkingThroughEveryRowAndClosingChangesNothing)
{
    ModulesDocument document;
    Module first = lamp();
    Module second = lamp();
    second.name = "Porch";
    Module appliance;
    appliance.name = "Fan";
    appliance.expanded = true;
    const auto kinds = everyKind();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        (i % 2 ? second : first).events.push_back(eventToData(kinds[i].second));
    appliance.events = {eventToData(dated(true)), eventToData(weekly(EventTuesdayFlag))};
    document.modules = {first, appliance, second};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    QSignalSpy changes(window->eventEditor(), &EventEditor::changed);

    const int rows = window->model()->rowMap().rowCount();
    ASSERT_EQ(rows, 3 + static_cast<int>(kinds.size()) + 2);
    for (int row = 0; row < rows; ++row)
        click(window, row);
    for (int row = rows; row-- > 0;)
        click(window, row);
    EXPECT_EQ(changes.count(), 0) << "no control spoke while it was being filled";
    // Again with the keyboard focus left in a field of each event: the field
    // finishes its editing when the next event has been loaded.
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    for (int row = 0; row < rows; ++row) {
        click(window, row);
        for (const char* name : {"time", "offset", "date", "repeatDays"}) {
            auto* field = window->findChild<QWidget*>(name);
            if (field->isVisible() && field->isEnabled()) {
                field->setFocus();
                break;
            }
        }
    }
    click(window, 1);

    for (std::size_t module = 0; module < document.modules.size(); ++module) {
        const auto& events = window->document().modules[module].events;
        ASSERT_EQ(events.size(), document.modules[module].events.size());
        for (std::size_t event = 0; event < events.size(); ++event)
            EXPECT_EQ(events[event], document.modules[module].events[event])
                << "module " << module << ", event " << event << ": flags 0x" << std::hex
                << eventFromData(events[event])->Flags << ", stored 0x"
                << eventFromData(document.modules[module].events[event])->Flags;
    }
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_TRUE(window->close()) << "nothing to ask about";
}

TEST_F(EventEditorWindow, ANewOrResetEventKeepsItsSecondsAndResetGivesTheDefaultEvent)
{
    ModulesDocument document;
    Module module = lamp();
    module.events = {eventToData(dated(true)), eventToData(weekly(EventMondayFlag))};
    document.modules = {module};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);

    // Rows: 0 Lamp, 1 date, 2 weekly; New Event goes before the selected one.
    click(window, 2);
    window->newEvent();
    ASSERT_EQ(window->document().modules[0].events.size(), 3u);
    const EventData created = stored(window, 0, 1);
    EXPECT_EQ(secondsToDate(eventFromData(created)->Time).second, 37);
    window->clearChangeCount();
    for (int row : {1, 2, 3, 2})
        click(window, row);
    EXPECT_EQ(stored(window, 0, 1), created) << "looked at, not changed";
    EXPECT_FALSE(window->isDocumentEdited());

    // Reset of the repeating date event: the default event exactly, also
    // once the selection has moved on.
    click(window, 1);
    window->findChild<QPushButton*>("resetEvent")->click();
    EXPECT_EQ(stored(window, 0, 0), created);
    EXPECT_TRUE(window->isDocumentEdited());
    click(window, 3);
    click(window, 1);
    EXPECT_EQ(stored(window, 0, 0), created);

    // A Reset that changes nothing is no change.
    window->clearChangeCount();
    window->findChild<QPushButton*>("resetEvent")->click();
    EXPECT_FALSE(window->isDocumentEdited());

    // A time the user sets is the time of day shown, without seconds.
    auto* time = window->findChild<QTimeEdit*>("time");
    time->setTime(QTime(21, 15));
    emit time->editingFinished();
    EXPECT_EQ(eventFromData(stored(window, 0, 0))->Time, clockTime(21, 15));
    EXPECT_TRUE(window->isDocumentEdited());
    window->clearChangeCount();
    window->close();
}

TEST(TimeOfDayEditReading, TimesTypedWhole)
{
    const std::pair<const char*, std::optional<QTime>> cases[] = {
        {"9:30 AM", QTime(9, 30)},
        {"9:30pm", QTime(21, 30)},
        {"930 p", QTime(21, 30)},
        {"12:05 AM", QTime(0, 5)},
        {"12 PM", QTime(12, 0)},
        {"21:45", QTime(21, 45)},
        {" 7.05 p.m. ", QTime(19, 5)},
        {"0:00", QTime(0, 0)},
        {"13:00 PM", std::nullopt},
        {"0:30 AM", std::nullopt},
        {"9:75", std::nullopt},
        {"24:00", std::nullopt},
        {"", std::nullopt},
        {"nine", std::nullopt},
    };
    for (const auto& [text, time] : cases)
        EXPECT_EQ(TimeOfDayEdit::timeFromText(text), time) << text;
}

TEST_F(EventEditorWindow, ATimeTypedOverTheWholeTimeReplacesIt)
{
    ModulesDocument document;
    Module module = lamp();
    module.events = {eventToData(clockEvent(EventDaysMask, 19, 5))};
    document.modules = {module};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    click(window, 1);
    auto* time = window->findChild<QTimeEdit*>("time");
    ASSERT_EQ(time->time(), QTime(19, 5));

    time->setFocus();
    time->selectAll();
    QTest::keyClicks(time, "9:30 AM");
    QTest::keyClick(time, Qt::Key_Return);
    EXPECT_EQ(time->time(), QTime(9, 30));
    EXPECT_EQ(time->text(), "9:30 AM");
    EXPECT_EQ(eventFromData(stored(window, 0, 0))->Time, clockTime(9, 30));

    // What is no time, or Escape, leaves the time as it was.
    time->selectAll();
    QTest::keyClicks(time, "9:75");
    QTest::keyClick(time, Qt::Key_Return);
    EXPECT_EQ(time->time(), QTime(9, 30));
    time->selectAll();
    QTest::keyClicks(time, "11:1");
    QTest::keyClick(time, Qt::Key_Escape);
    EXPECT_EQ(time->text(), "9:30 AM");
    EXPECT_EQ(eventFromData(stored(window, 0, 0))->Time, clockTime(9, 30));

    // A mistyped digit can be taken back.
    time->selectAll();
    QTest::keyClicks(time, "8:4");
    QTest::keyClick(time, Qt::Key_Backspace);
    QTest::keyClicks(time, "15 pm");
    QTest::keyClick(time, Qt::Key_Return);
    EXPECT_EQ(eventFromData(stored(window, 0, 0))->Time, clockTime(20, 15));
    window->clearChangeCount();
    window->close();
}

TEST_F(EventEditorWindow, TheDaysWarningShowsOnlyForAWeeklyEventWithoutDays)
{
    ModulesDocument document;
    Module module = lamp();
    module.events = {eventToData(weekly(0)), eventToData(dated(false)),
                     eventToData(weekly(EventSundayFlag)), eventToData(everyKind()[4].second)};
    document.modules = {module};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    auto* warning = window->findChild<QLabel*>("daysWarning");
    ASSERT_NE(warning, nullptr);

    // Rows: 0 Lamp, 1 weekly without days, 2 date, 3 Sundays, 4 even days.
    const std::pair<int, bool> looks[] = {{1, true},  {2, false}, {1, true},
                                          {3, false}, {1, true},  {4, false}};
    for (const auto& [row, shown] : looks) {
        click(window, row);
        EXPECT_EQ(!warning->isHidden(), shown) << "row " << row;
    }

    click(window, 1);
    const std::pair<int, bool> rules[] = {{EventRuleDate, false},
                                          {EventRuleWeekly, true},
                                          {EventRuleOddDays, false},
                                          {EventRuleWeekly, true}};
    for (const auto& [rule, shown] : rules) {
        chooseRule(window, rule);
        EXPECT_EQ(!warning->isHidden(), shown) << "rule " << rule;
    }
    window->findChild<QCheckBox*>("sundaySwitch")->click();
    EXPECT_TRUE(warning->isHidden());
    window->findChild<QCheckBox*>("sundaySwitch")->click();
    EXPECT_FALSE(warning->isHidden());
    window->clearChangeCount();
    window->close();
}

TEST_F(EventEditorWindow, TheDateRowFitsTheDrawerWithoutOverlapEvenInALargerFont)
{
    ModulesDocument document;
    Module module = lamp();
    module.events = {eventToData(dated(true))};
    document.modules = {module};
    const QFont usual = QApplication::font();
    for (const int points : {usual.pointSize(), usual.pointSize() + 4}) {
        QFont font = usual;
        font.setPointSize(points);
        QApplication::setFont(font);
        Modules* window = open(document);
        ASSERT_NE(window, nullptr);
        click(window, 1);
        auto* content = window->findChild<QWidget*>("drawerContent");
        auto* row = window->findChild<QWidget*>("dateView");
        ASSERT_TRUE(content && row && row->isVisible());
        row->layout()->activate();
        std::vector<QRect> taken;
        for (QWidget* control : row->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isHidden())
                continue;
            const QRect place(control->mapTo(content, QPoint(0, 0)), control->size());
            EXPECT_TRUE(content->rect().contains(place))
                << control->objectName().toStdString() << " at " << points << " points";
            for (const QRect& other : taken)
                EXPECT_FALSE(place.intersects(other))
                    << control->objectName().toStdString() << " at " << points << " points";
            taken.push_back(place);
        }
        window->clearChangeCount();
        window->close();
    }
    QApplication::setFont(usual);
}

TEST_F(EventEditorWindow, TabGoesRoundTheTimeTheDateAndItsRepeat)
{
    Event sunDated = dated(true);
    sunDated.Flags |= EventSunsetFlag;
    ModulesDocument document;
    Module module = lamp();
    module.events = {eventToData(dated(true)), eventToData(dated(false)), eventToData(sunDated)};
    document.modules = {module};
    Modules* window = open(document);
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto field = [window](const char* name) { return window->findChild<QWidget*>(name); };
    auto focusedField = [&]() -> std::string {
        for (const char* name : {"time", "offsetSign", "offset", "date", "repeatDays"})
            if (field(name)->hasFocus() || field(name)->isAncestorOf(QApplication::focusWidget()))
                return name;
        QWidget* other = QApplication::focusWidget();
        return other ? "elsewhere: " + other->objectName().toStdString() : "nowhere";
    };
    auto walk = [&](const char* start, Qt::KeyboardModifiers modifiers, int steps) {
        field(start)->setFocus(Qt::OtherFocusReason);
        std::vector<std::string> seen;
        for (int step = 0; step < steps; ++step) {
            // A key to the field under the cursor, as a user's Tab is; the
            // time field's own sections take a Tab each before it is left.
            const std::string from = focusedField();
            for (int press = 0; press < 4 && focusedField() == from; ++press)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
            seen.push_back(focusedField());
        }
        return seen;
    };
    using Seen = std::vector<std::string>;

    click(window, 1); // a date repeating every few days
    EXPECT_EQ(walk("date", Qt::NoModifier, 3), (Seen{"repeatDays", "time", "date"}));
    EXPECT_EQ(walk("date", Qt::ShiftModifier, 3), (Seen{"time", "repeatDays", "date"}));
    click(window, 2); // a date without repeat
    EXPECT_EQ(walk("date", Qt::NoModifier, 2), (Seen{"time", "date"}));
    click(window, 3); // at sunset on a date, repeating
    EXPECT_EQ(walk("offsetSign", Qt::NoModifier, 4),
              (Seen{"offset", "date", "repeatDays", "offsetSign"}));
    window->clearChangeCount();
    window->close();
}

} // namespace
} // namespace vantrel::test
