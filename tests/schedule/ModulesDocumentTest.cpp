#include "schedule/ModulesDocument.h"

#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Paths.h"
#include "schedule/FieldFormatters.h"
#include "support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <bit>
#include <csignal>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {

Event sampleEvent()
{
    Event event;
    event.Date = 0x11223344;
    event.Time = TimeOfDayBase + 15 * 3600;
    event.Adjust = 0;
    event.Brightness = 9;
    event.Repeat = 0;
    event.Flags = 0x7F20;
    return event;
}

Event sunsetEvent()
{
    Event event;
    event.Date = 0xB5A1C280;
    event.Time = 0;
    event.Adjust = 1800;
    event.Brightness = 4;
    event.Repeat = 3;
    event.Flags =
        EventOnFlag | EventOffsetBeforeFlag | EventSunriseFlag | EventRepeatFlag | EventRuleDate;
    return event;
}

ModulesDocument sampleDocument()
{
    ModulesDocument document;
    Module porch;
    porch.name = "Porch light";
    porch.houseCode = 2;
    porch.unit = 5;
    porch.type = LightType;
    porch.expanded = true;
    porch.events = {eventToData(sampleEvent()), eventToData(sunsetEvent())};
    Module everything;
    everything.name = "Everything";
    everything.houseCode = 15;
    everything.unit = AllModulesUnit;
    everything.type = NoType;
    document.modules = {porch, everything, Module{}};
    document.eventRepeat = {3, 2};
    document.selectedRows = {4, 1};
    document.drawerOpen = true;
    return document;
}

const PropertyData& storedEventItem(const PropertyValue& file, std::size_t module,
                                    std::size_t event)
{
    const PropertyValue& modules = *file.asDictionary()->find("Modules");
    const PropertyValue& events = *(*modules.asArray())[module].asDictionary()->find("Events");
    return *(*events.asArray())[event].asData();
}

class ModulesDocumentTest : public ::testing::Test
{
  protected:
    std::string path(const std::string& name) const { return m_home.root() + "/" + name; }

    void writeText(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(writeFileAtomically(path(name), text));
    }

    test::TemporaryHome m_home;
};

TEST(ModulesDocument, NewDocumentHoldsOneNewModule)
{
    const ModulesDocument document = newModulesDocument();
    ASSERT_EQ(document.modules.size(), 1u);
    EXPECT_EQ(document.modules[0].name, "New Module");
    EXPECT_EQ(document.modules[0].houseCode, 0);
    EXPECT_EQ(document.modules[0].unit, 1);
    EXPECT_EQ(document.modules[0].type, ApplianceType);
    EXPECT_TRUE(document.modules[0].events.empty());
    EXPECT_FALSE(document.modules[0].expanded);
    EXPECT_EQ(document.eventRepeat, (ClassicEventRepeat{1, 1}));
    EXPECT_TRUE(document.selectedRows.empty());
    EXPECT_FALSE(document.drawerOpen);
}

TEST_F(ModulesDocumentTest, StoresEventFieldsMostSignificantByteFirst)
{
    std::string error;
    ASSERT_TRUE(writeModulesFile(path("doc.plist"), sampleDocument(), &error)) << error;
    PropertyValue file;
    ASSERT_TRUE(readPropertyListFile(path("doc.plist"), &file, &error)) << error;

    const PropertyData& item = storedEventItem(file, 0, 0);
    ASSERT_EQ(item.size(), EventDataSize);
    EXPECT_EQ(item[0], 0x11);
    EXPECT_EQ(item[1], 0x22);
    EXPECT_EQ(item[2], 0x33);
    EXPECT_EQ(item[3], 0x44);
    EXPECT_EQ(item[12], 0x00);
    EXPECT_EQ(item[13], 0x09);
    EXPECT_EQ(item[16], 0x7F);
    EXPECT_EQ(item[17], 0x20);
    EXPECT_EQ(item[18], 0x00);
    EXPECT_EQ(item[19], 0x00);

    const PropertyDictionary& top = *file.asDictionary();
    EXPECT_EQ(*top.find("EventRepeat")->asData(), (PropertyData{3, 2}));
    EXPECT_EQ(*top.find("DrawerOpen")->asBoolean(), true);
    EXPECT_EQ(top.find("SelectedRows")->asArray()->size(), 2u);
    EXPECT_EQ(top.size(), 4u);
}

