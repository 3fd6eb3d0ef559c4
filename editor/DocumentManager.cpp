#include "editor/DocumentManager.h"

#include "editor/Dialogs.h"
#include "editor/FileNames.h"
#include "editor/Modules.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>

namespace vantrel {
namespace {

QString canonicalPath(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

DocumentManager::~DocumentManager() = default;

Modules* DocumentManager::newDocument()
{
    ++m_untitledCount;
    const QString name =
        m_untitledCount == 1 ? tr("Untitled") : tr("Untitled %1").arg(m_untitledCount);
    auto* document = new Modules(this, ModulesDocument{}, QString(), name);
    cascade(document);
    m_documents.append(document);
    emit documentOpened(document);
    document->show();
    return document;
}

Modules* DocumentManager::openDocument(const QString& path, QWidget* alertParent)
{
    return open(path, alertParent, false);
}

Modules* DocumentManager::openDocumentQuietly(const QString& path)
{
    return open(path, nullptr, true);
}

Modules* DocumentManager::open(const QString& path, QWidget* alertParent, bool quiet)
{
    if (Modules* open = documentForPath(path)) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    ModulesDocument document;
    document.eventRepeat = {0, 0};
    std::string reason;
    std::size_t shortened = 0;
    if (!readModulesFile(nativePath(path), &document, &reason, &shortened)) {
        if (quiet)
            return nullptr;
        dialogs().alert(alertParent,
                        tr("The document “%1” could not be opened.")
                            .arg(readableFileName(QFileInfo(path).fileName())),
                        QString::fromStdString(reason));
        return nullptr;
    }
    auto* window = new Modules(this, std::move(document), QFileInfo(path).absoluteFilePath());
    cascade(window);
    m_documents.append(window);
    emit documentOpened(window);
    window->show();
    if (shortened > 0) {
        // Saving would keep the cut; the window says there is a change to save.
        window->updateChangeCount();
        if (!quiet)
            dialogs().alert(window,
                            tr("A description in the document “%1” is longer than %2 characters.")
                                .arg(QFileInfo(path).fileName())
                                .arg(MaxModuleNameCharacters),
                            tr("Descriptions longer than that were shortened to their first %1 "
                               "characters.")
                                .arg(MaxModuleNameCharacters));
    }
    return window;
}

void DocumentManager::openDocumentWithDialog(QWidget* parent)
{
    const QString path = dialogs().openFileName(parent);
    if (!path.isEmpty())
        openDocument(path, parent);
}

bool DocumentManager::closeAll()
{
    // Every changed window is asked about before any closes, so that Cancel
    // in one leaves all of them open.
    const QList<Modules*> open = documents();
    for (Modules* document : open) {
        if (!document->confirmClose())
            return false;
    }
    for (Modules* document : open) {
        if (!document->closeConfirmed())
            return false;
    }
    return true;
}

void DocumentManager::quit()
{
    if (closeAll())
        QApplication::quit();
}

void DocumentManager::cascade(Modules* window) const
{
    // Every window restores the same stored frame: step each new one off
    // the one opened last, and start again at the top left past the screen.
    const QList<Modules*> open = documents();
    const Modules* previous = open.isEmpty() ? nullptr : open.constLast();
    if (!previous || !previous->isVisible())
        return;
    // Placed by its inner geometry: a window not yet shown has no frame.
    const QRect frame = previous->frameGeometry();
    const QPoint inset = previous->geometry().topLeft() - frame.topLeft();
    QRect placed(frame.topLeft() + cascadeOffset(),
                 window->size() + (frame.size() - previous->size()));
    if (const QScreen* screen = previous->screen()) {
        const QRect available = screen->availableGeometry();
        if (!available.contains(placed))
            placed.moveTopLeft(available.topLeft());
    }
    window->setGeometry(QRect(placed.topLeft() + inset, window->size()));
}

QList<Modules*> DocumentManager::documents() const
{
    QList<Modules*> open;
    for (const auto& document : m_documents)
        if (document)
            open.append(document);
    return open;
}

Modules* DocumentManager::frontDocument() const
{
    const QList<Modules*> open = documents();
    for (Modules* document : open)
        if (document->isActiveWindow())
            return document;
    return open.isEmpty() ? nullptr : open.constLast();
}

Modules* DocumentManager::documentWithDragId(quint64 id) const
{
    for (Modules* document : documents())
        if (document->dragId() == id)
            return document;
    return nullptr;
}

Modules* DocumentManager::documentForPath(const QString& path) const
{
    const QString wanted = canonicalPath(path);
    for (Modules* document : documents())
        if (!document->filePath().isEmpty() && canonicalPath(document->filePath()) == wanted)
            return document;
    return nullptr;
}

void DocumentManager::documentClosed(Modules* document)
{
    m_documents.removeAll(document);
    m_documents.removeAll(nullptr);
    if (m_documents.isEmpty())
        emit lastDocumentClosed();
}

} // namespace vantrel
