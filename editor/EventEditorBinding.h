#pragma once

// The event editor in a document window's drawer bound to the current event:
// loading it into the editor, saving the editor's controls back, resetting it.

#include "schedule/Event.h"

#include <cstddef>

namespace vantrel {

class Modules;

class EventEditorBinding
{
  public:
    explicit EventEditorBinding(Modules& window) : m_window(window) {}

    void saveEventData();
    void setCurrentEvent(const Event& event);
    void loadEventData();
    void resetEvent();
    // A cell of the outline was committed: the module's data and the event
    // the editor shows follow it.
    void moduleCellCommitted(std::size_t module, bool needsModuleChanged);
    void eventTextCommitted(std::size_t module, std::size_t event);

  private:
    // The stored record of the window's current event; null when there is
    // none or its indexes no longer name one.
    const EventData* currentEventData() const;

    // What the editor read back just after it showed a stored record: a
    // record it cannot show as it is (a damaged one) reads back otherwise,
    // and that is still no change of the user's.
    struct Shown
    {
        int module = -1;
        int event = -1;
        EventData stored{};
        Event readBack{};
    };
    Shown m_shown;

    Modules& m_window;
};

} // namespace vantrel
