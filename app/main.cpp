// vantrel [FILE...]: opens the given documents, or a new one.

#include "app/ApplicationInstance.h"
#include "app/Controller.h"
#include "editor/DocumentManager.h"
#include "editor/FileNames.h"
#include "platform/Preferences.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <vector>

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The installed theme's icon when there is one, else the copy built in (a
// program run from its build folder has no installed icon).
QIcon applicationIcon()
{
    QIcon builtIn;
    for (int size : {16, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("net.vantrel.Vantrel"), builtIn);
}

void describe(QCoreApplication& application)
{
    application.setApplicationName("vantrel");
    application.setApplicationVersion(VANTREL_VERSION);
}

// The positional arguments with the bytes the shell gave: the parser's
// copies lose those of a name that is not UTF-8. Each is found among the
// arguments by its lossy form, in order.
QStringList fileArguments(const QStringList& positional, const std::vector<QByteArray>& raw)
{
    QStringList files;
    std::size_t next = 1;
    for (const QString& argument : positional) {
        std::size_t at = next;
        while (at < raw.size() && QString::fromLocal8Bit(raw[at]) != argument)
            ++at;
        if (at == raw.size()) {
            files.append(argument);
            continue;
        }
        files.append(vantrel::fileNameFromBytes(raw[at]));
        next = at + 1;
    }
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList files;
    // Copied first: the application objects may take their own options out.
    const std::vector<QByteArray> rawArguments(argv, argv + argc);
    vantrel::ApplicationInstance instance;
    {
        // The options first, so that --help and --version work without a display.
        QCoreApplication options(argc, argv);
        describe(options);
        QCommandLineParser parser;
        parser.setApplicationDescription(QCoreApplication::translate(
            "main", "Schedules the lamps and appliances of an X10 CP290 interface."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument(
            "FILE", QCoreApplication::translate("main", "Documents to open."), "[FILE...]");
        parser.process(options);
        files = fileArguments(parser.positionalArguments(), rawArguments);
        if (!instance.becomeFirst()) {
            // What the desktop's double-click on a document does: the running
            // copy opens it.
            if (vantrel::ApplicationInstance::handOver(files))
                return 0;
            std::fprintf(stderr, "vantrel: another copy is running but does not answer\n");
            return 1;
        }
    }
    if (!hasDisplay()) {
        std::fprintf(stderr, "vantrel: no display to open a window on (DISPLAY and "
                             "WAYLAND_DISPLAY are not set)\n");
        return 1;
    }

    QApplication application(argc, argv);
    describe(application);
    QApplication::setApplicationDisplayName("Vantrel");
    QApplication::setDesktopFileName("net.vantrel.Vantrel");
    QApplication::setWindowIcon(applicationIcon());

    vantrel::installLocationPreferences();
    vantrel::Controller::showPreferencesWarningsInWindows();
    vantrel::DocumentManager documents;
    vantrel::Controller controller(&documents);
    instance.listen(&documents);
    controller.awakeFromNib();
    int opened = 0;
    for (const QString& path : files)
        opened += documents.openDocument(path) ? 1 : 0;
    if (opened == 0)
        controller.applicationOpenUntitledFile();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &vantrel::Controller::applicationWillTerminate);
    return QApplication::exec();
}
