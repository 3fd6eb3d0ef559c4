// The clipboard on anything another program may put there: the bytes under
// the modules type, under the events type or under both, pasted into a
// document window as Paste does, with nothing, a module or an event
// selected. The first byte picks the types and the selection; the rest is
// the clipboard's data. What the paste leaves must be the document before
// it with exactly the pasted modules or events added, and an outline that
// shows every row of it.

#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "editor/PasteboardTypes.h"
#include "editor/core/OutlineRows.h"
#include "schedule/ModulesDocument.h"

#include <QApplication>
#include <QByteArray>
#include <QClipboard>
#include <QMimeData>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace vantrel;

QApplication* application = nullptr;
Modules* window = nullptr;

// Two modules, the first expanded with two events: rows 0 to 3.
ModuleList startingModules()
{
    Module porch;
    porch.name = "Porch";
    porch.expanded = true;
    porch.events = {EventData{}, EventData{}};
    Module hall;
    hall.name = "Hall";
    hall.unit = 2;
    return {porch, hall};
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Window state goes to a folder of our own, not the user's preferences.
    std::string folder = "/tmp/vantrel-fuzz-XXXXXX";
    if (!mkdtemp(folder.data()))
        std::abort();
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    application = new QApplication(*argc, *argv);
    window = new Modules(new DocumentManager, ModulesDocument{}, QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int types = data[0] % 3;           // modules, events, both
    const int selection = (data[0] / 3) % 3; // nothing, module 1, its first event
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));

    window->model()->replaceAll(startingModules());
    window->reloadAndFixExpanded();
    if (selection == 0)
        window->deselectAll();
    else
        window->selectRow(selection == 1 ? 0 : 1, false);

    auto* mime = new QMimeData;
    if (types != 1)
        mime->setData(mimeTypeForPasteboardType(ModulesPasteboardType), bytes);
    if (types != 0)
        mime->setData(mimeTypeForPasteboardType(EventsPasteboardType), bytes);
    QApplication::clipboard()->setMimeData(mime);

    const auto items = readPastedItems(QApplication::clipboard()->mimeData());
    const ModuleList before = window->document().modules;
    window->paste();
    const ModuleList& after = window->document().modules;

    if (items && items->isModules && after.size() != before.size()) {
        // Modules go in as a block, in the order the clipboard lists them
        // bottom to top; with nothing selected, at the end.
        check(after.size() == before.size() + items->modules.size());
        if (selection == 0)
            for (std::size_t i = 0; i < items->modules.size(); ++i)
                check(after[before.size() + i] == items->modules[items->modules.size() - 1 - i]);
    } else if (items && !items->isModules && selection != 0) {
        check(after.size() == before.size());
        check(after[0].events.size() == before[0].events.size() + items->events.size());
    } else {
        check(after == before);
    }
    for (const Module& module : after)
        check(module.name.size() <= 4 * static_cast<std::size_t>(MaxModuleNameCharacters));
    // The outline shows every row of what is there now.
    check(window->model()->rowMap().rowCount() == OutlineRowMap(after).rowCount());
    return 0;
}