TEST(ModulesDocument, HostOrderCopyKeepsMemoryBytes)
{
    const PropertyValue copy = modulesToPropertyList(sampleDocument().modules);
    const PropertyValue& events = *(*copy.asArray())[0].asDictionary()->find("Events");
    const PropertyData& item = *(*events.asArray())[0].asData();
    ASSERT_EQ(item.size(), EventDataSize);
    if constexpr (std::endian::native == std::endian::little) {
        EXPECT_EQ(item[16], 0x20);
        EXPECT_EQ(item[17], 0x7F);
    } else {
        EXPECT_EQ(item[16], 0x7F);
        EXPECT_EQ(item[17], 0x20);
    }
}

TEST_F(ModulesDocumentTest, ReopensWhatWasSavedAndLeavesTheListInHostOrder)
{
    const ModulesDocument original = sampleDocument();
    ModulesDocument document = original;
    std::string error;
    ASSERT_TRUE(writeModulesFile(path("doc.plist"), document, &error)) << error;
    EXPECT_EQ(document, original);
    EXPECT_EQ(eventFromData(document.modules[0].events[0]), sampleEvent());

    ModulesDocument reopened;
    reopened.eventRepeat = {0, 0};
    ASSERT_TRUE(readModulesFile(path("doc.plist"), &reopened, &error)) << error;
    EXPECT_EQ(reopened, original);
    EXPECT_EQ(eventFromData(reopened.modules[0].events[1]), sunsetEvent());
}

TEST_F(ModulesDocumentTest, SavingTwiceWritesTheSameBytes)
{
    ModulesDocument document = sampleDocument();
    std::string first;
    std::string second;
    ASSERT_TRUE(writeModulesFile(path("a.plist"), document, nullptr));
    ASSERT_TRUE(writeModulesFile(path("b.plist"), document, nullptr));
    ASSERT_TRUE(readWholeFile(path("a.plist"), &first));
    ASSERT_TRUE(readWholeFile(path("b.plist"), &second));
    EXPECT_EQ(first, second);

    // And a file opened and saved again is the file it was.
    ModulesDocument reopened;
    ASSERT_TRUE(readModulesFile(path("a.plist"), &reopened, nullptr));
    ASSERT_TRUE(writeModulesFile(path("a.plist"), reopened, nullptr));
    ASSERT_TRUE(readWholeFile(path("a.plist"), &second));
    EXPECT_EQ(first, second);
}

// Written by hand as a big-endian host writes it: keys in the writer's own
// order, tab indentation, the second item with nonzero padding.
constexpr const char* BigEndianFile = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Modules</key>
	<array>
		<dict>
			<key>#</key>
			<integer>5</integer>
			<key>C</key>
			<integer>2</integer>
			<key>Events</key>
			<array>
				<data>
				ESIzRAADdfAAAAAAAAkAAH8gAAA=
				</data>
				<data>
				taHCgAAAAAAAAAcIAAQAA4CNq80=
				</data>
			</array>
			<key>N</key>
			<string>Porch light</string>
			<key>T</key>
			<integer>1</integer>
			<key>X</key>
			<true/>
		</dict>
	</array>
	<key>EventRepeat</key>
	<data>
	AwI=
	</data>
	<key>SelectedRows</key>
	<array>
		<integer>1</integer>
	</array>
	<key>DrawerOpen</key>
	<false/>
</dict>
</plist>
)";

TEST_F(ModulesDocumentTest, OpensAFileWrittenOnABigEndianHost)
{
    writeText("big.plist", BigEndianFile);
    ModulesDocument document;
    std::string error;
    ASSERT_TRUE(readModulesFile(path("big.plist"), &document, &error)) << error;
    ASSERT_EQ(document.modules.size(), 1u);
    const Module& module = document.modules[0];
    EXPECT_EQ(module.name, "Porch light");
    EXPECT_EQ(module.houseCode, 2);
    EXPECT_EQ(module.unit, 5);
    EXPECT_EQ(module.type, LightType);
    EXPECT_TRUE(module.expanded);
    ASSERT_EQ(module.events.size(), 2u);
    EXPECT_EQ(eventFromData(module.events[0]), sampleEvent());
    EXPECT_EQ(eventFromData(module.events[1]), sunsetEvent());
    EXPECT_EQ(document.eventRepeat, (ClassicEventRepeat{3, 2}));
    EXPECT_EQ(document.selectedRows, (std::vector<std::int64_t>{1}));
    EXPECT_FALSE(document.drawerOpen);
}

