#pragma once

// The event editor in a document window's drawer bound to the current event:
// loading it into the editor, saving the editor's controls back, resetting it.

namespace vantrel {

struct Event;
class Modules;

class EventEditorBinding
{
  public:
    explicit EventEditorBinding(Modules& window) : m_window(window) {}

    void saveEventData();
    void setCurrentEvent(const Event& event);
    void loadEventData();
    void resetEvent();

  private:
    Modules& m_window;
};

} // namespace vantrel
