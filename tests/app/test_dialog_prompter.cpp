// The real folder chooser behind the grant, driven the way a user would.

#include "app/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using headroom::DialogPrompter;

namespace {

// Runs `answer` on the dialog of type T once it is up and modal.
template <typename T>
void whenModal(std::function<void(T*)> answer, int attempts = 200)
{
    QTimer::singleShot(10, [answer = std::move(answer), attempts] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget()))
            answer(dialog);
        else if (attempts > 0)
            whenModal<T>(answer, attempts - 1);
    });
}

} // namespace

class TestDialogPrompter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void chooserRecordsTheSelectedFolderNotTheShownOne();
    void chooserCancelled();
};

void TestDialogPrompter::initTestCase()
{
    // A configuration folder of this test's own, which starts empty.
    QStandardPaths::setTestModeEnabled(true);
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).removeRecursively();
}

void TestDialogPrompter::chooserRecordsTheSelectedFolderNotTheShownOne()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home/me")));
    const QString parent = QDir(root.filePath(QStringLiteral("home"))).canonicalPath();
    const QString home = QDir(parent + QStringLiteral("/me")).canonicalPath();

    // The user browses to the parent, selects their home folder in its
    // listing and confirms.
    QString shown;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        dialog->setDirectory(parent);
        dialog->selectFile(QStringLiteral("me"));
        shown = QDir(dialog->directory()).canonicalPath();
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
    });
    const std::optional<QString> chosen = DialogPrompter().chooseFolder();
    QCOMPARE(shown, parent);
    QVERIFY(chosen.has_value());
    QCOMPARE(QDir(*chosen).canonicalPath(), home);

    // Nothing of the chooser's is kept for the next run (Qt would write its
    // history to QtProject.conf), and other settings go where they went.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QVERIFY(!QFileInfo::exists(config + QStringLiteral("/QtProject.conf")));
    QCOMPARE(QFileInfo(QSettings(QSettings::UserScope, QStringLiteral("Probe")).fileName()).absolutePath(), config);
}

void TestDialogPrompter::chooserCancelled()
{
    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QVERIFY(!DialogPrompter().chooseFolder().has_value());
}

QTEST_MAIN(TestDialogPrompter)
#include "test_dialog_prompter.moc"