TEST(ModulesDocument, NonzeroPaddingReadsLikeZeroPadding)
{
    EventData zero = eventToData(sunsetEvent());
    EventData padded = zero;
    padded[18] = 0xAB;
    padded[19] = 0xCD;
    EXPECT_EQ(eventFromData(padded), eventFromData(zero));

    // Also through the stored form, and an 18-byte item reads the same.
    for (std::size_t size : {std::size_t(18), std::size_t(19), std::size_t(20), std::size_t(24)}) {
        SCOPED_TRACE(size);
        PropertyData bytes(padded.begin(), padded.end());
        bytes.resize(size, 0xEE);
        std::vector<EventData> events;
        std::string error;
        ASSERT_TRUE(eventsFromPropertyList(PropertyArray{PropertyValue(bytes)}, &events, &error))
            << error;
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(eventFromData(events[0]), sunsetEvent());
    }
}

TEST(ModulesDocument, ConvertModulesIfIntelSwapsEveryFieldAndBack)
{
    ModuleList modules = sampleDocument().modules;
    const ModuleList original = modules;
    ConvertModulesIfIntel(modules, CFSwapInt16HostToBig, CFSwapInt32HostToBig);
    if constexpr (std::endian::native == std::endian::little) {
        const Event swapped = *eventFromData(modules[0].events[1]);
        EXPECT_EQ(swapped.Date, 0x80C2A1B5u);
        EXPECT_EQ(swapped.Adjust, byteSwap32(1800));
        EXPECT_EQ(swapped.Brightness, 0x0400);
        EXPECT_EQ(swapped.Repeat, 0x0300);
        EXPECT_EQ(swapped.Flags, byteSwap16(sunsetEvent().Flags));
    }
    EXPECT_EQ(modules[1].events.size(), 0u);
    ConvertModulesIfIntel(modules, CFSwapInt16BigToHost, CFSwapInt32BigToHost);
    EXPECT_EQ(modules, original);
}

TEST(ModulesDocument, MissingModuleKeysTakeNewModuleValuesAndUnknownKeysAreIgnored)
{
    PropertyDictionary sparse;
    sparse.set("#", 7);
    sparse.set("Colour", "green");
    Module module;
    module.name = "before";
    module.events = {eventToData(sampleEvent())};
    std::string error;
    ASSERT_TRUE(moduleFromPropertyList(sparse, &module, &error)) << error;
    Module expected;
    expected.unit = 7;
    EXPECT_EQ(module, expected);
}

TEST_F(ModulesDocumentTest, MissingEventRepeatKeepsTheCountsTheDocumentHad)
{
    PropertyValue plist = documentToPropertyList(sampleDocument());
    plist.asDictionary()->remove("EventRepeat");
    ASSERT_TRUE(writePropertyListFile(path("norepeat.plist"), plist));
    ModulesDocument document;
    document.eventRepeat = {0, 0};
    ASSERT_TRUE(readModulesFile(path("norepeat.plist"), &document, nullptr));
    EXPECT_EQ(document.eventRepeat, (ClassicEventRepeat{0, 0}));
    ModulesDocument fresh;
    ASSERT_TRUE(readModulesFile(path("norepeat.plist"), &fresh, nullptr));
    EXPECT_EQ(fresh.eventRepeat, (ClassicEventRepeat{1, 1}));
}

std::string wrapModule(const std::string& moduleBody)
{
    return "<plist version=\"1.0\"><dict><key>Modules</key><array><dict>" + moduleBody +
           "</dict></array></dict></plist>";
}

std::string wrapTop(const std::string& topBody)
{
    return "<plist version=\"1.0\"><dict><key>Modules</key><array/>" + topBody + "</dict></plist>";
}

struct DamagedCase
{
    const char* legend;
    std::string contents;
    const char* expectedError;
};

