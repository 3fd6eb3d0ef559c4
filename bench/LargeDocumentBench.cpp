// Times what must grow with the size of a document and no faster: opening
// a document of 1,000, 10,000 and 100,000 modules to its first paint, Select
// All, Copy and a paste of everything into the same document; and reading a
// dictionary of 200,000 keys written in descending order. Each step is timed
// to the end of the repaint it causes. Runs offscreen unless told otherwise.
//
//   vantrel-large-document-bench [largest module count, default 100000]

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using namespace vantrel;

// Every third module expanded with two events: the outline has both levels
// and the selection after Select All runs to one range per module.
ModulesDocument documentOf(int count)
{
    ModulesDocument document;
    document.modules.reserve(static_cast<std::size_t>(count));
    Event on = defaultEventNow();
    on.Time = TimeOfDayBase + 7 * 3600;
    on.Flags = static_cast<std::uint16_t>(DefaultEventFlags | EventOnFlag);
    Event off = on;
    off.Time = TimeOfDayBase + 23 * 3600;
    off.Flags = DefaultEventFlags;
    for (int m = 0; m < count; ++m) {
        Module module;
        module.name = "Module " + std::to_string(m);
        module.houseCode = m % 16;
        module.unit = m % 16 + 1;
        module.type = m % 2;
        if (m % 3 == 0) {
            module.expanded = true;
            module.events = {eventToData(on), eventToData(off)};
        }
        document.modules.push_back(std::move(module));
    }
    return document;
}

void repaint(Modules* window)
{
    QApplication::processEvents();
    window->outline()->viewport()->repaint();
}

double timed(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

bool runDocument(const QString& folder, int count)
{
    const QString path = folder + QStringLiteral("/Modules %1.vantrel").arg(count);
    std::string error;
    const ModulesDocument document = documentOf(count);
    if (!writeModulesFile(path.toStdString(), document, &error)) {
        std::fprintf(stderr, "vantrel-large-document-bench: %s\n", error.c_str());
        return false;
    }
    const auto bytes = QFileInfo(path).size();

    DocumentManager documents;
    Modules* window = nullptr;
    const double open = timed([&] {
        window = documents.openDocument(path);
        if (window)
            repaint(window);
    });
    if (!window)
        return false;
    const int rows = window->model()->rowMap().rowCount();
    const double selectAll = timed([&] {
        window->selectAll();
        repaint(window);
    });
    const std::size_t selected = window->selectedRows().size();
    const double copy = timed([&] { window->copy(); });
    const double paste = timed([&] {
        // Paste takes one selected row at most; with none it adds at the end.
        window->deselectAll();
        window->paste();
        repaint(window);
    });
    const std::size_t after = window->document().modules.size();
    std::printf("%7d modules %7d rows %6.1f MB   open %7.2f s   select all %6.2f s   "
                "copy %6.2f s   paste %6.2f s   total %7.2f s   (%zu selected, %zu after paste)\n",
                count, rows, static_cast<double>(bytes) / 1e6, open, selectAll, copy, paste,
                open + selectAll + copy + paste, selected, after);
    std::fflush(stdout);
    window->clearChangeCount();
    window->close();
    QApplication::processEvents();
    return selected == static_cast<std::size_t>(rows) && after == 2 * document.modules.size();
}

void runDescendingDictionary(int keys)
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    char line[96];
    for (int key = keys; key-- > 0;) {
        std::snprintf(line, sizeof line, "\t<key>key %07d</key>\n\t<integer>%d</integer>\n", key,
                      key);
        xml += line;
    }
    xml += "</dict>\n</plist>\n";
    PropertyValue value;
    std::string error;
    const double read = timed([&] { propertyListFromXml(xml, &value, &error); });
    const PropertyDictionary* dictionary = value.asDictionary();
    std::printf("%d-key dictionary, keys descending, %.1f MB: read %.2f s (%zu keys read)\n", keys,
                static_cast<double>(xml.size()) / 1e6, read,
                dictionary ? dictionary->size() : std::size_t(0));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int largest = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir home;
    // Keep the user's own window state out of the figures and untouched.
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    QApplication application(argc, argv);

    runDescendingDictionary(200000);
    bool allRight = true;
    for (int count = 1000; count <= largest; count *= 10)
        allRight = runDocument(home.path(), count) && allRight;
    return allRight ? 0 : 1;
}
