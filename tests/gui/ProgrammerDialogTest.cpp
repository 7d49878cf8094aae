// The main window on the offscreen platform, each test with a profile of its
// own and the in-process pod emulator behind the pod link.

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QStyleOptionComboBox>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <memory>

#include "common/Clock.h"
#include "controls/BitmapButton.h"
#include "CoffWriter.h"
#include "common/ManualClock.h"
#include "controls/MessageLine.h"
#include "controls/PercentProgressBar.h"
#include "sim/PodEmulator.h"
#include "app/ProgrammerDialog.h"
#include "sim/SimPodBackend.h"
#include "app/SingleInstance.h"
#include "image/ProgramWriter.h"

using namespace cvl;
using namespace cvl::ui;

namespace {
const char* const kCommandButtons[] = {"1010", "1007", "1006", "1008", "1009", "1014", "1011"};

struct Shown {
    QString text;
    bool isError;
    QStringList disabledButtons;
};
}  // namespace

class ProgrammerDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> profileDir_;
    std::unique_ptr<sim::PodEmulator> pod_;
    ManualClock clock_;

    void setProfile(const std::function<void(QSettings&)>& fill = {}) {
        profileDir_ = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profileDir_->path());
        if (fill) {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                        QCoreApplication::applicationName());
            fill(s);
        }
    }
    QSettings profile() {
        return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillon"),
                         QCoreApplication::applicationName());
    }
    std::unique_ptr<ProgrammerDialog> makeDialog(sim::EmulatorOptions options = {}) {
        return makeDialogOn(clock_, std::move(options));
    }
    // On the real clock, for commands that must take time while the user acts.
    std::unique_ptr<ProgrammerDialog> makeDialogOn(Clock& clock, sim::EmulatorOptions options) {
        pod_ = std::make_unique<sim::PodEmulator>(options);
        return std::make_unique<ProgrammerDialog>(
            [this, &clock] { return std::make_unique<sim::SimPodBackend>(*pod_, clock); }, clock);
    }
    // The window as a process of its own, with its own runtime and settings folders.
    static QProcessEnvironment appEnvironment(const QTemporaryDir& runtime, const QTemporaryDir& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }
    static void activate(ProgrammerDialog& d) {
        d.show();
        QApplication::setActiveWindow(&d);
        QVERIFY(QTest::qWaitForWindowActive(&d));
    }
    static void wheel(QWidget* w, int notches) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    }
    template <typename W>
    static W* child(ProgrammerDialog& d, const char* id) {
        W* w = d.findChild<W*>(QString::fromLatin1(id));
        if (w == nullptr) qFatal("no control %s", id);
        return w;
    }
    // password: a csmpasswds section with these words, when given.
    QString programFile(const QString& name, std::vector<std::uint16_t> password = {}) {
        test::CoffLayout layout;
        test::TestSection s;
        s.name = ".text";
        s.address = 0x338000;
        for (int i = 0; i < 300; ++i) s.words.push_back(static_cast<std::uint16_t>(i));
        layout.sections = {s};
        if (!password.empty()) {
            test::TestSection pw;
            pw.name = "csmpasswds";
            pw.address = 0x33FFF8;
            pw.words = std::move(password);
            layout.sections.push_back(pw);
        }
        const QString path = profileDir_->filePath(name);
        const auto bytes = test::buildCoff(layout);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }
    // Records every message with the command buttons disabled at that moment.
    static void recordMessages(ProgrammerDialog& d, std::vector<Shown>& shown) {
        connect(&d, &ProgrammerDialog::messageShown, [&d, &shown](const QString& text, bool isError) {
            QStringList disabled;
            for (const char* id : kCommandButtons) {
                if (!child<BitmapButton>(d, id)->isEnabled()) disabled << id;
            }
            shown.push_back({text, isError, disabled});
        });
    }
    static void load(ProgrammerDialog& d, const QString& path) {
        child<QComboBox>(d, "1003")->setEditText(path);
        d.onLoad();
    }

private slots:
    // A command runs off the window's thread: the window keeps its event loop
    // (a timer fires during the write), and input made meanwhile (clicks, a
    // double click's second half, Esc, the close button) is dropped, not run
    // afterwards; the write's result stays on the line.
    void inputDuringACommandIsDroppedAndACloseWaitsForItsEnd() {
        setProfile();
        SteadyClock realClock;
        sim::EmulatorOptions o;
        o.wire.enabled = true;
        o.wire.podTimeUs = {{"K", 500'000}};
        auto d = makeDialogOn(realClock, o);
        activate(*d);
        load(*d, programFile("busy.out"));
        auto* write = child<BitmapButton>(*d, "1010");
        auto* reset = child<BitmapButton>(*d, "1007");
        bool fired = false;
        const QString title = d->windowTitle();
        QString titleWhileBusy;
        QTimer::singleShot(150, [&] {
            fired = true;
            QTest::mouseClick(reset, Qt::LeftButton);
            QTest::mouseClick(write, Qt::LeftButton);
            QTest::keyClick(d.get(), Qt::Key_Escape);
            titleWhileBusy = d->windowTitle();  // Esc alone tells the user why the window stays
            d->close();
            // What the window system had queued: the rest of a double click.
            const QPointF c(write->width() / 2.0, write->height() / 2.0);
            QCoreApplication::postEvent(write, new QMouseEvent(QEvent::MouseButtonDblClick, c, write->mapToGlobal(c),
                                                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(write, new QMouseEvent(QEvent::MouseButtonRelease, c, write->mapToGlobal(c),
                                                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        });
        QTest::mouseClick(write, Qt::LeftButton);
        QVERIFY(fired);
        QCoreApplication::processEvents();
        QCOMPARE(pod_->framesOf('N'), 1u);
        QCOMPARE(pod_->framesOf('R'), 1u);  // the write's own reset; no Target Reset
        QVERIFY(child<MessageLine>(*d, "1013")->text().startsWith("Flash Write Completed - "));
        QCOMPARE(titleWhileBusy, title + " - busy: the window closes once the command has ended");
        QVERIFY(!d->isVisible());  // as the title said: closed once the command ended
    }

    // Enter in File Path loads what is typed and Enter in POD File Name only
    // takes the name: neither closes the window. The key boxes take only
    // hexadecimal digits.
    void typingKeysDoWhatTheBoxesMean() {
        setProfile();
        auto d = makeDialog();
        activate(*d);
        const QString file = programFile("entered.out");
        const QString longer = programFile("entered.out.old");
        auto* path = child<QComboBox>(*d, "1003");
        path->setFocus();
        QTest::keyClicks(path->lineEdit(), longer);
        QTest::keyClick(path->lineEdit(), Qt::Key_Return);
        QCOMPARE(d->image().loadedPath, longer.toStdString());
        // A typed path that a recent file extends is loaded as typed, never completed.
        path->lineEdit()->selectAll();
        QTest::keyClicks(path->lineEdit(), file);
        QTest::keyClick(path->lineEdit(), Qt::Key_Return);
        QVERIFY(d->isVisible());
        QCOMPARE(d->image().loadedPath, file.toStdString());
        QCOMPARE(path->currentText(), file);

        auto* name = child<QLineEdit>(*d, "1005");
        name->setFocus();
        QTest::keyClicks(name, "JOB1");
        QTest::keyClick(name, Qt::Key_Return);
        QVERIFY(d->isVisible());
        QCOMPARE(name->text(), QStringLiteral("JOB1"));

        QTest::mouseClick(child<QCheckBox>(*d, "1015"), Qt::LeftButton);
        auto* key = child<QLineEdit>(*d, "1016");
        key->setFocus();
        key->selectAll();
        QTest::keyClicks(key, "12G4");
        QCOMPARE(key->text(), QStringLiteral("124"));
        key->selectAll();
        QTest::keyClicks(key, "-1x");
        QCOMPARE(key->text(), QStringLiteral("1"));
        key->selectAll();
        QTest::keyClicks(key, "abcde");
        QCOMPARE(key->text(), QStringLiteral("ABCD"));
        QTest::keyClick(key, Qt::Key_Return);  // takes the key; the window stays
        QVERIFY(d->isVisible());
        QCOMPARE(key->text(), QStringLiteral("ABCD"));
    }

    // Loads name the format they read; a raw binary asks where it goes, in
    // hexadecimal, and an address outside the device is refused there.
    void otherFormatsInTheWindow() {
        setProfile();
        auto d = makeDialog();
        activate(*d);
        load(*d, programFile("twin.out"));
        const auto hex = intelHexText(d->image());
        const auto bin = rawBinaryBytes(d->image());
        QVERIFY(bin.has_value());
        const QString hexPath = profileDir_->filePath("twin.hex");
        const QString binPath = profileDir_->filePath("twin.bin");
        {
            QFile h(hexPath), b(binPath);
            QVERIFY(h.open(QIODevice::WriteOnly) && b.open(QIODevice::WriteOnly));
            h.write(hex.data(), static_cast<qint64>(hex.size()));
            b.write(bin->data(), static_cast<qint64>(bin->size()));
        }
        load(*d, hexPath);
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("Reading Intel HEX file is successful"));

        QStringList refusals;
        bool asked = false;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->objectName() != QStringLiteral("binaryBase")) return;
            asked = true;
            auto* base = modal->findChild<QLineEdit*>(QStringLiteral("base"));
            QCOMPARE(base->text(), QStringLiteral("300000"));  // the F28335's flash start
            base->selectAll();
            QTest::keyClicks(base, "200000");
            QTest::keyClick(base, Qt::Key_Return);
            refusals << modal->findChild<QLabel*>(QStringLiteral("refusal"))->text();
            base->selectAll();
            QTest::keyClicks(base, "338000");
            QTest::keyClick(base, Qt::Key_Return);
        });
        auto* path = child<QComboBox>(*d, "1003");
        path->setFocus();
        path->lineEdit()->selectAll();
        QTest::keyClicks(path->lineEdit(), binPath);
        QTest::keyClick(path->lineEdit(), Qt::Key_Return);
        QVERIFY(asked);
        QCOMPARE(refusals, QStringList{"200000 is not a word address inside the F28335's flash or RAM"});
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("Reading raw binary file is successful"));
        QCOMPARE(d->image().sections.front().startAddress, 0x338000u);
        // The base given serves the commands too: Target Write asks nothing more.
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QVERIFY(child<MessageLine>(*d, "1013")->text().startsWith("Flash Write Completed - "));

        // Another binary, its base dialog cancelled from Target Write: the line says nothing was sent.
        const QString otherBin = profileDir_->filePath("other.bin");
        QVERIFY(QFile::copy(binPath, otherBin));
        const int framesBefore = static_cast<int>(pod_->framesOf('N'));
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) QTest::keyClick(modal, Qt::Key_Escape);
        });
        path->lineEdit()->selectAll();
        QTest::keyClicks(path->lineEdit(), otherBin);
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QCOMPARE(child<MessageLine>(*d, "1013")->text(),
                 QStringLiteral("No base address given for other.bin: nothing was sent"));
        QCOMPARE(static_cast<int>(pod_->framesOf('N')), framesBefore);
    }

    // A message longer than the line ends in an ellipsis and is whole in the
    // tooltip; the MCU list shows its longest entry whole.
    void longTextsCanBeRead() {
        setProfile();
        auto d = makeDialog();
        activate(*d);
        auto* line = child<MessageLine>(*d, "1013");
        const std::string longText(300, 'W');
        d->showMessage(longText, true);
        QVERIFY(line->shownText().endsWith(QChar(0x2026)));
        QCOMPARE(line->toolTip(), QString::fromStdString(longText));
        d->showMessage("Short", false);
        QCOMPARE(line->shownText(), QStringLiteral("Short"));
        QCOMPARE(line->toolTip(), QString());
        auto* mcu = child<QComboBox>(*d, "1000");
        const int longest = mcu->view()->fontMetrics().horizontalAdvance(mcu->itemText(2));
        QVERIFY(mcu->view()->minimumWidth() > longest);
        // The closed box shows the selected device whole: its text field is as wide as the text.
        for (int i = 0; i < mcu->count(); ++i) {
            mcu->setCurrentIndex(i);
            QStyleOptionComboBox option;
            option.initFrom(mcu);
            option.editable = false;
            option.currentText = mcu->itemText(i);
            const QRect field =
                mcu->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, mcu);
            QVERIFY2(field.width() >= mcu->fontMetrics().horizontalAdvance(mcu->itemText(i)),
                     qPrintable(mcu->itemText(i)));
        }
    }

    // Tab reaches the erase mode that is checked; Enter on "..." opens the file
    // dialog instead of closing the window.
    void keyboardReachesWhatItShould() {
        setProfile([](QSettings& s) { s.setValue("Main Configuration/EraseAll Mode", 1); });
        auto d = makeDialog();
        int chosen = 0;
        d->setFileChooser([&](QWidget*, const QString&) {
            ++chosen;
            return QString();
        });
        activate(*d);
        auto* browse = child<QPushButton>(*d, "1004");
        browse->setFocus();
        QTest::keyClick(browse, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<QRadioButton>(*d, "1002")));
        browse->setFocus();
        QTest::keyClick(browse, Qt::Key_Return);
        QCOMPARE(chosen, 1);
        QVERIFY(d->isVisible());
    }

    // The wheel turns the MCU and File Path boxes only when they have the focus.
    void wheelWithoutFocusChangesNothing() {
        setProfile();
        const QString first = programFile("first.out");
        const QString second = programFile("second.out");
        {
            QSettings s = profile();
            s.setValue("File List/Recent File0", first);
            s.setValue("File List/Recent File1", second);
        }
        auto d = makeDialog();
        activate(*d);
        auto* mcu = child<QComboBox>(*d, "1000");
        auto* path = child<QComboBox>(*d, "1003");
        child<QLineEdit>(*d, "1005")->setFocus();
        std::vector<Shown> shown;
        recordMessages(*d, shown);
        wheel(mcu, -1);
        wheel(path, -1);
        QCOMPARE(mcu->currentIndex(), 2);
        QCOMPARE(path->currentText(), first);
        QVERIFY(shown.empty());
        mcu->setFocus();
        wheel(mcu, 1);
        QCOMPARE(mcu->currentIndex(), 1);  // with the focus it turns
    }

    // What is typed in File Path is what is loaded, byte for byte, whatever the
    // recent list holds and wherever the focus goes.
    void typedPathSurvivesFocusLoss() {
        setProfile();
        const QString lower = programFile("prog09.out");
        const QString upper = programFile("PROG09.out");
        profile().setValue("File List/Recent File0", lower);
        auto d = makeDialog();
        activate(*d);
        auto* path = child<QComboBox>(*d, "1003");
        path->setFocus();
        path->lineEdit()->selectAll();
        QTest::keyClicks(path->lineEdit(), upper);
        child<QLineEdit>(*d, "1005")->setFocus();  // focus leaves the box
        QCOMPARE(path->currentText(), upper);
        QTest::mouseClick(child<BitmapButton>(*d, "1006"), Qt::LeftButton);
        QCOMPARE(d->image().loadedPath, upper.toStdString());
        QCOMPARE(QString::fromStdString(d->image().fileName), QStringLiteral("PROG09"));
    }

    // The POD file name box takes 8 bytes of whole characters, and the name
    // comes back from the pod as it was typed.
    void koreanPodFileNameRoundTrips() {
        setProfile();
        auto d = makeDialog();
        activate(*d);
        load(*d, programFile("named.out"));
        auto* name = child<QLineEdit>(*d, "1005");
        name->setFocus();
        for (const QChar c : QStringLiteral("모터제어")) {  // typed as an input method delivers it
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(name, &press);
        }
        QCOMPARE(name->text(), QStringLiteral("모터"));
        QTest::mouseClick(child<BitmapButton>(*d, "1008"), Qt::LeftButton);
        QVERIFY(child<MessageLine>(*d, "1013")->text().startsWith("EEPROM Write Completed - "));
        QCOMPARE(name->text(), QStringLiteral("모터"));
        QTest::mouseClick(child<BitmapButton>(*d, "1014"), Qt::LeftButton);
        QVERIFY(child<MessageLine>(*d, "1013")
                    ->text()
                    .startsWith(QStringLiteral("POD Ver: 1.2, POD File Name: 모터 [when")));
    }

    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("corvexlink-test")); }

    void firstRunDefaults() {
        setProfile();
        auto d = makeDialog();
        // The title names the pod the next command uses.
        QCOMPARE(d->windowTitle(), QStringLiteral("TMS320F283x DSP Programmer Ver1.0 - Quillon - POD CVLSIM01"));
        QCOMPARE(child<QComboBox>(*d, "1000")->currentIndex(), 2);
        QCOMPARE(child<QComboBox>(*d, "1000")->count(), 3);
        QCOMPARE(child<QComboBox>(*d, "1000")->itemText(0), QStringLiteral("F28332 - 100MHz (20MHz * 5)"));
        QVERIFY(child<QRadioButton>(*d, "1001")->isChecked());
        QVERIFY(!child<QCheckBox>(*d, "1015")->isChecked());
        for (int n = 0; n < 8; ++n) {
            auto* box = child<QLineEdit>(*d, QByteArray::number(1016 + n).constData());
            QCOMPARE(box->text(), QStringLiteral("FFFF"));
            QVERIFY(!box->isEnabled());
            QCOMPARE(box->maxLength(), 4);
            QCOMPARE(child<QLabel>(*d, QByteArray::number(1024 + n).constData())->text(),
                     QString::asprintf("KEY%d (0x%06X)", n, 0x33FFF8 + n));
        }
        QCOMPARE(child<QComboBox>(*d, "1003")->currentText(), QString());
        QCOMPARE(child<QLineEdit>(*d, "1005")->text(), QString());
        QCOMPARE(child<QLineEdit>(*d, "1005")->maxLength(), 8);
        QCOMPARE(d->image().imageLoaded, 0);
        auto* line = child<MessageLine>(*d, "1013");
        QCOMPARE(line->text(), QStringLiteral("Connection to Corvexlink POD is successful (CVLSIM01)"));
        QCOMPARE(line->textColour(), QColor(0, 0, 0));
        QCOMPARE(line->backColour(), QColor(0, 255, 0));
        for (const char* id : kCommandButtons) QVERIFY(child<BitmapButton>(*d, id)->hasPicture());
    }

    void storedMcuTypeIsClampedOrTruncated() {
        setProfile([](QSettings& s) { s.setValue("Main Configuration/MCU Type", 7); });
        {
            auto d = makeDialog();
            QCOMPARE(child<QComboBox>(*d, "1000")->currentIndex(), 2);
        }
        QCOMPARE(profile().value("Main Configuration/MCU Type").toInt(), 2);
        setProfile([](QSettings& s) { s.setValue("Main Configuration/MCU Type", 256); });
        auto d = makeDialog();
        QCOMPARE(child<QComboBox>(*d, "1000")->currentIndex(), 0);
    }

    void storedKeysShownDisabledUntilCsmIsChecked() {
        setProfile([](QSettings& s) {
            s.setValue("Main Configuration/CSM Use Option", 0);
            s.setValue("Main Configuration/PW KEY0", 0x1234);
            s.setValue("Main Configuration/PW KEY7", 0xabc);
        });
        auto d = makeDialog();
        auto* key0 = child<QLineEdit>(*d, "1016");
        QCOMPARE(key0->text(), QStringLiteral("1234"));
        QCOMPARE(child<QLineEdit>(*d, "1023")->text(), QStringLiteral("0ABC"));
        QVERIFY(!key0->isEnabled());
        QTest::mouseClick(child<QCheckBox>(*d, "1015"), Qt::LeftButton);
        QVERIFY(key0->isEnabled());
        QCOMPARE(key0->text(), QStringLiteral("1234"));
        QTest::mouseClick(child<QCheckBox>(*d, "1015"), Qt::LeftButton);
        QVERIFY(!key0->isEnabled());
    }

    void keySaveRules() {
        setProfile([](QSettings& s) { s.setValue("Main Configuration/CSM Use Option", 1); });
        {
            auto d = makeDialog();
            for (int n = 0; n < 8; ++n) child<QLineEdit>(*d, QByteArray::number(1016 + n).constData())->setText("0000");
        }
        for (int n = 0; n < 8; ++n)
            QCOMPARE(profile().value(QString("Main Configuration/PW KEY%1").arg(n)).toInt(), 65535);
        {
            auto d = makeDialog();
            QVERIFY(child<QCheckBox>(*d, "1015")->isChecked());
            QCOMPARE(child<QLineEdit>(*d, "1016")->text(), QStringLiteral("FFFF"));
            for (int n = 0; n < 8; ++n) child<QLineEdit>(*d, QByteArray::number(1016 + n).constData())->setText("1234");
            child<QLineEdit>(*d, "1019")->setText("");
        }
        QCOMPARE(profile().value("Main Configuration/PW KEY3").toInt(), 65535);
        QCOMPARE(profile().value("Main Configuration/PW KEY0").toInt(), 4660);
        {
            auto d = makeDialog();
            child<QCheckBox>(*d, "1015")->setChecked(false);
        }
        QCOMPARE(profile().value("Main Configuration/CSM Use Option").toInt(), 0);
        QCOMPARE(profile().value("Main Configuration/PW KEY0").toInt(), 65535);
    }

    void podFileNameIsNotTakenFromTheBox() {
        setProfile([](QSettings& s) { s.setValue("Main Configuration/EEP File Name", "MOTOR1"); });
        {
            auto d = makeDialog();
            QCOMPARE(child<QLineEdit>(*d, "1005")->text(), QStringLiteral("MOTOR1"));
            child<QLineEdit>(*d, "1005")->setText("OTHER");
        }
        QCOMPARE(profile().value("Main Configuration/EEP File Name").toString(), QStringLiteral("MOTOR1"));
    }

    void recentFiles() {
        setProfile();
        QStringList files;
        for (int i = 0; i < 11; ++i) files << programFile(QStringLiteral("p%1.out").arg(i));
        {
            auto d = makeDialog();
            load(*d, files[0]);
            QCOMPARE(d->recentFiles(), QStringList{files[0]});
            for (int i = 1; i < 11; ++i) load(*d, files[i]);
            QCOMPARE(d->recentFiles().size(), 10);
            QCOMPARE(d->recentFiles().front(), files[10]);
            QVERIFY(!d->recentFiles().contains(files[0]));  // the eleventh dropped the oldest
            load(*d, files[5]);
            QCOMPARE(d->recentFiles().front(), files[5]);
            QCOMPARE(d->recentFiles().count(files[5]), 1);
            auto* box = child<QComboBox>(*d, "1003");
            QCOMPARE(box->count(), 10);
            for (int i = 0; i < 10; ++i) QCOMPARE(box->itemText(i), d->recentFiles().at(i));
            // Paths differing in letter case are different entries.
            const QString upper = profileDir_->filePath("P10.OUT");
            QFile::copy(files[10], upper);
            load(*d, upper);
            QCOMPARE(d->recentFiles().front(), upper);
            QVERIFY(d->recentFiles().contains(files[10]));
        }
        QFile::remove(files[5]);
        auto d = makeDialog();
        QVERIFY(!d->recentFiles().contains(files[5]));
        QCOMPARE(d->recentFiles().front(), profileDir_->filePath("P10.OUT"));
        QCOMPARE(d->image().imageLoaded, 1);  // the most recent file is loaded at start
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("Reading COFF file is successful"));
    }

    void loadMessages() {
        setProfile();
        auto d = makeDialog();
        load(*d, "   ");
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("Please, specify COFF file to read"));
        QCOMPARE(child<MessageLine>(*d, "1013")->textColour(), QColor(255, 0, 0));
        load(*d, "/nonexistent.out");
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("The specified COFF file isn't exist"));
        d->showMessage("", false);
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QString());  // the caption is drawn instead
        QCOMPARE(child<MessageLine>(*d, "1013")->caption(), QStringLiteral("Message"));
        QCOMPARE(child<MessageLine>(*d, "1013")->textColour(), QColor(0, 0, 0));
    }

    void targetWriteRunsTheBusyBracket() {
        setProfile();
        auto d = makeDialog();
        activate(*d);
        std::vector<Shown> shown;
        recordMessages(*d, shown);
        child<QComboBox>(*d, "1003")->setEditText(programFile("write.out"));
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        // Disabling the focused button moved the focus on: it comes back.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child<BitmapButton>(*d, "1010")));

        const QStringList expected = {"Reading COFF file is successful",
                                      "Starting SCI Boot...",
                                      "Downloading Flash Algorithm Code [Max: 10 sec]...",
                                      "Initializing target board for flash memory write...",
                                      "Erasing Flash Memory...",
                                      "Writing Flash Memory..."};
        QCOMPARE(static_cast<int>(shown.size()), expected.size() + 1);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(shown[i].text, expected[i]);
            QVERIFY(!shown[i].isError);
        }
        QVERIFY(shown[0].disabledButtons.isEmpty());  // the load runs before the bracket
        for (int i = 1; i < expected.size(); ++i) QCOMPARE(shown[i].disabledButtons.size(), 7);
        QVERIFY(shown.back().text.startsWith("Flash Write Completed - "));
        QVERIFY(shown.back().text.endsWith(" sec"));
        QCOMPARE(shown.back().disabledButtons.size(), 7);  // shown before the buttons come back
        for (const char* id : kCommandButtons) QVERIFY(child<BitmapButton>(*d, id)->isEnabled());
        QCOMPARE(child<PercentProgressBar>(*d, "1012")->pos(), 0);
        QCOMPARE(d->waitCursorCount(), 0);
        QCOMPARE(pod_->target().flashWord(0x338000 + 299), 299);

        QTest::mouseClick(child<BitmapButton>(*d, "1007"), Qt::LeftButton);
        QCOMPARE(shown.back().text, QStringLiteral("Target board's reset is successful"));
        QVERIFY(shown.back().disabledButtons.isEmpty());
    }

    // A program that would lock the chip is written only after a yes, asked
    // once per loaded file; the window offers no way past an all-zero password.
    void lockingProgramAsksOncePerLoadedFile() {
        setProfile();
        auto d = makeDialog();
        QStringList asked;
        bool answer = false;
        d->setQuestion([&](QWidget*, const QString& text) {
            asked << text;
            return answer;
        });
        auto* line = child<MessageLine>(*d, "1013");
        load(*d, programFile("lock.out", {1, 2, 3, 4, 5, 6, 7, 8}));
        QVERIFY(line->text().startsWith("Warning: the program sets a CSM password but the reserved words"));
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(line->text(), QStringLiteral("The program sets a CSM password, which locks the device: not written "
                                              "without confirmation"));
        QCOMPARE(pod_->framesOf('I'), 0u);
        answer = true;
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QCOMPARE(asked.size(), 2);
        QVERIFY(line->text().startsWith("Flash Write Completed - "));
        QTest::mouseClick(child<BitmapButton>(*d, "1008"), Qt::LeftButton);  // POD Write of the same load
        QCOMPARE(asked.size(), 2);
        QVERIFY(line->text().startsWith("EEPROM Write Completed - "));
        load(*d, programFile("lock.out", {1, 2, 3, 4, 5, 6, 7, 8}));  // loaded again: asked again
        answer = false;
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QCOMPARE(asked.size(), 3);

        load(*d, programFile("zero.out", {0, 0, 0, 0, 0, 0, 0, 0}));
        answer = true;
        const auto writes = pod_->framesOf('I');
        QTest::mouseClick(child<BitmapButton>(*d, "1010"), Qt::LeftButton);
        QCOMPARE(asked.size(), 3);
        QCOMPARE(line->text(), QStringLiteral("The program's CSM password is all zero, which locks the device "
                                              "permanently: not written"));
        QCOMPARE(pod_->framesOf('I'), writes);
    }

    void failedTargetWriteIsRed() {
        setProfile();
        sim::EmulatorOptions o;
        o.faults = {{sim::FaultKind::WrongAck, 'O', 2, 0}};
        auto d = makeDialog(o);
        load(*d, programFile("fail.out"));
        d->onTargetWrite();
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("Fail to erase flash memory"));
        QCOMPARE(child<MessageLine>(*d, "1013")->textColour(), QColor(255, 0, 0));
        for (const char* id : kCommandButtons) QVERIFY(child<BitmapButton>(*d, id)->isEnabled());
        QCOMPARE(child<PercentProgressBar>(*d, "1012")->pos(), 0);
    }

    void failedConnectionNeverDisablesTheButtons() {
        setProfile();
        sim::EmulatorOptions o;
        o.description = "Some Other Device";
        auto d = makeDialog(o);
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("No Connection to Corvexlink POD"));
        load(*d, programFile("noconn.out"));
        bool everDisabled = false;
        connect(d.get(), &ProgrammerDialog::messageShown, [&](const QString&, bool) {
            for (const char* id : kCommandButtons) everDisabled |= !child<BitmapButton>(*d, id)->isEnabled();
        });
        d->onTargetWrite();
        QCOMPARE(child<MessageLine>(*d, "1013")->text(), QStringLiteral("No Connection to Corvexlink POD"));
        QCOMPARE(child<MessageLine>(*d, "1013")->textColour(), QColor(255, 0, 0));
        QVERIFY(!everDisabled);
        QCOMPARE(child<PercentProgressBar>(*d, "1012")->pos(), 0);
    }

    void podButtons() {
        setProfile();
        auto d = makeDialog();
        std::vector<Shown> shown;
        recordMessages(*d, shown);
        child<QComboBox>(*d, "1003")->setEditText(programFile("motorcontrol.out"));
        QTest::mouseClick(child<BitmapButton>(*d, "1008"), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(*d, "1005")->text(), QStringLiteral("motorcon"));  // the file's name, cut to 8
        QCOMPARE(d->podFileName(), QStringLiteral("motorcon"));
        QVERIFY(shown.back().text.startsWith("EEPROM Write Completed - "));
        bool sawBusyStep = false;
        for (const Shown& m : shown) {
            if (m.text == "Writing user program in serial flash...") sawBusyStep = m.disabledButtons.size() == 7;
        }
        QVERIFY(sawBusyStep);
        for (const char* id : kCommandButtons) QVERIFY(child<BitmapButton>(*d, id)->isEnabled());
        QCOMPARE(d->waitCursorCount(), 0);

        QTest::mouseClick(child<BitmapButton>(*d, "1009"), Qt::LeftButton);
        QVERIFY(shown.back().text.startsWith("EEPROM Verify Completed - "));
        QTest::mouseClick(child<BitmapButton>(*d, "1014"), Qt::LeftButton);
        QVERIFY(shown.back().text.startsWith("POD Ver: 1.2, POD File Name: motorcon [when "));
        QVERIFY(shown.back().disabledButtons.isEmpty());

        child<QLineEdit>(*d, "1005")->setText(" NEWNAME");  // the box holds 8 characters
        d->onPodWrite();
        QCOMPARE(d->podFileName(), QStringLiteral("NEWNAME"));
        d.reset();
        QCOMPARE(profile().value("Main Configuration/EEP File Name").toString(), QStringLiteral("NEWNAME"));
    }

    QString profilePath() { return profile().fileName(); }

    void damagedProfileGivesDefaults() {
        setProfile();
        QDir().mkpath(QFileInfo(profilePath()).path());
        {
            QFile f(profilePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("\x00\xff[Main Configuration\nMCU Type=\x01\x02\n==\n[[[\n\xfe\xfe");
        }
        auto d = makeDialog();
        QCOMPARE(child<QComboBox>(*d, "1000")->currentIndex(), 2);
        QCOMPARE(child<QLineEdit>(*d, "1016")->text(), QStringLiteral("FFFF"));
    }

    void wrongKindsAndHugeValues() {
        const QString huge(4'000'000, QLatin1Char('x'));
        setProfile([&](QSettings& s) {
            s.setValue("Main Configuration/MCU Type", "abc");
            s.setValue("Main Configuration/PW KEY0", QStringList{"1", "2"});
            s.setValue("Main Configuration/PW KEY1", -1);
            s.setValue("Main Configuration/PW KEY2", "99999999999999999999");
            s.setValue("Main Configuration/EEP File Name", huge);
            s.setValue("Main Configuration/File Directory", huge);
            s.setValue("File List/Recent File0", huge);
        });
        auto d = makeDialog();
        QCOMPARE(child<QComboBox>(*d, "1000")->currentIndex(), 2);
        QCOMPARE(child<QLineEdit>(*d, "1016")->text(), QStringLiteral("FFFF"));
        QCOMPARE(child<QLineEdit>(*d, "1017")->text(), QStringLiteral("FFFF"));  // -1: low 16 bits
        QCOMPARE(child<QLineEdit>(*d, "1005")->text().size(), 8);                // the box keeps 8 characters
        QVERIFY(d->recentFiles().isEmpty());
    }

    void fullDiskAtExitKeepsThePreviousProfile() {
        setProfile([](QSettings& s) {
            s.setValue("Main Configuration/MCU Type", 1);
            s.setValue("Main Configuration/EEP File Name", "KEEPME");
        });
        const QString path = profilePath();
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QVERIFY(!before.isEmpty());
        {
            auto d = makeDialog();
            child<QComboBox>(*d, "1000")->setCurrentIndex(0);
            // The disk fills up: no file may grow past 16 bytes while the settings are written.
            signal(SIGXFSZ, SIG_IGN);
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit tiny = old;
            tiny.rlim_cur = 16;
            setrlimit(RLIMIT_FSIZE, &tiny);
            d.reset();
            setrlimit(RLIMIT_FSIZE, &old);
        }
        // Read it as the next start would find it (a QSettings object here would
        // write this process's unsaved changes now that there is room again).
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);  // neither truncated nor lost
    }

    void escapeClosesAndSaves() {
        setProfile();
        auto d = makeDialog();
        d->show();
        child<QComboBox>(*d, "1000")->setCurrentIndex(0);
        QTest::keyClick(d.get(), Qt::Key_Escape);
        QVERIFY(!d->isVisible());
        d.reset();
        QCOMPARE(profile().value("Main Configuration/MCU Type").toInt(), 0);
    }

    // The profile holds the CSM keys: only its owner may read it, even when an
    // older version left it readable.
    void profileWithKeysIsPrivate() {
        setProfile([](QSettings& s) {
            s.setValue("Main Configuration/CSM Use Option", 1);
            s.setValue("Main Configuration/PW KEY0", 0x1234);
        });
        const QString file = profile().fileName();
        const QString folder = QFileInfo(file).absolutePath();
        QFile::setPermissions(file, QFile::permissions(file) | QFileDevice::ReadOther | QFileDevice::ReadGroup);
        QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::ReadOther | QFileDevice::ExeOther);
        auto d = makeDialog();
        d.reset();  // saves
        const auto others = QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup;
        QCOMPARE(QFile::permissions(file) & others, QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(folder) & others, QFileDevice::Permissions());
        QCOMPARE(profile().value("Main Configuration/PW KEY0").toInt(), 0x1234);
    }

    void browseSetsTheFolderAndLoads() {
        setProfile();
        auto d = makeDialog();
        const QString path = programFile("browsed.out");
        d->setFileChooser([&](QWidget*, const QString&) { return path; });
        d->onBrowse();
        QCOMPARE(d->fileDirectory(), profileDir_->path() + "/");
        QCOMPARE(profile().value("Main Configuration/File Directory").toString(), profileDir_->path() + "/");
        QCOMPARE(d->image().imageLoaded, 1);
        d->setFileChooser([](QWidget*, const QString&) { return QString(); });
        d->onBrowse();  // cancelled: nothing changes
        QCOMPARE(child<QComboBox>(*d, "1003")->currentText(), path);
    }

    void progressBarRepaintsOncePerPixel() {
        PercentProgressBar bar;
        bar.resize(400, 20);
        bar.setRange(0, 262144);
        bar.setStep(1);
        bar.setPos(0);
        const int before = bar.repaintCount();
        for (int i = 0; i < 262144; ++i) bar.stepIt();
        QCOMPARE(bar.repaintCount() - before, 400);
        QCOMPARE(bar.percentText(), QStringLiteral("100%"));
        bar.setRange(0, 3);
        bar.setPos(1);
        QCOMPARE(bar.fillWidth(), 133);
        QCOMPARE(bar.percentText(), QStringLiteral("33%"));
        bar.setRange(5, 5);  // empty range: an empty bar, no division by zero
        bar.setPos(7);
        QCOMPARE(bar.fillWidth(), 0);
        QCOMPARE(bar.percentText(), QStringLiteral("0%"));
        const int count = bar.repaintCount();
        bar.resize(300, 20);
        bar.setPos(7);
        QCOMPARE(bar.repaintCount(), count + 1);  // a resize forces the next repaint
    }

    void singleInstance() {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        {
            SingleInstance first(QStringLiteral("Corvexlink"));
            QVERIFY(first.acquire());
            SingleInstance second(QStringLiteral("Corvexlink"));
            QVERIFY(!second.acquire());
        }
        SingleInstance again(QStringLiteral("Corvexlink"));
        QVERIFY(again.acquire());  // released when its holder went away
    }

    // A second start brings the running window to the front and ends with 0.
    void secondStartActivatesTheFirst() {
        QTemporaryDir runtime, home;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        SingleInstance running(QStringLiteral("Corvexlink"));
        // A lock counts as held when its process runs under the name it recorded.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QVERIFY(running.acquire());
        QCoreApplication::setApplicationName(name);
        QSignalSpy activated(&running, &SingleInstance::activationRequested);
        const QProcessEnvironment env = appEnvironment(runtime, home);
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(CORVEXLINK_APP_PATH), {});
        QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 10000);
        if (second.state() != QProcess::NotRunning) QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }

    void secondProcessEndsAtOnce() {
        QTemporaryDir runtime, home;
        const QProcessEnvironment env = appEnvironment(runtime, home);
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(CORVEXLINK_APP_PATH), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(runtime.filePath("Corvexlink.lock")), 10000);
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(CORVEXLINK_APP_PATH), {});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();  // a crash: the lock file stays behind
        first.waitForFinished();
        QVERIFY(QFile::exists(runtime.filePath("Corvexlink.lock")));
        QVERIFY(!QFile::exists(home.filePath("Quillon/corvexlink.conf")));  // nobody wrote settings

        QProcess third;  // the stale lock does not block the next start
        third.setProcessEnvironment(env);
        third.start(QStringLiteral(CORVEXLINK_APP_PATH), {});
        QVERIFY(third.waitForStarted());
        QVERIFY(!third.waitForFinished(1500));
        third.kill();
        third.waitForFinished();
    }
};

QTEST_MAIN(ProgrammerDialogTest)
#include "ProgrammerDialogTest.moc"
