#include "child_process.h"

#include <QProcess>
#include <QStringList>

namespace test_support {

Output run(const std::vector<std::string> &argv, int timeLimitSeconds)
{
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(argv.at(0)), arguments);
    Output result;
    if (!process.waitForStarted(-1)) {
        result.err = "cannot start " + argv[0] + ": " + process.errorString().toStdString();
        return result;
    }
    const bool finished = process.waitForFinished(timeLimitSeconds > 0 ? timeLimitSeconds * 1000 : -1);
    if (!finished && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
        result.timedOut = true;
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    if (process.exitStatus() == QProcess::NormalExit && !result.timedOut)
        result.status = process.exitCode();
    return result;
}

} // namespace test_support
