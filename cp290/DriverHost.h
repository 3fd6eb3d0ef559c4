#pragma once

// What the driver needs from the program it runs in: close the status
// sheet, show an alert, and move the progress bar. The application shows
// them in its window; the helper shows nothing; vantrelctl prints alerts to
// standard error.

#include <string>

namespace vantrel {

class DriverHost
{
public:
    virtual ~DriverHost() = default;
    virtual void statusEnd() = 0;
    // An alert with a title, one "OK" button and a message.
    virtual void showAlert(const std::string& title, const std::string& message) = 0;
    // Advance the progress bar by amount and redraw it.
    virtual void incrementProgress(double amount) = 0;
};

// Shows nothing (the helper program).
class SilentDriverHost : public DriverHost
{
public:
    void statusEnd() override {}
    void showAlert(const std::string&, const std::string&) override {}
    void incrementProgress(double) override {}
};

// Prints alerts to standard error (vantrelctl).
class ConsoleDriverHost : public DriverHost
{
public:
    void statusEnd() override {}
    void showAlert(const std::string& title, const std::string& message) override;
    void incrementProgress(double) override {}
};

// The host in force; a silent one until a program installs its own.
DriverHost& driverHost();
void setDriverHost(DriverHost* host);

} // namespace vantrel