std::vector<DamagedCase> damagedCases()
{
    std::string valid = propertyListToXml(documentToPropertyList(sampleDocument()));
    std::string nested = "<plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i)
        nested += "<array>";
    return {
        {"empty file", "", "not a property list"},
        {"garbage", "This is not a schedule at all.\n", "not a property list"},
        {"binary junk", std::string("\x00\xff\x10\x80 bplist00", 14), "not a property list"},
        {"truncated XML", valid.substr(0, valid.size() / 2), "not a property list"},
        {"array at the top", "<plist version=\"1.0\"><array><integer>1</integer></array></plist>",
         "top level is a list, not a dictionary"},
        {"no module list",
         "<plist version=\"1.0\"><dict><key>DrawerOpen</key><true/></dict></plist>",
         "no \"Modules\" list"},
        {"module list is a string",
         "<plist version=\"1.0\"><dict><key>Modules</key><string>x</string></dict></plist>",
         "\"Modules\" is a string, not a list"},
        {"module is an integer",
         "<plist "
         "version=\"1.0\"><dict><key>Modules</key><array><integer>4</integer></array></dict></"
         "plist>",
         "module 1: the module is an integer, not a dictionary"},
        {"name is an integer", wrapModule("<key>N</key><integer>3</integer>"),
         "module 1: \"N\" is an integer, not a string"},
        {"house code is a string", wrapModule("<key>C</key><string>A</string>"),
         "module 1: \"C\" is a string, not an integer"},
        {"unit is a real number", wrapModule("<key>#</key><real>1.5</real>"),
         "module 1: \"#\" is a real number, not an integer"},
        {"third module's unit is a string",
         "<plist version=\"1.0\"><dict><key>Modules</key><array><dict/><dict/>"
         "<dict><key>#</key><string>4</string></dict></array></dict></plist>",
         "module 3: \"#\" is a string, not an integer"},
        {"events are data", wrapModule("<key>Events</key><data>AAAA</data>"),
         "module 1: \"Events\" is data, not a list"},
        {"event item is a string", wrapModule("<key>Events</key><array><string>x</string></array>"),
         "module 1, event 1: the event item is a string, not data"},
        {"17-byte event item",
         wrapModule("<key>Events</key><array><data>ESIzRAADdfAAAAAAAAkAAH8gAAA=</data>"
                    "<data>ESIzRAADdfAAAAAAAAkAAH8=</data></array>"),
         "module 1, event 2: the event item is 17 bytes long, fewer than 18"},
        {"empty event item", wrapModule("<key>Events</key><array><data></data></array>"),
         "module 1, event 1: the event item is 0 bytes long, fewer than 18"},
        {"nesting deep enough to exhaust the stack", nested, "nested too deeply"},
    };
}

TEST_F(ModulesDocumentTest, DamagedFilesAreRefusedWithAReasonAndLeaveTheDocumentAlone)
{
    const ModulesDocument before = sampleDocument();
    for (const DamagedCase& row : damagedCases()) {
        SCOPED_TRACE(row.legend);
        writeText("damaged.plist", row.contents);
        ModulesDocument document = before;
        std::string error;
        EXPECT_FALSE(readModulesFile(path("damaged.plist"), &document, &error));
        EXPECT_NE(error.find(row.expectedError), std::string::npos) << "error was: " << error;
        EXPECT_EQ(document, before);
    }
}

