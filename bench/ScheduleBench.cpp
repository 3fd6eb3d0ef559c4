// The work that grows with a schedule: compiling it into timer events, and
// opening and saving its document. Each runs from 10 to 1,000 modules of 10
// events each, and reports its cost per module together with the fitted
// growth (O(N) expected).
//
//   vantrel-schedule-bench [--benchmark_filter=REGEX] [other Google Benchmark flags]

#include "cp290/Download.h"
#include "cp290/Driver.h"
#include "platform/PropertyList.h"
#include "schedule/ModulesDocument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

using namespace vantrel;

constexpr int EventsPerModule = 10;
constexpr int SmallestDocument = 10;
constexpr int LargestDocument = 1000;

// Most modules share twelve house codes and the same ten switching minutes,
// so their events merge into 120 entries. Every 50th module is on one of the
// four other house codes: the first few of its events fill the table to 128,
// the rest find it full.
Module benchModule(int index)
{
    Module module;
    module.name = "Module " + std::to_string(index + 1);
    module.houseCode = index % 50 == 49 ? 12 + (index / 50) % 4 : index % 12;
    module.unit = index / 12 % 16 + 1;
    module.type = LightType;
    module.expanded = index % 2 == 0;
    for (int e = 0; e < EventsPerModule; ++e) {
        Event event;
        event.Flags = static_cast<std::uint16_t>(EventDaysMask | EventClockTimeFlag |
                                                 (e % 2 == 0 ? EventOnFlag : 0));
        event.Time = TimeOfDayBase + static_cast<std::uint32_t>((6 + e) * 3600 + 30 * 60);
        module.events.push_back(eventToData(event));
    }
    return module;
}

ModulesDocument benchDocument(int moduleCount)
{
    ModulesDocument document;
    for (int i = 0; i < moduleCount; ++i)
        document.modules.push_back(benchModule(i));
    document.eventRepeat = ClassicEventRepeat{1, 1};
    document.selectedRows = {3, 1};
    return document;
}

// A scratch folder, removed at exit.
class ScratchFolder
{
  public:
    ScratchFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrel-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string file(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

ScratchFolder& scratch()
{
    static ScratchFolder folder;
    return folder;
}

void setModuleCounters(benchmark::State& state)
{
    state.SetComplexityN(state.range(0));
    state.counters["per_module"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The reference times and today's sun times, once per download.
void BM_DownloadStart(benchmark::State& state)
{
    for (auto _ : state) {
        CP290DoSendEventStart();
        benchmark::DoNotOptimize(TodaySecs);
    }
}

// Every event of every module through CP290DoSendEvent, as a download walks
// them (last module first), carrying on past a full table so that each size
// does all its work. The reference times are taken once (BM_DownloadStart
// measures that); each round starts from an empty table.
void BM_CompileSchedule(benchmark::State& state)
{
    const ModulesDocument document = benchDocument(static_cast<int>(state.range(0)));
    CP290Verbose = false;
    CP290DoSendEventStart();
    long refused = 0;
    for (auto _ : state) {
        NumEvents = 0;
        refused = 0;
        for (auto module = document.modules.rbegin(); module != document.modules.rend(); ++module)
            for (auto item = module->events.rbegin(); item != module->events.rend(); ++item)
                if (const auto event = eventFromData(*item))
                    if (!CP290DoSendEvent(module->houseCode, module->unit, *event,
                                          document.eventRepeat))
                        ++refused;
        benchmark::DoNotOptimize(NumEvents);
    }
    setModuleCounters(state);
    state.counters["entries"] = NumEvents;
    state.counters["refused"] = static_cast<double>(refused);
}

// The same schedule through compileSchedule, the path every program takes:
// a walk that stops at the first refusal (the 129th entry), so the larger
// sizes stop early, as a real download does.
void BM_CompileSchedulePure(benchmark::State& state)
{
    const ModulesDocument document = benchDocument(static_cast<int>(state.range(0)));
    const CompileMoment moment = compileMomentAt(GetDateTime());
    const SunTimes sun{timeOfDay(6 * 3600), timeOfDay(18 * 3600)};
    std::size_t entries = 0;
    for (auto _ : state) {
        const CompiledSchedule compiled =
            compileSchedule(document.modules, document.eventRepeat, moment, sun);
        entries = compiled.entries.size();
        benchmark::DoNotOptimize(entries);
    }
    setModuleCounters(state);
    state.counters["entries"] = static_cast<double>(entries);
}

void BM_OpenDocument(benchmark::State& state)
{
    const std::string path = scratch().file("open-" + std::to_string(state.range(0)) + ".cp290");
    std::string error;
    if (!writeModulesFile(path, benchDocument(static_cast<int>(state.range(0))), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        ModulesDocument document;
        if (!readModulesFile(path, &document, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(document.modules.data());
    }
    setModuleCounters(state);
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// The save without the file: the document as XML text.
void BM_DocumentToXml(benchmark::State& state)
{
    const ModulesDocument document = benchDocument(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string xml = propertyListToXml(documentToPropertyList(document));
        benchmark::DoNotOptimize(xml.data());
    }
    setModuleCounters(state);
}

// The whole save: XML, temporary file, fsync, rename.
void BM_SaveDocument(benchmark::State& state)
{
    const ModulesDocument document = benchDocument(static_cast<int>(state.range(0)));
    const std::string path = scratch().file("save-" + std::to_string(state.range(0)) + ".cp290");
    std::string error;
    for (auto _ : state) {
        if (!writeModulesFile(path, document, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    setModuleCounters(state);
}

BENCHMARK(BM_DownloadStart);
BENCHMARK(BM_CompileSchedule)
    ->RangeMultiplier(10)
    ->Range(SmallestDocument, LargestDocument)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_CompileSchedulePure)
    ->RangeMultiplier(10)
    ->Range(SmallestDocument, LargestDocument)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_OpenDocument)
    ->RangeMultiplier(10)
    ->Range(SmallestDocument, LargestDocument)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_DocumentToXml)
    ->RangeMultiplier(10)
    ->Range(SmallestDocument, LargestDocument)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_SaveDocument)
    ->RangeMultiplier(10)
    ->Range(SmallestDocument, LargestDocument)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
