// vantrel [FILE...]: opens the given documents, or a new one.

#include "editor/DocumentManager.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vantrel");
    QApplication::setApplicationVersion(VANTREL_VERSION);
    QApplication::setDesktopFileName("net.vantrel.Vantrel");

    QCommandLineParser parser;
    parser.setApplicationDescription(QApplication::translate(
        "main", "Schedules the lamps and appliances of a CP290 interface."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("FILE", QApplication::translate("main", "Documents to open."),
                                 "[FILE...]");
    parser.process(application);

    vantrel::DocumentManager documents;
    int opened = 0;
    for (const QString& path : parser.positionalArguments())
        opened += documents.openDocument(path) ? 1 : 0;
    if (opened == 0)
        documents.newDocument();
    return QApplication::exec();
}
