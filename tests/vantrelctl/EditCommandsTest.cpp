// vantrelctl show, new, add-module, type and set, run as the program against
// documents in a temporary folder.

#include "platform/DateTime.h"
#include "schedule/ModulesDocument.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VANTRELCTL_PATH
#error "VANTRELCTL_PATH must name the vantrelctl program"
#endif

namespace vantrel {
namespace {

struct Result
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string wholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string shellQuoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

class EditCommands : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vantrelctl-edit-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_directory = pattern;
        m_file = m_directory + "/schedule.cp290";
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }

    Result run(const std::vector<std::string>& arguments)
    {
        std::string command = std::string("TZ=UTC ") + VANTRELCTL_PATH;
        for (const std::string& argument : arguments)
            command += " " + shellQuoted(argument);
        const std::string out = m_directory + "/out";
        const std::string err = m_directory + "/err";
        command += " >" + shellQuoted(out) + " 2>" + shellQuoted(err);
        const int status = std::system(command.c_str());
        Result result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = wholeFile(out);
        result.err = wholeFile(err);
        return result;
    }

    std::string show()
    {
        const Result result = run({"show", m_file});
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    }

    ModulesDocument document()
    {
        ModulesDocument read;
        std::string error;
        EXPECT_TRUE(readModulesFile(m_file, &read, &error)) << error;
        return read;
    }

    std::string m_directory;
    std::string m_file;
};

TEST_F(EditCommands, NewDocumentHasOneNewModule)
{
    ASSERT_EQ(run({"new", m_file}).status, 0);
    EXPECT_EQ(show(), "A\t1\tAppliance\tNew Module\n");
    const ModulesDocument read = document();
    EXPECT_EQ(read.eventRepeat, (ClassicEventRepeat{1, 1}));
    ASSERT_EQ(read.modules.size(), 1u);
    EXPECT_EQ(read.modules[0], Module{});
}

TEST_F(EditCommands, NewRefusesToReplaceADocumentUnlessForced)
{
    ASSERT_EQ(run({"new", m_file}).status, 0);
    ASSERT_EQ(run({"add-module", m_file}).status, 0);
    const std::string twoModules = wholeFile(m_file);
    const Result refused = run({"new", m_file});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
    EXPECT_EQ(wholeFile(m_file), twoModules);

    EXPECT_EQ(run({"new", "--force", m_file}).status, 0);
    EXPECT_EQ(document().modules.size(), 1u);
}

TEST_F(EditCommands, TypeAndSetBuildASchedule)
{
    ASSERT_EQ(run({"new", m_file}).status, 0);
    ASSERT_EQ(run({"add-module", m_file}).status, 0);
    EXPECT_EQ(run({"set", m_file, "0", "T", "l"}).status, 0);
    EXPECT_EQ(run({"set", m_file, "0", "C", "c"}).status, 0);
    EXPECT_EQ(run({"set", m_file, "0", "#", "5"}).status, 0);
    EXPECT_EQ(run({"set", m_file, "0", "N", "Porch lamp"}).status, 0);
    EXPECT_EQ(run({"type", m_file, "0", "new", "Turn On @ 7 pm Every Day"}).status, 0);
    EXPECT_EQ(run({"type", m_file, "0", "new", "off @ sunset+0:30 security on .m.w.f."}).status, 0);
    EXPECT_EQ(run({"type", m_file, "1", "new", "on @ sunrise on 7/4/07 & every 3 days"}).status, 0);
    EXPECT_EQ(show(), "C\t5\tLight\tPorch lamp\n"
                      "\tTurn On @ 07:00 PM Every Day\n"
                      "\tTurn Off @ Sunset+00:30 (Security)  On .M.W.F.\n"
                      "A\t1\tAppliance\tNew Module\n"
                      "\tTurn On @ Sunrise On 07/04/2007 & Every 3 Days Thereafter\n");
    EXPECT_TRUE(document().modules[0].expanded);

    // Committing to an existing row edits that event only.
    EXPECT_EQ(run({"type", m_file, "0", "1", "Turn On @ 6:15 am"}).status, 0);
    EXPECT_EQ(run({"type", m_file, "0", "0", "Every Week"}).status, 0);
    EXPECT_EQ(show(), "C\t5\tLight\tPorch lamp\n"
                      "\tTurn On @ 07:00 PM Every Day\n"
                      "\tTurn On @ 06:15 AM On .M.W.F.\n"
                      "A\t1\tAppliance\tNew Module\n"
                      "\tTurn On @ Sunrise On 07/04/2007 & Every 3 Days Thereafter\n");
}

