#include "app/addresshistory.h"

#include "browser/frmBrowser.h"
#include "browser/historyfile.h"
#include "system/programfolder.h"
#include "system/quietlog.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace addresshistory {

QString notice(const ProgramFolder &folder)
{
    // Only when it is not where the user would look, and once a run, not once a window.
    const ProgramFolder::Keeping keeping = folder.keeping();
    if (keeping == ProgramFolder::Keeping::BesideProgram || !folder.claimNotice())
        return {};
    const QString path = folder.keptFile(historyfile::fileName());
    if (keeping == ProgramFolder::Keeping::UserData)
        return QStringLiteral("Address history is kept in %1: the program's folder cannot be written.").arg(path);
    return QStringLiteral("Address history cannot be kept: neither the program's folder nor %1 can be written.")
        .arg(QDir::toNativeSeparators(QFileInfo(path).path()));
}

bool clear(const ProgramFolder &folder, const QMdiArea &area)
{
    QString why;
    if (historyfile::clear(folder.keptFile(historyfile::fileName()), &why) != historyfile::WriteResult::Written) {
        quietlog::warnOnce(lcHistory(), QStringLiteral("the address history could not be deleted: %1").arg(why));
        return false;
    }
    const auto children = area.subWindowList();
    for (QMdiSubWindow *sub : children) {
        if (auto *browser = qobject_cast<frmBrowser *>(sub->widget()))
            browser->forgetListedAddresses();
    }
    return true;
}

} // namespace addresshistory
