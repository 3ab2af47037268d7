#pragma once

// The real program under a real X server with a window manager (Xvfb and openbox), for the whole-program tests:
// the processes they start, and the program's trace lines read as they come.

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

namespace orblane::test {

// A process ended (and waited for) when the test ends, whatever the test's outcome.
struct Child
{
    QProcess process;
    ~Child()
    {
        if (process.state() != QProcess::NotRunning)
        {
            process.terminate();
            if (!process.waitForFinished(5000))
            {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    }
};

// Lines of the program's standard error read so far, waiting up to the deadline for one that matches.
inline bool WaitForLine(QProcess& process, QStringList& lines, const QRegularExpression& pattern, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    QString pending;
    while (!deadline.hasExpired())
    {
        process.waitForReadyRead(100);
        pending += QString::fromUtf8(process.readAllStandardError());
        qsizetype end = 0;
        while ((end = pending.indexOf(QLatin1Char('\n'))) >= 0)
        {
            lines << pending.left(end);
            pending.remove(0, end + 1);
            if (pattern.match(lines.last()).hasMatch())
            {
                return true;
            }
        }
        if (process.state() == QProcess::NotRunning)
        {
            return false;
        }
    }
    return false;
}

// The tools a whole-program test needs that are not installed, by name (empty: all are).
inline QString MissingXTool()
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool"})
    {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
        {
            return QLatin1String(tool);
        }
    }
    return {};
}

// Xvfb on a display it picks itself, openbox on it, and the program started from a medium's VIEWER folder with
// its trace on; keys and clicks go through the X server (xdotool), as a user's would.
class ProgramUnderX
{
public:
    bool StartDesktop()
    {
        server.process.start(QStringLiteral("Xvfb"),
                             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        if (!server.process.waitForReadyRead(10000))
        {
            return false;
        }
        const QString display = QStringLiteral(":") + QString::fromLatin1(server.process.readLine()).trimmed();
        environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        windowManager.process.setProcessEnvironment(environment);
        windowManager.process.start(QStringLiteral("openbox"), {});
        if (!windowManager.process.waitForStarted(10000))
        {
            return false;
        }
        QThread::msleep(500);
        return true;
    }

    // testKeys: typed by the program itself once the list shows (ORBLANE_TEST_KEYS), or none.
    bool StartProgram(const QString& viewerFolder, const QString& testKeys = {})
    {
        QProcessEnvironment programEnvironment = environment;
        programEnvironment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        programEnvironment.insert(QStringLiteral("ORBLANE_AUTOCLOSE_DIALOGS"), QStringLiteral("1"));
        programEnvironment.insert(QStringLiteral("ORBLANE_TRACE"), QStringLiteral("1"));
        if (!testKeys.isEmpty())
        {
            programEnvironment.insert(QStringLiteral("ORBLANE_TEST_KEYS"), testKeys);
        }
        program.process.setProcessEnvironment(programEnvironment);
        program.process.setWorkingDirectory(viewerFolder);
        program.process.start(viewerFolder + QStringLiteral("Orblane"), {});
        return program.process.waitForStarted(10000);
    }

    // The next trace line after the last one matched that matches (its match in `match`), within the time given.
    // Lines that came with it stay to be matched by the next call.
    bool WaitFor(const QString& pattern, int milliseconds = 10000)
    {
        const QRegularExpression expression(pattern);
        const QDeadlineTimer deadline(milliseconds);
        for (;;)
        {
            for (; next < lines.size(); ++next)
            {
                match = expression.match(lines[next]);
                if (match.hasMatch())
                {
                    ++next;
                    return true;
                }
            }
            if (deadline.hasExpired() || program.process.state() == QProcess::NotRunning)
            {
                return false;
            }
            program.process.waitForReadyRead(100);
            pending += QString::fromUtf8(program.process.readAllStandardError());
            for (qsizetype end = 0; (end = pending.indexOf(QLatin1Char('\n'))) >= 0; pending.remove(0, end + 1))
            {
                lines << pending.left(end);
            }
        }
    }

    // Runs xdotool with these arguments on the test's display; answers its output.
    QString Xdotool(const QStringList& arguments) const
    {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }
    void Key(const QString& key) const { Xdotool({QStringLiteral("key"), key}); }
    QString ActiveWindowName() const
    {
        return Xdotool({QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
    }

    QString Log() const { return lines.join(QLatin1Char('\n')); }

    QTemporaryDir runtime; // the programs' XDG_RUNTIME_DIR, removed once they have ended
    QProcessEnvironment environment;
    QStringList lines;
    QRegularExpressionMatch match;
    qsizetype next = 0; // the first line not looked at by WaitFor
    QString pending;    // read after the last whole line
    // Declared in the order they start: the program ends first, the server last.
    Child server;
    Child windowManager;
    Child program;
};

} // namespace orblane::test