TEST_F(ModulesDocumentTest, DamagedCellsAndWindowStateStillOpen)
{
    writeText("cells.plist",
              "<plist version=\"1.0\"><dict><key>Modules</key><array>"
              "<dict><key>C</key><integer>16</integer><key>#</key><integer>40</integer>"
              "<key>T</key><integer>7</integer><key>X</key><integer>1</integer>"
              "<key>N</key><string>Hall</string></dict>"
              "<dict><key>C</key><integer>-1</integer><key>#</key><integer>0</integer></dict>"
              "</array><key>EventRepeat</key><data>AwIB</data>"
              "<key>SelectedRows</key><array><integer>1</integer><string>2</string></array>"
              "<key>DrawerOpen</key><string>YES</string></dict></plist>");
    ModulesDocument document;
    document.selectedRows = {5};
    document.drawerOpen = true;
    std::string error;
    ASSERT_TRUE(readModulesFile(path("cells.plist"), &document, &error)) << error;
    ASSERT_EQ(document.modules.size(), 2u);
    const Module& hall = document.modules[0];
    EXPECT_EQ(hall.name, "Hall");
    EXPECT_EQ(hall.houseCode, 16);
    EXPECT_EQ(hall.unit, 40);
    EXPECT_EQ(hall.type, 7);
    EXPECT_FALSE(hall.expanded);
    EXPECT_EQ(document.modules[1].houseCode, -1);
    EXPECT_EQ(document.modules[1].unit, 0);
    // Three bytes of counts: the first two.
    EXPECT_EQ(document.eventRepeat, (ClassicEventRepeat{3, 2}));
    EXPECT_TRUE(document.selectedRows.empty());
    EXPECT_FALSE(document.drawerOpen);

    // Saved and opened again, the damaged cells are as they were, for the user to repair.
    ASSERT_TRUE(writeModulesFile(path("cells.plist"), document, &error)) << error;
    ModulesDocument reopened;
    ASSERT_TRUE(readModulesFile(path("cells.plist"), &reopened, &error)) << error;
    EXPECT_EQ(reopened, document);

    // Counts that cannot be read are those of a new document, not 0 and 0.
    for (const char* repeat : {"<data>AQ==</data>", "<data></data>", "<integer>257</integer>"}) {
        SCOPED_TRACE(repeat);
        writeText("repeat.plist", wrapTop(std::string("<key>EventRepeat</key>") + repeat));
        ModulesDocument counts;
        counts.eventRepeat = {0, 0};
        ASSERT_TRUE(readModulesFile(path("repeat.plist"), &counts, &error)) << error;
        EXPECT_EQ(counts.eventRepeat, (ClassicEventRepeat{1, 1}));
    }
}

TEST_F(ModulesDocumentTest, LongDescriptionsAreCutToTheLimitOnReadingAndCounted)
{
    const std::size_t limit = MaxModuleNameCharacters;
    ModulesDocument document;
    document.modules.resize(4);
    document.modules[0].name = std::string(limit, 'a');     // at the limit: kept
    document.modules[1].name = std::string(limit + 1, 'b'); // one over
    document.modules[2].name = std::string(limit - 1, 'c') + "\xE2\x82\xAC\xE2\x82\xAC"; // 3-byte
    document.modules[3].name = std::string(limit * 3, '\xC3'); // not UTF-8: each written as U+FFFD
    std::string error;
    ASSERT_TRUE(writeModulesFile(path("Long.vantrel"), document, &error)) << error;

    ModulesDocument read;
    std::size_t shortened = 99;
    ASSERT_TRUE(readModulesFile(path("Long.vantrel"), &read, &error, &shortened)) << error;
    EXPECT_EQ(shortened, 3u);
    EXPECT_EQ(read.modules[0].name, document.modules[0].name);
    EXPECT_EQ(read.modules[1].name, std::string(limit, 'b'));
    EXPECT_EQ(read.modules[2].name, std::string(limit - 1, 'c') + "\xE2\x82\xAC");
    EXPECT_LE(read.modules[3].name.size(), 4 * limit);

    // Nothing to cut: nothing counted, and the count is optional.
    ASSERT_TRUE(writeModulesFile(path("Short.vantrel"), newModulesDocument(), &error));
    ASSERT_TRUE(readModulesFile(path("Short.vantrel"), &read, &error, &shortened));
    EXPECT_EQ(shortened, 0u);
    EXPECT_TRUE(readModulesFile(path("Short.vantrel"), &read, &error));
}

TEST_F(ModulesDocumentTest, MissingFileIsReportedWithItsReason)
{
    ModulesDocument document = sampleDocument();
    std::string error;
    EXPECT_FALSE(readModulesFile(path("absent.plist"), &document, &error));
    EXPECT_NE(error.find("absent.plist"), std::string::npos) << error;
    EXPECT_EQ(document, sampleDocument());
}

