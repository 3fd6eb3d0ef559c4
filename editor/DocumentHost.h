#pragma once

// What a document window needs from the application to talk to the CP290:
// the serial-device check and the status sheet. The application's controller
// installs itself; without it the window cannot send.

#include <QString>

namespace vantrel {

class DocumentHost
{
  public:
    virtual ~DocumentHost() = default;
    // Tells the user itself when there is no usable device.
    virtual bool serialDeviceIsWritable() = 0;
    virtual void statusStartWithMessage(const QString& message) = 0;
    virtual void statusEnd() = 0;
    // An exchange is under way (its status sheet is up).
    virtual bool isBusy() const = 0;
};

DocumentHost* documentHost();
void setDocumentHost(DocumentHost* host);

} // namespace vantrel
