#include "cguiapplication.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace ORVANA {

bool CGuiApplication::runService(const QString& name, const QStringList& args)
{
    QString program = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    if (!QFileInfo(program).isExecutable())
        program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        return false;

    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANA_LAUNCH_OPTION"), QString::number(2));
    process.setProcessEnvironment(env);
    return process.startDetached();
}

} // namespace ORVANA
