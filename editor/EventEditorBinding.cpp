#include "editor/EventEditorBinding.h"

#include "editor/Modules.h"

#include "editor/DocumentUndo.h"
#include "editor/EventEditor.h"
#include "editor/ModulesOutlineModel.h"
#include "schedule/ModulesDocument.h"

#include <QStackedWidget>

#include <optional>

namespace vantrel {

const EventData* EventEditorBinding::currentEventData() const
{
    if (m_window.m_currentModuleIndex < 0 || m_window.m_currentEventIndex < 0)
        return nullptr;
    const auto module = static_cast<std::size_t>(m_window.m_currentModuleIndex);
    const auto index = static_cast<std::size_t>(m_window.m_currentEventIndex);
    const ModuleList& modules = m_window.m_document.modules;
    if (module >= modules.size() || index >= modules[module].events.size())
        return nullptr;
    return &modules[module].events[index];
}

void EventEditorBinding::saveEventData()
{
    // Only while the editor shows the current event.
    const EventData* stored = currentEventData();
    if (!stored || m_window.m_drawerContent->currentWidget() != m_window.eventView)
        return;
    // A record the editor could not load is not what it shows: it is never
    // written over with another event's values.
    const std::optional<Event> loaded = eventFromData(*stored);
    if (!loaded)
        return;
    const Event edited = m_window.m_eventEditor->read();
    // The editor reads back the stored record, or what it made of it, until
    // the user changes something.
    if (*loaded == edited)
        return;
    if (m_shown.module == m_window.m_currentModuleIndex &&
        m_shown.event == m_window.m_currentEventIndex && m_shown.stored == *stored &&
        m_shown.readBack == edited)
        return;
    const UndoStep step(m_window, Modules::tr("Event Change"), UndoMerge::SameEvent);
    setCurrentEvent(edited);
    m_window.updateChangeCount();
}

void EventEditorBinding::setCurrentEvent(const Event& event)
{
    const auto module = static_cast<std::size_t>(m_window.m_currentModuleIndex);
    const auto index = static_cast<std::size_t>(m_window.m_currentEventIndex);
    m_window.m_model->replaceEvent(module, index, eventToData(event));
    // The editor fills a day rule's panel from the event as last saved.
    m_window.m_eventEditor->setSavedEvent(event);
    m_window.m_eventEditor->checkDaysWarning(event);
}

void EventEditorBinding::loadEventData()
{
    const EventData* stored = currentEventData();
    if (!stored)
        return;
    if (const auto event = eventFromData(*stored)) {
        m_window.m_eventEditor->load(
            *event,
            m_window.m_document.modules[static_cast<std::size_t>(m_window.m_currentModuleIndex)]);
        m_shown = Shown{m_window.m_currentModuleIndex, m_window.m_currentEventIndex, *stored,
                        m_window.m_eventEditor->read()};
    }
}

void EventEditorBinding::resetEvent()
{
    const UndoStep step(m_window, Modules::tr("Reset"));
    const EventData* stored = currentEventData();
    if (!stored)
        return;
    // Resetting the default event is no change.
    const bool changes = *stored != eventToData(m_window.m_defaultEvent);
    setCurrentEvent(m_window.m_defaultEvent);
    loadEventData();
    if (changes)
        m_window.updateChangeCount();
}

void EventEditorBinding::moduleCellCommitted(std::size_t module, bool needsModuleChanged)
{
    const UndoStep step(m_window, Modules::tr("Typing"));
    if (needsModuleChanged) {
        // The cell committed is the one the module's data follows, whichever
        // row the selection shows.
        m_window.m_model->applyModuleChanged(module);
        m_window.moduleChanged();
    }
    m_window.updateChangeCount();
}

void EventEditorBinding::eventTextCommitted(std::size_t, std::size_t)
{
    const UndoStep step(m_window, Modules::tr("Typing"));
    loadEventData();
    m_window.updateChangeCount();
}

} // namespace vantrel
