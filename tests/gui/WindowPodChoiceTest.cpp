// The window chooses its pod from the pods listed when each command starts,
// against real corvexlink-podsim processes and real pseudo-terminals.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "CoffWriter.h"
#include "PodsimProcess.h"
#include "app/ProgrammerDialog.h"
#include "common/Clock.h"
#include "controls/BitmapButton.h"
#include "controls/MessageLine.h"
#include "pod/SystemBackends.h"

using namespace cvl;
using namespace cvl::ui;
namespace fs = std::filesystem;

namespace {
// A pseudo-terminal nobody announced: its master end, held by the test.
struct PlainPty {
    int master = -1;
    std::string path;
    ~PlainPty() {
        if (master >= 0) ::close(master);
    }
    // Bytes that reached the terminal so far.
    std::string received() const {
        std::string bytes;
        char buffer[256];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
        return bytes;
    }
};

// Opens plain pseudo-terminals until one gets path (the system hands out the
// lowest free number, so the one an emulator just gave back comes soon).
std::unique_ptr<PlainPty> plainPtyAt(const std::string& path) {
    std::vector<std::unique_ptr<PlainPty>> others;
    for (int tries = 0; tries < 64; ++tries) {
        auto pty = std::make_unique<PlainPty>();
        pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0) return nullptr;
        pty->path = ptsname(pty->master);
        if (pty->path == path) return pty;
        others.push_back(std::move(pty));
    }
    return nullptr;
}

std::vector<std::uint8_t> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Whether a podsim byte trace holds any byte the host sent.
bool hostSentAnything(const fs::path& trace) {
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);) {
        if (line.find("host>pod") != std::string::npos) return true;
    }
    return false;
}
}  // namespace

class WindowPodChoiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    SteadyClock clock_;

    QString programFile() {
        test::CoffLayout layout;
        test::TestSection s;
        s.name = ".text";
        s.address = 0x338000;
        for (int i = 0; i < 300; ++i) s.words.push_back(static_cast<std::uint16_t>(0x1200 + i));
        layout.sections = {s};
        const QString path = dir_->filePath(QStringLiteral("board.out"));
        const auto bytes = test::buildCoff(layout);
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::unique_ptr<ProgrammerDialog> window() {
        auto d = std::make_unique<ProgrammerDialog>(loadSystemBackends, clock_);
        d->show();
        return d;
    }
    static void typePath(ProgrammerDialog& d, const QString& path) {
        auto* box = d.findChild<QComboBox*>(QStringLiteral("1003"));
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), path);
    }
    static QString line(ProgrammerDialog& d) { return d.findChild<MessageLine*>(QStringLiteral("1013"))->text(); }
    static void clickTargetWrite(ProgrammerDialog& d) {
        QTest::mouseClick(d.findChild<BitmapButton*>(QStringLiteral("1010")), Qt::LeftButton);
    }
    // Answers the pod chooser when it opens: keys pressed in its list.
    static void answerChooser(const std::function<void(QListWidget&)>& keys, bool& asked) {
        QTimer::singleShot(0, [keys, &asked] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->objectName() != QStringLiteral("choosePod")) return;
            asked = true;
            keys(*modal->findChild<QListWidget*>(QStringLiteral("pods")));
        });
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_->path());
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(test::scratch("runtime").string()));
    }

    // The pod goes away and a plain terminal takes its path: Target Write
    // sends it nothing and fails. A pod started later is found and programmed
    // without a restart.
    void aPodThatWentAwayIsNeverReachedThroughItsPath() {
        auto first = std::make_unique<test::Podsim>(std::vector<std::string>{"--serial", "GUI-FIRST"});
        QVERIFY(first->ready());
        const std::string oldPath = first->path();
        auto d = window();
        QCOMPARE(line(*d), QStringLiteral("Connection to Corvexlink POD is successful (GUI-FIRST)"));
        QVERIFY(d->windowTitle().endsWith(QStringLiteral(" - POD GUI-FIRST")));
        typePath(*d, programFile());
        first.reset();  // the emulator ends and withdraws its pod

        const auto trap = plainPtyAt(oldPath);
        if (!trap) QSKIP("the system did not hand out the emulator's terminal again");
        clickTargetWrite(*d);
        QCOMPARE(line(*d), QStringLiteral("No Connection to Corvexlink POD"));
        QCOMPARE(trap->received(), std::string());
        QVERIFY(!d->windowTitle().contains(QStringLiteral("GUI-FIRST")));

        const fs::path flash = test::scratch("gui-second.flash");
        test::Podsim second({"--serial", "GUI-SECOND", "--flash", flash.string()});
        QVERIFY(second.ready());
        clickTargetWrite(*d);
        QVERIFY2(line(*d).startsWith(QStringLiteral("Flash Write Completed - ")), qPrintable(line(*d)));
        QCOMPARE(trap->received(), std::string());
        QCOMPARE(d->podSerial(), QStringLiteral("GUI-SECOND"));
        QVERIFY(d->windowTitle().endsWith(QStringLiteral(" - POD GUI-SECOND")));
        QCOMPARE(second.stop(), 0);
        const auto bytes = readBytes(flash);
        const std::size_t at = 2 * (0x338000 - 0x300000);
        QVERIFY(bytes.size() > at + 600);
        for (std::size_t i = 0; i < 300; ++i) {
            QCOMPARE(bytes[at + 2 * i] | bytes[at + 2 * i + 1] << 8, static_cast<int>(0x1200 + i));
        }
    }

    // Two pods and no choice: nothing is sent until the user picks one; the
    // pick is remembered in the profile and the other pod is never touched.
    void twoPodsAreAskedAboutBeforeAnythingIsSent() {
        const fs::path traceA = test::scratch("gui-a.trace");
        const fs::path traceB = test::scratch("gui-b.trace");
        auto a = std::make_unique<test::Podsim>(
            std::vector<std::string>{"--serial", "GUI-A", "--name", "gui-a", "--trace", traceA.string()});
        auto b = std::make_unique<test::Podsim>(
            std::vector<std::string>{"--serial", "GUI-B", "--name", "gui-b", "--trace", traceB.string()});
        QVERIFY(a->ready() && b->ready());
        auto d = window();
        QCOMPARE(line(*d), QStringLiteral("2 Corvexlink PODs are attached: the first command asks which one to use"));
        typePath(*d, programFile());

        bool asked = false;
        answerChooser([](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Escape); }, asked);
        clickTargetWrite(*d);
        QVERIFY(asked);
        QCOMPARE(line(*d), QStringLiteral("No Corvexlink POD chosen: nothing was sent"));
        QCOMPARE(d->podSerial(), QString());

        asked = false;
        QString picked;
        answerChooser(
            [&picked](QListWidget& list) {
                QTest::keyClick(&list, Qt::Key_Down);
                picked = list.currentItem()->text().section(QLatin1Char(' '), 0, 0);
                QTest::keyClick(&list, Qt::Key_Return);
            },
            asked);
        clickTargetWrite(*d);
        QVERIFY(asked);
        QVERIFY2(line(*d).startsWith(QStringLiteral("Flash Write Completed - ")), qPrintable(line(*d)));
        QCOMPARE(d->podSerial(), picked);
        QCOMPARE(QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                           QCoreApplication::applicationName())
                     .value(QStringLiteral("Main Configuration/POD Serial Number"))
                     .toString(),
                 picked);

        // The choice stands: the next command asks nothing.
        asked = false;
        answerChooser([](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Escape); }, asked);
        clickTargetWrite(*d);
        QVERIFY(!asked);
        QVERIFY(line(*d).startsWith(QStringLiteral("Flash Write Completed - ")));

        d.reset();
        a.reset();
        b.reset();
        const bool pickedA = picked == QStringLiteral("GUI-A");
        QVERIFY(hostSentAnything(pickedA ? traceA : traceB));
        QVERIFY(!hostSentAnything(pickedA ? traceB : traceA));
    }

    // The pod chosen before is gone and another is the only one attached: the
    // window asks before it sends anything, and keeps the choice when the
    // user cancels; the title names no pod meanwhile.
    void anotherPodIsNeverTakenForTheOneChosenBefore() {
        const fs::path trace = test::scratch("gui-other.trace");
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                  QCoreApplication::applicationName())
            .setValue(QStringLiteral("Main Configuration/POD Serial Number"), QStringLiteral("GUI-GONE"));
        test::Podsim other({"--serial", "GUI-OTHER", "--trace", trace.string()});
        QVERIFY(other.ready());
        auto d = window();
        QCOMPARE(line(*d), QStringLiteral("The Corvexlink POD chosen before (GUI-GONE) is not attached: the first "
                                          "command asks which one to use"));
        QVERIFY(!d->windowTitle().contains(QStringLiteral(" - POD ")));
        typePath(*d, programFile());
        bool asked = false;
        answerChooser([](QListWidget& list) { QTest::keyClick(&list, Qt::Key_Escape); }, asked);
        clickTargetWrite(*d);
        QVERIFY(asked);
        QCOMPARE(line(*d), QStringLiteral("No Corvexlink POD chosen: nothing was sent"));
        QCOMPARE(d->podSerial(), QStringLiteral("GUI-GONE"));
        QVERIFY(!d->windowTitle().contains(QStringLiteral(" - POD ")));
        d.reset();
        QCOMPARE(other.stop(), 0);
        QVERIFY(!hostSentAnything(trace));
    }

    // A runtime folder other users can write to: its virtual pods are
    // ignored, and the window's first line says why, as the tool prints it.
    void aPodFolderOthersCanWriteIsNamedOnTheMessageLine() {
        const fs::path open = test::scratch("shared-runtime");
        fs::create_directories(open / "corvexlink");
        fs::permissions(open / "corvexlink", fs::perms::all);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(open.string()));
        const std::vector<std::string> warnings = backendWarnings();
        QCOMPARE(warnings.size(), std::size_t{1});
        auto d = window();
        QVERIFY(line(*d).contains(QString::fromStdString(warnings.front())));
        QVERIFY(line(*d).startsWith(QString::fromUtf8(outcomeMessage(OutcomeCode::PodNotFound).data())));
    }

    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("corvexlink-pod-choice-test")); }
};

QTEST_MAIN(WindowPodChoiceTest)
#include "WindowPodChoiceTest.moc"
