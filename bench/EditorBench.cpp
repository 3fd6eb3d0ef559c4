// Times the document window on a large schedule: 1,000 modules with 10
// events each, all expanded. Prints the time from opening the file to the
// first painted window, and for each command the time from the command to
// the end of the repaint it causes. Runs offscreen unless told otherwise.

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/RkNSOutlineView.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace vantrel;

ModulesDocument largeDocument()
{
    ModulesDocument document;
    for (int m = 0; m < 1000; ++m) {
        Module module;
        module.name = "Module " + std::to_string(m);
        module.houseCode = m % 8; // events merge into 80 CP290 events: the count walks them all
        module.unit = m % 16 + 1;
        module.type = m % 2;
        module.expanded = true;
        for (int e = 0; e < 10; ++e) {
            Event event = defaultEventNow();
            event.Flags = static_cast<std::uint16_t>(DefaultEventFlags | (e % 2 ? EventOnFlag : 0));
            event.Time = TimeOfDayBase + static_cast<std::uint32_t>((e * 2 + 5) * 3600);
            module.events.push_back(eventToData(event));
        }
        document.modules.push_back(module);
    }
    return document;
}

// Paints the outline now, as the next pass of the event loop would.
void repaint(Modules* window)
{
    QApplication::processEvents();
    window->outline()->viewport()->repaint();
}

void report(const char* name, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    std::printf("%-34s median %7.2f ms   min %7.2f ms   max %7.2f ms   (%zu runs)\n", name,
                samples[samples.size() / 2], samples.front(), samples.back(), samples.size());
}

std::vector<double> timeCommand(Modules* window, int runs, const std::function<void()>& setUp,
                                const std::function<void()>& command)
{
    std::vector<double> samples;
    for (int run = 0; run < runs; ++run) {
        setUp();
        repaint(window);
        QElapsedTimer timer;
        timer.start();
        command();
        repaint(window);
        samples.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    // Keep the user's own window state out of the figures and untouched.
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    QApplication application(argc, argv);

    const QString path = home.path() + "/Large.vantrel";
    std::string error;
    if (!writeModulesFile(path.toStdString(), largeDocument(), &error)) {
        std::fprintf(stderr, "vantrel-editor-bench: %s\n", error.c_str());
        return 1;
    }

    DocumentManager documents;
    std::vector<double> opening;
    Modules* window = nullptr;
    for (int run = 0; run < 5; ++run) {
        if (window)
            window->close();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        window = documents.openDocument(path);
        if (!window)
            return 1;
        repaint(window);
        opening.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    report("open file to first paint", opening);

    const int runs = 25;
    ModulesOutlineModel* model = window->model();
    auto lastModuleRow = [&] {
        return model->rowMap().rowForModule(window->document().modules.size() - 1);
    };
    report("New Event at the end",
           timeCommand(
               window, runs, [&] { window->selectRow(lastModuleRow(), false); },
               [&] { window->newEvent(); }));
    report("Delete of one event",
           timeCommand(
               window, runs, [&] { window->selectRow(lastModuleRow() + 1, false); },
               [&] { window->deleteRows(); }));
    report("committing a typed line",
           timeCommand(
               window, runs, [] {},
               [&] { model->setData(model->eventIndex(500, 0), "Turn On @ 7:15 PM On .MTWTF."); }));
    report("Collapse All",
           timeCommand(
               window, runs, [&] { window->expandAll(); }, [&] { window->collapseAll(); }));
    report("Expand All",
           timeCommand(
               window, runs, [&] { window->collapseAll(); }, [&] { window->expandAll(); }));
    std::vector<double> counting;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const QString text = window->scheduleCountText();
        counting.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (run == 0)
            std::printf("(%s)\n", qPrintable(text));
    }
    report("count of today's CP290 events", counting);
    window->clearChangeCount();
    window->close();
    return 0;
}
