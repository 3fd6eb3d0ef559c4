// The drag data another window reads back: any bytes under the modules or
// events drag type, read against a source document of a shape the first
// byte picks. What is read must name only the source's modules and events,
// each once, and write back to a list that reads the same.

#include "editor/core/DragData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

namespace {

using namespace vantrel;

// Up to four modules of up to three events each, from the byte's bits.
ModuleList sourceFor(std::uint8_t shape)
{
    ModuleList modules((shape & 3u) + 1u);
    for (std::size_t i = 0; i < modules.size(); ++i)
        modules[i].events.resize((shape >> (2 * (i % 3) + 2)) & 3u);
    return modules;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const ModuleList source = sourceFor(data[0]);
    const std::string_view xml(reinterpret_cast<const char*>(data + 1), size - 1);

    if (const auto modules = readModuleDragList(xml, source)) {
        check(!modules->empty());
        std::set<std::size_t> seen;
        std::vector<OutlineRow> rows;
        for (std::size_t module : *modules) {
            check(module < source.size());
            check(seen.insert(module).second);
            rows.push_back({module, -1});
        }
        check(readModuleDragList(dragListXml(rows), source) == modules);
    }
    if (const auto events = readEventDragList(xml, source)) {
        check(!events->empty());
        std::set<std::pair<std::size_t, int>> seen;
        for (const OutlineRow& event : *events) {
            check(event.module < source.size() && event.event >= 0 &&
                  static_cast<std::size_t>(event.event) < source[event.module].events.size());
            check(seen.insert({event.module, event.event}).second);
        }
        check(readEventDragList(dragListXml(*events), source) == events);
        // Moving them into every module keeps the block within its events.
        for (std::size_t target = 0; target < source.size(); ++target) {
            const std::size_t count = source[target].events.size();
            for (bool same : {false, true}) {
                const EventMovePlan plan = eventMovePlan(*events, same, target, count, count);
                check(plan.removal.size() == events->size());
                check(plan.position <= count);
            }
        }
    }
    return 0;
}
