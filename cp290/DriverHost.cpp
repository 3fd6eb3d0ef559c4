#include "cp290/DriverHost.h"

#include <cstdio>

namespace vantrel {

namespace {

SilentDriverHost silentHost;
DriverHost* currentHost = &silentHost;

} // namespace

void ConsoleDriverHost::showAlert(const std::string& title, const std::string& message)
{
    // One write per alert, so the line is never split by other output.
    const std::string line = message.empty() ? title + "\n" : title + ": " + message + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

DriverHost& driverHost()
{
    return *currentHost;
}

void setDriverHost(DriverHost* host)
{
    currentHost = host ? host : &silentHost;
}

} // namespace vantrel