// Every prefix and a few thousand random corruptions of a good file: none
// may crash or read out of bounds (the sanitizer build watches), and a
// refusal leaves the document as it was.
TEST_F(ModulesDocumentTest, CorruptedBytesNeverCrash)
{
    const std::string valid = propertyListToXml(documentToPropertyList(sampleDocument()));
    const ModulesDocument before = newModulesDocument();
    auto tryOne = [&](const std::string& contents) {
        PropertyValue plist;
        ModulesDocument document = before;
        if (!propertyListFromXml(contents, &plist) ||
            !documentFromPropertyList(plist, &document, nullptr)) {
            EXPECT_EQ(document, before);
        }
        // Whatever was opened can be shown.
        for (const Module& module : document.modules) {
            EXPECT_FALSE(houseCodeText(module.houseCode).empty());
            EXPECT_FALSE(moduleNumberText(module.unit).empty());
        }
    };
    for (std::size_t length = 0; length < valid.size(); length += 7)
        tryOne(valid.substr(0, length));
    std::mt19937 random(290);
    for (int round = 0; round < 2000; ++round) {
        std::string contents = valid;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes; ++i)
            contents[random() % contents.size()] = static_cast<char>(random() % 256);
        tryOne(contents);
    }
}

TEST_F(ModulesDocumentTest, FailedWriteLeavesTheOldFile)
{
    ASSERT_TRUE(writeModulesFile(path("doc.plist"), newModulesDocument(), nullptr));
    std::string before;
    ASSERT_TRUE(readWholeFile(path("doc.plist"), &before));

    // A file-size limit makes the write fail half way, as a full disk would.
    ModulesDocument big = sampleDocument();
    big.modules.resize(200, big.modules[0]);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool written = writeModulesFile(path("doc.plist"), big, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    std::string after;
    ASSERT_TRUE(readWholeFile(path("doc.plist"), &after));
    EXPECT_EQ(after, before);
}

TEST_F(ModulesDocumentTest, AFailedWriteLeavesTheOldFile)
{
    const std::string file = path("doc.plist");
    ASSERT_TRUE(writeModulesFile(file, newModulesDocument(), nullptr));
    std::string before;
    ASSERT_TRUE(readWholeFile(file, &before));

    // A file-size limit makes the write fail half way, also for root (who
    // may write into read-only folders). The limit's signal is ignored so the
    // write reports EFBIG instead of ending the test.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string error;
    const bool written = writeModulesFile(file, sampleDocument(), &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    std::string after;
    ASSERT_TRUE(readWholeFile(file, &after));
    EXPECT_EQ(after, before);
    // No temporary file is left behind, hidden or not.
    std::size_t copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path("")))
        copies += entry.path().filename().string().find("doc.plist") != std::string::npos;
    EXPECT_EQ(copies, 1u);
}

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

// An event no editing makes: a document keeps it for the user to see and
// repair; the clipboard and the helper's copy refuse it.
TEST_F(ModulesDocumentTest, ABrightnessOutsideOneToNineIsKeptInADocumentAndRefusedElsewhere)
{
    Event damaged;
    damaged.Flags = EventClockTimeFlag | EventDaysMask;
    damaged.Brightness = 65535;
    ModulesDocument document = newModulesDocument();
    document.modules[0].events = {eventToData(Event{}), eventToData(damaged)};
    std::string error;
    ASSERT_TRUE(writeModulesFile(path("damaged.plist"), document, &error)) << error;
    ModulesDocument reopened;
    ASSERT_TRUE(readModulesFile(path("damaged.plist"), &reopened, &error)) << error;
    EXPECT_EQ(reopened.modules, document.modules);

    std::vector<EventData> events;
    EXPECT_FALSE(
        eventsFromPropertyList(eventsToPropertyList(document.modules[0].events), &events, &error));
    EXPECT_EQ(error, "event 2: brightness 65535 is not 1 to 9");
    EXPECT_TRUE(events.empty());
    ModuleList modules;
    EXPECT_FALSE(
        modulesFromPropertyList(modulesToPropertyList(document.modules), &modules, &error));
    EXPECT_EQ(error, "module 1, event 2: brightness 65535 is not 1 to 9");

    for (std::uint16_t brightness : {0, 10}) {
        damaged.Brightness = brightness;
        EXPECT_FALSE(
            eventsFromPropertyList(eventsToPropertyList({eventToData(damaged)}), &events, &error));
    }
    damaged.Brightness = 1;
    EXPECT_TRUE(
        eventsFromPropertyList(eventsToPropertyList({eventToData(damaged)}), &events, &error))
        << error;
}

} // namespace
} // namespace vantrel
