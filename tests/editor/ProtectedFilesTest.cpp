// Files the user protected or named oddly: a read-only document, a name
// that is not UTF-8.

#include "EditorTestSupport.h"

#include "editor/DocumentManager.h"
#include "editor/FileNames.h"
#include "editor/Modules.h"
#include "editor/ModulesOutlineModel.h"
#include "platform/Paths.h"
#include "support/ScheduleBuilders.h"

#include <filesystem>
#include <sys/stat.h>

namespace vantrel::test {
namespace {

class ProtectedFiles : public WindowTest
{
  protected:
    std::string writeDocument(const std::string& name)
    {
        const std::string path = home.root() + "/" + name;
        ModulesDocument document;
        document.modules = {moduleWith({clockEvent(EventDaysMask, 19, 0)})};
        document.modules[0].name = "Porch";
        std::string error;
        EXPECT_TRUE(writeModulesFile(path, document, &error)) << error;
        return path;
    }

    static std::string contents(const std::string& path)
    {
        std::string data;
        EXPECT_TRUE(readWholeFile(path, &data));
        return data;
    }

    static void rename(Modules* window, const QString& name)
    {
        window->model()->setData(window->model()->moduleIndex(0), name);
    }

    void closeWithoutSaving(Modules* window)
    {
        answers.saveAnswers.push_back(SaveChangesAnswer::DontSave);
        window->close();
    }

    DocumentManager manager;
};

TEST_F(ProtectedFiles, SaveOfAReadOnlyDocumentWritesNothingAndOffersSaveAs)
{
    const std::string path = writeDocument("Locked.vantrel");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    Modules* window = manager.openDocument(QString::fromStdString(path));
    ASSERT_NE(window, nullptr);
    const std::string before = contents(path);
    rename(window, "Changed");

    // Declined: nothing is written, the changes stay.
    answers.saveAsOffers.push_back(false);
    EXPECT_FALSE(window->save());
    EXPECT_EQ(answers.readOnlyDocuments, QStringList{"Locked.vantrel"});
    EXPECT_EQ(contents(path), before);
    struct stat info
    {
    };
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_TRUE(window->isDocumentEdited());

    // Accepted: Save As writes the new name and the window moves to it.
    const std::string copy = home.root() + "/Copy.vantrel";
    answers.saveAsOffers.push_back(true);
    answers.fileNames.push_back(QString::fromStdString(copy));
    EXPECT_TRUE(window->save());
    EXPECT_EQ(contents(path), before);
    EXPECT_NE(contents(copy).find("Changed"), std::string::npos);
    EXPECT_EQ(window->filePath(), QString::fromStdString(copy));
    EXPECT_FALSE(window->isDocumentEdited());
    EXPECT_TRUE(answers.alerts.empty());
    window->close();
}

TEST_F(ProtectedFiles, ANameThatIsNotUtf8OpensSavesAndReadsInTheTitle)
{
    const std::string bytes = "Caf\xE9.vantrel";
    const std::string path = writeDocument(bytes);
    const QString name = fileNameFromBytes(QByteArray::fromStdString(path));
    EXPECT_EQ(fileNameBytes(name).toStdString(), path);

    Modules* window = manager.openDocument(name);
    ASSERT_NE(window, nullptr) << (answers.alerts.empty()
                                       ? std::string()
                                       : answers.alerts[0].message.toStdString());
    EXPECT_EQ(window->document().modules.at(0).name, "Porch");
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Café.vantrel[*]"));

    rename(window, "Kitchen");
    ASSERT_TRUE(window->save());
    EXPECT_TRUE(answers.alerts.empty());
    EXPECT_NE(contents(path).find("Kitchen"), std::string::npos);
    // Saved in place: no second file under a mangled name.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.root()))
        files += entry.path().extension() == ".vantrel";
    EXPECT_EQ(files, 1);
    EXPECT_EQ(manager.openDocument(name), window) << "the open window comes forward";
    window->close();
}

TEST(FileNames, BytesComeBackAsTheyWere)
{
    const std::vector<std::string> names = {
        "plain.vantrel", "caf\xC3\xA9",           "caf\xE9",      "\xFF\xFE",      "\xC3",
        "\xED\xA0\x80",  "\xF0\x9F\x92\xA1 lamp", "\xF0\x9F\x92", "a\x80z\xC0\xAF"};
    for (const std::string& bytes : names) {
        const QString name = fileNameFromBytes(QByteArray::fromStdString(bytes));
        EXPECT_EQ(nativePath(name), bytes);
    }
    EXPECT_EQ(fileNameFromBytes("caf\xC3\xA9"), QStringLiteral("café"));
    EXPECT_EQ(readableFileName(fileNameFromBytes("caf\xE9")), QStringLiteral("café"));
    // A character beyond the first plane is a pair, whatever its second half.
    const QString beyond = QString::fromUtf8("\xF0\x9F\x92\xA1");
    EXPECT_EQ(nativePath(beyond), "\xF0\x9F\x92\xA1");
}

} // namespace
} // namespace vantrel::test
