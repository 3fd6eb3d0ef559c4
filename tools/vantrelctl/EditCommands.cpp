// Keeping a schedule without a desktop: show a document as the window's
// outline shows it, and change it with the same one-line event text and the
// same module-cell rules as editing the outline in place.

#include "tools/vantrelctl/Commands.h"

#include "platform/Utf8.h"
#include "schedule/EventSummary.h"
#include "schedule/EventTextParser.h"
#include "schedule/FieldFormatters.h"
#include "schedule/ModuleEditing.h"
#include "schedule/ModulesDocument.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace vantrel::ctl {
namespace {

struct EditOptions
{
    std::string file;
    std::string module;
    std::string event;
    std::string column;
    std::string text;
    bool force = false;
};

// Text from a document, made safe for a terminal: a shared document must not
// be able to clear or re-title it. Control characters (C0, DEL and C1) and
// bytes that are not UTF-8 are shown as \xNN, one per byte.
std::string terminalText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&](std::string_view bytes) {
        for (const unsigned char c : bytes) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            shown += code;
        }
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = utf8SequenceLength(text, at);
        const std::string_view sequence = text.substr(at, length == 0 ? 1 : length);
        const bool c1 =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1)
            escape(sequence);
        else
            shown += sequence;
        at += sequence.size();
    }
    return shown;
}

// A row index as typed: decimal digits only.
std::size_t parseIndex(const std::string& text, const char* what)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(std::string(what) + " \"" + text + "\" is not an index (0, 1, ...)");
    return static_cast<std::size_t>(std::stoul(text));
}

std::optional<ModulesDocument> readDocument(const std::string& path, Context& context)
{
    ModulesDocument document;
    std::string error;
    if (!readModulesFile(path, &document, &error)) {
        // The reader's messages mostly name the file already.
        if (error.compare(0, path.size(), path) == 0)
            std::fprintf(stderr, "vantrelctl: %s\n", error.c_str());
        else
            std::fprintf(stderr, "vantrelctl: %s: %s\n", path.c_str(), error.c_str());
        context.exitCode = ExitFailed;
        return std::nullopt;
    }
    return document;
}

void writeDocument(const std::string& path, const ModulesDocument& document, Context& context)
{
    std::string error;
    if (!writeModulesFile(path, document, &error)) {
        if (error.compare(0, path.size(), path) == 0)
            std::fprintf(stderr, "vantrelctl: %s\n", error.c_str());
        else
            std::fprintf(stderr, "vantrelctl: %s: %s\n", path.c_str(), error.c_str());
        context.exitCode = ExitFailed;
    }
}

std::size_t checkModuleIndex(const ModulesDocument& document, std::size_t index)
{
    if (index >= document.modules.size())
        throw UsageError("module " + std::to_string(index) + " is out of range (the document has " +
                         std::to_string(document.modules.size()) + " modules)");
    return index;
}

// The text a cell would end up holding when this text is typed into it: one
// the column's formatter shows as it is, or what the keystroke check turns
// it into ("c" into "C", "l" into "All Lights"). Anything else is refused,
// as the cell would refuse it.
std::optional<std::string> cellText(const std::string& text, const std::string& shown,
                                    TypingCheck (*check)(std::string_view, std::size_t))
{
    // An empty cell cannot be typed: its check has no character to go by.
    // (The type column shows type 2 as empty text, but it cannot be set so.)
    if (text.empty())
        return std::nullopt;
    if (shown == text)
        return text;
    const TypingCheck typed = check(text, text.size());
    switch (typed.outcome) {
    case TypingCheck::Outcome::Accept:
        return text;
    case TypingCheck::Outcome::Replace:
        return typed.text;
    case TypingCheck::Outcome::Refuse:
        break;
    }
    return std::nullopt;
}

ModuleCellValue cellValue(ModuleColumn column, const std::string& text)
{
    switch (column) {
    case ModuleColumn::HouseCode: {
        const auto cell =
            cellText(text, houseCodeText(houseCodeFromText(text)), checkHouseCodeTyping);
        if (!cell)
            throw UsageError("\"" + text + "\" is not a house code A-P");
        return houseCodeFromText(*cell);
    }
    case ModuleColumn::Unit: {
        const auto reading = moduleNumberFromText(text);
        const bool shown = reading && *reading >= 1 && *reading <= AllModulesUnit;
        const auto cell = cellText(text, shown ? moduleNumberText(*reading) : std::string(),
                                   checkModuleNumberTyping);
        const auto value = cell ? moduleNumberFromText(*cell) : std::nullopt;
        if (!value)
            throw UsageError("\"" + text +
                             "\" is not a unit: 1-16, \"All Lights\" or \"All Modules\"");
        return *value;
    }
    case ModuleColumn::Type: {
        const auto cell =
            cellText(text, moduleTypeText(moduleTypeFromText(text)), checkModuleTypeTyping);
        if (!cell)
            throw UsageError("\"" + text + "\" is not a module type: \"Appliance\" or \"Light\"");
        return moduleTypeFromText(*cell);
    }
    case ModuleColumn::Name:
        break;
    }
    return text;
}

