// One Vantrel per session: a second launch, a real second process, hands its
// documents to the first and ends.

#include "app/ApplicationInstance.h"
#include "editor/ApplicationPreferences.h"
#include "editor/DocumentManager.h"
#include "editor/Modules.h"
#include "platform/Paths.h"
#include "schedule/ModulesDocument.h"
#include "support/TemporaryHome.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace vantrel::test {
namespace {

class ApplicationInstanceTest : public ::testing::Test
{
  protected:
    void SetUp() override { resetApplicationPreferences(); }
    void TearDown() override
    {
        for (Modules* open : documents.documents()) {
            open->clearChangeCount();
            open->close();
        }
        resetApplicationPreferences();
    }

    // Runs `vantrel ARGUMENTS` as a later copy while this process answers
    // as the first; its exit code, or -1 when it did not end in time.
    int launch(const QStringList& arguments)
    {
        QProcess later;
        later.setProgram(VANTREL_PATH);
        later.setArguments(arguments);
        later.setProcessChannelMode(QProcess::ForwardedChannels);
        later.start();
        if (!later.waitForStarted(10000))
            return -1;
        // This process must answer meanwhile: wait in its event loop.
        if (!QTest::qWaitFor([&later] { return later.state() == QProcess::NotRunning; }, 20000)) {
            later.kill();
            later.waitForFinished();
            return -1;
        }
        return later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1;
    }

    QString makeDocument(const QString& name)
    {
        const QString path = QString::fromStdString(home.root()) + "/" + name;
        ModulesDocument document;
        document.modules.push_back(Module{});
        EXPECT_TRUE(writeModulesFile(path.toStdString(), document, nullptr));
        return path;
    }

    TemporaryHome home;
    DocumentManager documents;
};

TEST_F(ApplicationInstanceTest, ALaterLaunchHandsItsFilesToTheFirstAndEnds)
{
    // A socket left behind by a crashed copy is no obstacle.
    makeDirectories(runtimeDirectory());
    ASSERT_TRUE(writeFileAtomically(applicationInstanceSocketPath().toStdString(), ""));

    ApplicationInstance first;
    ASSERT_TRUE(first.becomeFirst());
    ASSERT_TRUE(first.listen(&documents));
    // A second object in this process is a later copy as far as the lock is
    // concerned.
    EXPECT_FALSE(ApplicationInstance().becomeFirst());

    const QString porch = makeDocument("Porch.vantrel");
    const QString hall = makeDocument("Hall.vantrel");
    EXPECT_EQ(launch({porch, hall}), 0);
    ASSERT_EQ(documents.documents().size(), 2);
    EXPECT_NE(documents.documentForPath(porch), nullptr);
    EXPECT_NE(documents.documentForPath(hall), nullptr);

    // Again, by a relative name from another folder: one window still.
    QSignalSpy handled(&first, &ApplicationInstance::requestHandled);
    QProcess later;
    later.setProgram(VANTREL_PATH);
    later.setArguments({"Porch.vantrel"});
    later.setWorkingDirectory(QString::fromStdString(home.root()));
    later.start();
    ASSERT_TRUE(handled.wait(20000));
    ASSERT_TRUE(later.waitForFinished(10000));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_EQ(documents.documents().size(), 2);

    // Without files it brings the front window forward and opens nothing.
    EXPECT_EQ(launch({}), 0);
    EXPECT_EQ(documents.documents().size(), 2);

    // --version needs no running copy's answer.
    QProcess version;
    version.start(VANTREL_PATH, {"--version"});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_TRUE(version.readAllStandardOutput().startsWith("vantrel "));
}

TEST_F(ApplicationInstanceTest, ACopyWhoseFirstDoesNotAnswerSaysSo)
{
    // The lock is held here, but nobody listens.
    ApplicationInstance silent;
    ASSERT_TRUE(silent.becomeFirst());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(ApplicationInstance::handOver({}, 300));
    EXPECT_LT(timer.elapsed(), 5000);
}

} // namespace
} // namespace vantrel::test