TEST_F(EditCommands, AllUnitsRewriteEventsAndTakeNoType)
{
    ModulesDocument start = newModulesDocument();
    Event dimmed;
    dimmed.Flags = EventOnFlag | EventClockTimeFlag | EventDaysMask;
    dimmed.Brightness = 4;
    DateTimeRec seven;
    seven.hour = 19;
    dimmed.Time = dateToSeconds(seven);
    start.modules[0].type = LightType;
    start.modules[0].events = {eventToData(dimmed)};
    std::string error;
    ASSERT_TRUE(writeModulesFile(m_file, start, &error)) << error;

    EXPECT_EQ(show(), "A\t1\tLight\tNew Module\n\tTurn On 50.0% @ 07:00 PM Every Day\n");
    // The brightness figure ends the line: only the on/off word takes effect.
    EXPECT_EQ(run({"type", m_file, "0", "0", "Turn Off 50.0% @ 09:00 AM On S.....S"}).status, 0);
    EXPECT_EQ(show(), "A\t1\tLight\tNew Module\n\tTurn Off 50.0% @ 07:00 PM Every Day\n");

    EXPECT_EQ(run({"set", m_file, "0", "#", "All Lights"}).status, 0);
    EXPECT_EQ(show(), "A\tAll Lights\t\tNew Module\n\tTurn On 50.0% @ 07:00 PM Every Day\n");
    EXPECT_EQ(run({"set", m_file, "0", "#", "m"}).status, 0);
    EXPECT_EQ(show(), "A\tAll Modules\t\tNew Module\n\tTurn Off @ 07:00 PM Every Day\n");
    // An "All" unit keeps no type; back on a plain unit it is an appliance.
    EXPECT_EQ(run({"set", m_file, "0", "T", "Light"}).status, 0);
    EXPECT_EQ(show(), "A\tAll Modules\t\tNew Module\n\tTurn Off @ 07:00 PM Every Day\n");
    EXPECT_EQ(run({"set", m_file, "0", "#", "16"}).status, 0);
    EXPECT_EQ(show(), "A\t16\tAppliance\tNew Module\n\tTurn Off @ 07:00 PM Every Day\n");
}

TEST_F(EditCommands, BadArgumentsLeaveTheFileAlone)
{
    ASSERT_EQ(run({"new", m_file}).status, 0);
    ASSERT_EQ(run({"type", m_file, "0", "new", "Turn On @ 7 pm"}).status, 0);
    const std::string before = wholeFile(m_file);
    struct Row
    {
        const char* legend;
        std::vector<std::string> arguments;
    };
    const Row rows[] = {
        {"module out of range", {"type", m_file, "1", "0", "on"}},
        {"event out of range", {"type", m_file, "0", "1", "on"}},
        {"module not a number", {"type", m_file, "x", "0", "on"}},
        {"negative module", {"set", m_file, "-1", "N", "x"}},
        {"event not a number", {"type", m_file, "0", "first", "on"}},
        {"unknown column", {"set", m_file, "0", "X", "1"}},
        {"house code Q", {"set", m_file, "0", "C", "Q"}},
        {"unit 17 as a number", {"set", m_file, "0", "#", "17"}},
        {"unit 0", {"set", m_file, "0", "#", "0"}},
        {"type x", {"set", m_file, "0", "T", "x"}},
        // Type 2 shows as an empty cell, but nothing empty can be typed.
        {"empty type", {"set", m_file, "0", "T", ""}},
        {"empty house code", {"set", m_file, "0", "C", ""}},
        {"empty unit", {"set", m_file, "0", "#", ""}},
        {"set module out of range", {"set", m_file, "3", "N", "x"}},
        {"missing text", {"type", m_file, "0", "0"}},
        {"no such command", {"frobnicate", m_file}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        const Result result = run(row.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_FALSE(result.err.empty());
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_EQ(wholeFile(m_file), before);
    }
}

TEST_F(EditCommands, TypePrintsWhatItAppliedAndSaysWhenThatIsNothing)
{
    ASSERT_EQ(run({"new", m_file}).status, 0);
    // A day past the end of its month is not taken: only the time changes.
    const Result typed = run({"type", m_file, "0", "new", "Turn On @ 7:00 PM On 02/30/2026"});
    EXPECT_EQ(typed.status, 0) << typed.err;
    EXPECT_EQ(typed.out, "Turn On @ 07:00 PM Every Day\n");
    EXPECT_EQ(typed.err, "");

    const Result nothing = run({"type", m_file, "0", "0", "Every Week"});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, "Turn On @ 07:00 PM Every Day\n");
    EXPECT_NE(nothing.err.find("changed nothing"), std::string::npos) << nothing.err;
    EXPECT_EQ(nothing.err.find('\n'), nothing.err.size() - 1) << nothing.err;
}

TEST_F(EditCommands, NamesNeitherReachTheTerminalRawNorBreakTheFile)
{
    // As an earlier version stored it: raw ESC, BEL, tab, a stray byte and a C1 control.
    std::ofstream(m_file) << "<plist version=\"1.0\"><dict><key>Modules</key><array><dict>"
                             "<key>N</key><string>Lamp\x1b[2J\x07\tx\xff\xc2\x9b\xc3\xa9</string>"
                             "<key>C</key><integer>16</integer><key>T</key><integer>5</integer>"
                             "</dict></array></dict></plist>";
    EXPECT_EQ(show(), "?\t1\t5\tLamp\\x1b[2J\\x07\\x09x\\xff\\xc2\\x9b\xc3\xa9\n");

    ASSERT_EQ(run({"set", m_file, "0", "N", "Hall\x1b]0;title\x07"}).status, 0);
    for (const unsigned char c : wholeFile(m_file))
        ASSERT_TRUE(c >= 0x20 || c == '\t' || c == '\n') << int(c);
    EXPECT_EQ(show(), "?\t1\t5\tHall\xEF\xBF\xBD]0;title\xEF\xBF\xBD\n");
}

TEST_F(EditCommands, UnreadableFileFails)
{
    const std::string missing = m_directory + "/missing.cp290";
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"show", missing},
                                               {"add-module", missing},
                                               {"type", missing, "0", "0", "on"},
                                               {"set", missing, "0", "N", "x"}}) {
        SCOPED_TRACE(arguments[0]);
        const Result result = run(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_FALSE(result.err.empty());
        EXPECT_FALSE(std::filesystem::exists(missing));
    }
    std::ofstream(m_file) << "not a property list";
    const Result damaged = run({"show", m_file});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(wholeFile(m_file), "not a property list");
}

} // namespace
} // namespace vantrel