void printOutline(const ModulesDocument& document)
{
    for (const Module& module : document.modules) {
        std::printf("%s\t%s\t%s\t%s\n", houseCodeText(module.houseCode).c_str(),
                    moduleNumberText(module.unit).c_str(), moduleTypeText(module.type).c_str(),
                    terminalText(module.name).c_str());
        for (const EventData& item : module.events) {
            if (const std::optional<Event> event = eventFromData(item))
                std::printf("\t%s\n", eventSummary(*event).c_str());
        }
    }
}

} // namespace

void addEditCommands(CLI::App& app, Context& context)
{
    auto options = std::make_shared<EditOptions>();

    CLI::App* show = app.add_subcommand(
        "show", "Print a schedule document as its outline, every module expanded");
    show->add_option("FILE", options->file, "The document")->required();
    show->callback([options, &context] {
        if (const auto document = readDocument(options->file, context))
            printOutline(*document);
    });

    CLI::App* create =
        app.add_subcommand("new", "Write a new schedule document with one \"New Module\"");
    create->add_option("FILE", options->file, "The document to write")->required();
    create->add_flag("--force", options->force, "Replace FILE when it exists");
    create->callback([options, &context] {
        // One slip for add-module must not erase a schedule.
        struct stat existing
        {
        };
        if (!options->force && lstat(options->file.c_str(), &existing) == 0)
            throw UsageError(options->file + " exists; give --force to replace it");
        writeDocument(options->file, newModulesDocument(), context);
    });

    CLI::App* addModule =
        app.add_subcommand("add-module", "Append a \"New Module\" to a schedule document");
    addModule->add_option("FILE", options->file, "The document")->required();
    addModule->callback([options, &context] {
        auto document = readDocument(options->file, context);
        if (!document)
            return;
        document->modules.push_back(Module{});
        writeDocument(options->file, *document, context);
    });

    CLI::App* type = app.add_subcommand(
        "type", "Commit a line of event text to an event, as typed into its row");
    type->add_option("FILE", options->file, "The document")->required();
    type->add_option("MODULE", options->module, "Module index, from 0")->required();
    type->add_option("EVENT", options->event,
                     "Event index within the module, from 0; \"new\" appends a new event first")
        ->required();
    type->add_option("TEXT", options->text, "The event text, e.g. \"Turn On @ 7 pm Every Day\"")
        ->required();
    type->callback([options, &context] {
        const std::size_t moduleIndex = parseIndex(options->module, "MODULE");
        const bool newEvent = options->event == "new";
        const std::size_t eventIndex = newEvent ? 0 : parseIndex(options->event, "EVENT");
        auto document = readDocument(options->file, context);
        if (!document)
            return;
        Module module = document->modules[checkModuleIndex(*document, moduleIndex)];
        std::size_t index = eventIndex;
        if (newEvent) {
            // As New Event with the module row selected: appended, and the
            // module's row expanded to show it.
            module.events.push_back(eventToData(defaultEventNow()));
            module.expanded = true;
            index = module.events.size() - 1;
        } else if (index >= module.events.size()) {
            throw UsageError("event " + std::to_string(index) + " of module " +
                             std::to_string(moduleIndex) + " is out of range (it has " +
                             std::to_string(module.events.size()) + " events)");
        }
        EventData& item = module.events[index];
        std::optional<Event> event = eventFromData(item);
        const Event before = *event;
        parseEventText(options->text, *event);
        const EventData changed = eventToData(*event);
        std::memcpy(item.data(), changed.data(), EventContentSize);
        document->modules[moduleIndex] = std::move(module);
        writeDocument(options->file, *document, context);
        if (context.exitCode != ExitOk)
            return;
        // The parser keeps whatever it cannot read, as the window does; the
        // summary shows what was applied. Committing such a text is no error.
        std::printf("%s\n", eventSummary(*event).c_str());
        if (*event == before)
            std::fprintf(stderr, "vantrelctl: the text changed nothing in the event\n");
    });

    CLI::App* set = app.add_subcommand(
        "set", "Edit a module's cell: C house code, # unit, T type, N description");
    set->add_option("FILE", options->file, "The document")->required();
    set->add_option("MODULE", options->module, "Module index, from 0")->required();
    set->add_option("COLUMN", options->column, "C, #, T or N")->required();
    set->add_option("TEXT", options->text, "The cell's new text, e.g. C, \"All Lights\", Light")
        ->required();
    set->callback([options, &context] {
        const std::size_t moduleIndex = parseIndex(options->module, "MODULE");
        const std::optional<ModuleColumn> column = moduleColumnForIdentifier(options->column);
        if (!column)
            throw UsageError("COLUMN \"" + options->column + "\" is not one of C, #, T, N");
        const ModuleCellValue value = cellValue(*column, options->text);
        auto document = readDocument(options->file, context);
        if (!document)
            return;
        commitModuleCell(document->modules, checkModuleIndex(*document, moduleIndex), *column,
                         value);
        writeDocument(options->file, *document, context);
    });
}

} // namespace vantrel::ctl
