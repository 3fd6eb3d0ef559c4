#pragma once

// Sending a document window's schedule to the CP290, the repeat-count sheet,
// and switching the selected modules now (direct switching).

namespace vantrel {

struct DownloadReport;
class Modules;

class ScheduleSending
{
  public:
    explicit ScheduleSending(Modules& window) : m_window(window) {}

    void sendEventsToCP290();
    void tellHowTheSendWent(const DownloadReport& report);
    void performEvents();
    void onOff(int function);
    void moduleChanged();

  private:
    // How long "Sent and verified" stays in the status bar.
    static constexpr int SentMessageMilliseconds = 20000;

    Modules& m_window;
};

} // namespace vantrel
