#pragma once

// The open documents of the application: New, Open (bringing a document
// that is already open to the front), and Quit, which asks each window
// with unsaved changes in turn before closing any.

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

namespace vantrel {

class Modules;

class DocumentManager : public QObject
{
    Q_OBJECT

  public:
    using QObject::QObject;
    ~DocumentManager() override;

    Modules* newDocument();
    // The document's window, opened or brought forward; nullptr when the file
    // could not be read (the user has been told why).
    Modules* openDocument(const QString& path, QWidget* alertParent = nullptr);
    // The same without an alert (the last document of an earlier run).
    Modules* openDocumentQuietly(const QString& path);
    void openDocumentWithDialog(QWidget* parent);
    // Asks about every window with unsaved changes, then closes them all;
    // Cancel in any leaves every window open. Returns whether all closed.
    bool closeAll();
    void quit();

    QList<Modules*> documents() const;
    Modules* documentForPath(const QString& path) const;
    Modules* documentWithDragId(quint64 id) const;
    void documentClosed(Modules* document);

    // The document window in front, else any; nullptr when none is open.
    Modules* frontDocument() const;

    // How far each new window steps down and right from the one opened last.
    static QPoint cascadeOffset() { return {22, 22}; }

  signals:
    // A document window was made (before it is shown): the application adds
    // its own menus here.
    void documentOpened(vantrel::Modules* document);
    void lastDocumentClosed();

  private:
    Modules* open(const QString& path, QWidget* alertParent, bool quiet);
    // Places a new window so that it does not cover the last one exactly.
    void cascade(Modules* window) const;

    QList<QPointer<Modules>> m_documents;
    int m_untitledCount = 0;
};

} // namespace vantrel
