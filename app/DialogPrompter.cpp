#include "app/Prompter.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>

namespace headroom {

namespace {

// Qt's folder chooser reads its history, last folder and view state from
// QtProject.conf in the user's configuration folder and writes them back
// when it is destroyed. Headroom keeps nothing between runs: while one of
// these lives, user-scope settings go to a private temporary folder, which
// goes with it, and the chooser starts the same every time.
class PrivateSettings {
public:
    PrivateSettings() { setUserPath(m_folder.path()); }
    ~PrivateSettings() { setUserPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)); }
    PrivateSettings(const PrivateSettings&) = delete;
    PrivateSettings& operator=(const PrivateSettings&) = delete;

private:
    static void setUserPath(const QString& path)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    }

    QTemporaryDir m_folder;
};

// Runs `dialog` modally, known as the open one meanwhile.
int runOpen(QPointer<QWidget>& open, QDialog& dialog)
{
    open = &dialog;
    const int result = dialog.exec();
    open = nullptr;
    return result;
}

} // namespace

void DialogPrompter::alert(const QString& message, const QString& informative)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Headroom"), message, QMessageBox::Ok);
    box.setInformativeText(informative);
    runOpen(m_open, box);
}

std::optional<QString> DialogPrompter::chooseFolder()
{
    const PrivateSettings settings; // outlives the dialog, which writes on destruction
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Start at home rather than wherever the process was started: the folder
    // chosen here is the one later cleans work in.
    dialog.setDirectory(QDir::homePath());
    const int result = runOpen(m_open, dialog);
    // The chooser's file system model leaves threads in Qt's global pool,
    // parked until they expire half a minute later; nothing of ours uses
    // the pool, so they end now (waitForDone() ends idle threads at once).
    QThreadPool::globalInstance()->waitForDone(0);
    if (result != QDialog::Accepted)
        return std::nullopt;
    // selectedFiles(), not directory(): a folder highlighted in the listing
    // is the one the user chose, not the folder whose listing was showing.
    // With nothing highlighted Qt reports the shown folder itself.
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return QDir::cleanPath(QDir(chosen.first()).absolutePath());
}

void DialogPrompter::about(const QString& title, const QString& text)
{
    QMessageBox::about(nullptr, title, text);
}

void DialogPrompter::bringForward()
{
    if (!m_open)
        return;
    m_open->raise();
    m_open->activateWindow();
}

} // namespace headroom
