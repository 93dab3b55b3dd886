#pragma once

// Tests of the real window, as a person uses it: an X display of the test's own (Xvfb on a free
// display number), a window manager (openbox) that frames, places and focuses the window, and real
// key and mouse events sent through the X server (xdotool) at a person's pace while the
// application's event loop runs. A test executable ends its main with
// `return tavrin::test::realwindow::run(argc, argv);`: the tests then run with the application on
// that display, and the executable exits with `skipped` (registered as CTest's SKIP_RETURN_CODE)
// where no display or window manager can be started. The first failing test saves the display to
// a PNG file and names it.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSize>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::test::realwindow {

constexpr int skipped = 77;

// Runs a program of the display to its end while the application keeps handling events.
inline bool runTool(const QString& program, const QStringList& arguments, int timeoutMs = 20000, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) return false;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    if (output) *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Types `text` with real key events, `msPerKey` apart: each key goes to whatever has the
// keyboard focus when the application reads it. "\t" is Tab, "\n" Return (xdotool alone would
// send a line feed, which no keyboard has). Characters missing from the display's keymap (accented
// letters) are typed through a key mapping that xdotool changes on the fly and the application
// may read after the key: leave them out.
inline bool type(const QString& text, int msPerKey)
{
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].isEmpty()
            && !runTool(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QString::number(msPerKey),
                                                     QStringLiteral("--"), lines[i]},
                        20000 + int(lines[i].size()) * msPerKey * 4))
            return false;
        if (i + 1 == lines.size()) break;
        QTest::qWait(msPerKey);
        if (!runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")})) return false;
        QTest::qWait(msPerKey);
    }
    return true;
}

// Presses keys by name ("ctrl+z", "Escape").
inline bool key(const QString& keys)
{
    return runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60"), keys});
}

// Moves the pointer over `widget` (its centre, or `at` in its own coordinates) and clicks there.
inline bool click(const QWidget* widget, std::optional<QPoint> at = std::nullopt)
{
    const QPoint global = widget->mapToGlobal(at.value_or(widget->rect().center()));
    const bool done = runTool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                                                          QString::number(global.x()), QString::number(global.y()),
                                                          QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(150);
    return done;
}

// Waits until the window manager has mapped and framed `window` and given it the focus.
inline bool waitForWindow(QWidget& window, int timeoutMs = 15000)
{
    const QString id = QString::number(window.winId());
    QElapsedTimer clock;
    clock.start();
    QByteArray active;
    while (clock.elapsed() < timeoutMs) {
        runTool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id}, 3000);
        if (runTool(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")}, 3000, &active) && active.trimmed() == id.toLatin1()
            && window.isActiveWindow() && window.frameGeometry() != window.geometry())
            return true;
        QTest::qWait(100);
    }
    return false;
}

// Saves the whole display as a PNG file.
inline bool screenshot(const QString& path)
{
    return runTool(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
}

namespace detail {

// Started before the application object exists, hence with plain fork and exec.
struct Display {
    pid_t server = -1;
    pid_t windowManager = -1;
    QString name;

    ~Display()
    {
        for (pid_t pid : {windowManager, server}) {
            if (pid <= 0) continue;
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }

    static pid_t spawn(const std::vector<std::string>& arguments, int keepOpen = -1)
    {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        // Gone with the test, however it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (keepOpen >= 0) ::fcntl(keepOpen, F_SETFD, 0);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }

    // Xvfb picks a free display number itself (-displayfd): other tests and programs of the
    // machine use displays of their own at the same time.
    bool start(QSize size)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        server = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                        std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24", "-nolisten", "tcp", "-noreset"},
                       fds[1]);
        ::close(fds[1]);
        QByteArray number;
        pollfd wanted{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wanted, 1, 10000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number.append(c);
        ::close(fds[0]);
        if (server <= 0 || number.isEmpty()) return false;
        name = QStringLiteral(":") + QString::fromLatin1(number);
        qputenv("DISPLAY", name.toLatin1());
        windowManager = spawn({"openbox", "--sm-disable"});
        // Ready once it names itself on the root window.
        for (int i = 0; i < 100; ++i) {
            if (std::system("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0) return true;
            ::usleep(100000);
        }
        return false;
    }
};

// Saves the display once, at the first failure, where the test's output names it.
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override
    {
        m_name = QStringLiteral("%1-%2.png").arg(QString::fromLatin1(test.test_suite_name()), QString::fromLatin1(test.name()));
    }
    // Called with gtest's lock held: nothing here may ask gtest anything.
    void OnTestPartResult(const ::testing::TestPartResult& result) override
    {
        if (!result.failed() || m_taken) return;
        m_taken = true;
        const QString path = QDir::current().absoluteFilePath(m_name);
        if (screenshot(path)) std::fprintf(stderr, "Capture de l’écran : %s\n", qPrintable(path));
    }
    QString m_name;
    bool m_taken = false;
};

} // namespace detail

inline int run(int argc, char** argv, QSize screen = QSize(1280, 720))
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    const auto display = std::make_unique<detail::Display>();
    if (!display->start(screen)) {
        std::fprintf(stderr, "Pas d’écran X (Xvfb et openbox) : tests de la vraie fenêtre sautés.\n");
        return skipped;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::UnitTest::GetInstance()->listeners().Append(new detail::ScreenshotOnFailure);
        status = RUN_ALL_TESTS();
    }
    return status;
}

} // namespace tavrin::test::realwindow
