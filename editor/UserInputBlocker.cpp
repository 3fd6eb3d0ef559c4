#include "editor/UserInputBlocker.h"

#include <QCoreApplication>
#include <QEvent>

namespace vantrel {
namespace {

int& activeBlockers()
{
    static int count = 0;
    return count;
}

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

} // namespace

UserInputBlocker::UserInputBlocker()
{
    ++activeBlockers();
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

UserInputBlocker::~UserInputBlocker()
{
    --activeBlockers();
}

bool UserInputBlocker::isBlocking()
{
    return activeBlockers() > 0;
}

bool UserInputBlocker::eventFilter(QObject* watched, QEvent* event)
{
    if (isUserInput(event->type())) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantrel
