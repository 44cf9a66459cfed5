// SPDX-License-Identifier: GPL-3.0-or-later
// The listening-test options: each one's effect on real files made by SoX, the pitch draws
// in numbers, and how the options are kept.
#include "SoundFiles.h"
#include "Spectrum.h"
#include "ToneRun.h"
#include "app/options/OptionsPanel.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "set/AnswerKey.h"
#include "settings/IniText.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <map>

namespace {

SoundSamples samplesOf(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return decodeWav(file.readAll()).value_or(SoundSamples{});
}

// Peak and RMS in dBFS of one channel between two times.
struct Level {
    double peak = -200;
    double rms = -200;
};
Level levelOf(const SoundSamples& sound, int channel, double from, double to) {
    double peak = 0;
    double sum = 0;
    qint64 count = 0;
    const auto first = qint64(from * sound.sampleRate);
    const auto last = qint64(to * sound.sampleRate);
    for (qint64 frame = first; frame < last; ++frame) {
        const double sample = sound.samples[size_t(frame * sound.channels + channel)];
        peak = std::max(peak, std::abs(sample));
        sum += sample * sample;
        ++count;
    }
    const auto dB = [](double value) { return value > 0 ? 20 * std::log10(value) : -200.0; };
    return {dB(peak), dB(std::sqrt(sum / double(std::max<qint64>(count, 1))))};
}

// Pearson's chi-square statistic of the counts against equal expectation.
double chiSquare(const std::map<int, int>& counts, int bins, int draws) {
    const double expected = double(draws) / bins;
    double statistic = 0;
    for (int bin = 0; bin < bins; ++bin) {
        const auto found = counts.find(bin);
        const double observed = found == counts.end() ? 0 : found->second;
        statistic += (observed - expected) * (observed - expected) / expected;
    }
    return statistic;
}

// One sine tone made through the window with the options set.
QString makeTone(ToneRun& run, const std::function<void(OptionsPanel&)>& set,
                 const QString& length = QStringLiteral("0.5")) {
    set(*run.w.optionsPanel);
    run.w.lengthField->setText(length);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.fromField->setText(QStringLiteral("440"));
    run.w.toField->setText(QStringLiteral("440"));
    run.w.pushButton1->click();
    return run.output + QStringLiteral("/Ziravel_1.wav");
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT

private slots:
    void closingThePanelRestoresTheWindow();
    void wheelLeavesUnfocusedControls();
    void tableDefaultsAreCanonical();
    void rateAndSampleSize_data();
    void rateAndSampleSize();
    void level();
    void fades();
    void ears_data();
    void ears();
    void pitchDrawsAreEven_data();
    void pitchDrawsAreEven();
    void noteDrawsAreNotes();
    void neverOverwrite();
    void balancedList();
    void noiseBandFromTheBounds();
    void sweepFromTheWindow();
    void sequenceFromTheWindow();
    void changedOptionsAtAGlance();
    void presetsKeptInTheSettings();
    void idleRowsSayWhy();
    void unsafePrefixGivesDefault_data();
    void unsafePrefixGivesDefault();
    void optionsAreKept();
};

void TestOptions::rateAndSampleSize_data() {
    QTest::addColumn<int>("rateRow");
    QTest::addColumn<int>("sizeRow");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("bits");
    QTest::newRow("CD rate, 16-bit") << 3 << 1 << "44100"
                                     << "16";
    QTest::newRow("96 kHz, 24-bit") << 5 << 2 << "96000"
                                    << "24";
    QTest::newRow("defaults") << 0 << 0 << "8000"
                              << "32";
}

void TestOptions::rateAndSampleSize() {
    QFETCH(int, rateRow);
    QFETCH(int, sizeRow);
    QFETCH(QString, rate);
    QFETCH(QString, bits);
    ToneRun run;
    const QString file = makeTone(run, [&](OptionsPanel& options) {
        options.sampleRate->setCurrentIndex(rateRow);
        options.sampleSize->setCurrentIndex(sizeRow);
    });
    QCOMPARE(TestSupport::soundInfo(file, 'r'), rate);
    QCOMPARE(TestSupport::soundInfo(file, 'b'), bits);
    QVERIFY(std::abs(mainFrequency(file) - 440) < 4.4);
}

void TestOptions::level() {
    ToneRun run;
    const QString file =
        makeTone(run, [](OptionsPanel& options) { options.level->setValue(-200); });
    const Level level = levelOf(samplesOf(file), 0, 0.05, 0.45);
    QVERIFY2(std::abs(level.peak - -20) <= 0.5, qPrintable(QString::number(level.peak)));
    // A sine's RMS lies 3 dB under its peak.
    QVERIFY2(std::abs(level.rms - -23.01) <= 0.5, qPrintable(QString::number(level.rms)));
}

void TestOptions::fades() {
    ToneRun run;
    const QString file = makeTone(run, [](OptionsPanel& options) {
        options.fade->setValue(100);
        options.level->setValue(-60);
    });
    const SoundSamples sound = samplesOf(file);
    // The file keeps the asked length; its ends are near silence, its middle at the level.
    QCOMPARE(qint64(sound.samples.size()), qint64(4000));
    QVERIFY(levelOf(sound, 0, 0, 0.001).peak < -40);
    QVERIFY(levelOf(sound, 0, 0.499, 0.5).peak < -40);
    QVERIFY(std::abs(levelOf(sound, 0, 0.15, 0.35).peak - -6) <= 0.5);
    // A quarter into the ramp a raised cosine stands at 0.146 (-16.7 dB), where a straight
    // line would stand at 0.25 (-12 dB).
    const double quarter = levelOf(sound, 0, 0, 0.025).peak;
    QVERIFY2(quarter > -6 - 16.7 - 1.5 && quarter < -6 - 16.7 + 0.5,
             qPrintable(QString::number(quarter)));
}

void TestOptions::ears_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("right");
    QTest::newRow("left ear only") << 1 << true << false;
    QTest::newRow("right ear only") << 2 << false << true;
    QTest::newRow("both ears") << 3 << true << true;
    QTest::newRow("left ear only, 16 bits") << 1 << true << false;
}

void TestOptions::ears() {
    QFETCH(int, row);
    QFETCH(bool, left);
    QFETCH(bool, right);
    ToneRun run;
    const bool sixteenBits = QByteArray(QTest::currentDataTag()).endsWith("16 bits");
    const QString file = makeTone(run, [&](OptionsPanel& options) {
        options.channel->setCurrentIndex(row);
        options.sampleSize->setCurrentIndex(sixteenBits ? 1 : 0);
    });
    const SoundSamples sound = samplesOf(file);
    QCOMPARE(sound.channels, 2);
    QCOMPARE(levelOf(sound, 0, 0, 0.5).peak > -1, left);
    QCOMPARE(levelOf(sound, 1, 0, 0.5).peak > -1, right);
    // The silent ear is digital silence: no dither in it.
    QVERIFY(levelOf(sound, left ? 1 : 0, 0, 0.5).peak == -200 || (left && right));
}

void TestOptions::pitchDrawsAreEven_data() {
    QTest::addColumn<int>("draw");
    QTest::newRow("even in hertz") << int(ToneOptions::PitchDraw::evenHz);
    QTest::newRow("even per octave") << int(ToneOptions::PitchDraw::evenPerOctave);
}

// 5000 draws with a fixed seed between 100 and 1600 Hz, counted in 8 bins that are equal
// in hertz or in octaves (half an octave each): chi-square under the 0.1% point for 7
// degrees of freedom.
void TestOptions::pitchDrawsAreEven() {
    QFETCH(int, draw);
    const auto kind = ToneOptions::PitchDraw(draw);
    std::mt19937_64 generator(20261207);
    std::map<int, int> counts;
    constexpr int draws = 5000;
    for (int i = 0; i < draws; ++i) {
        const double hz = drawPitch(100, 1600, kind, generator);
        QVERIFY(hz >= 100 && hz <= 1600);
        const int bin = kind == ToneOptions::PitchDraw::evenHz
                            ? std::min(7, int((hz - 100) / (1500.0 / 8)))
                            : std::min(7, int(2 * std::log2(hz / 100)));
        ++counts[bin];
    }
    const double statistic = chiSquare(counts, 8, draws);
    QVERIFY2(statistic < 24.32, qPrintable(QString::number(statistic)));
}

void TestOptions::noteDrawsAreNotes() {
    std::mt19937_64 generator(7);
    std::map<int, int> counts;
    constexpr int draws = 5000;
    // A3 to A5: 25 notes.
    for (int i = 0; i < draws; ++i) {
        const double hz = drawPitch(220, 880, ToneOptions::PitchDraw::notes, generator);
        const double fromA3 = 12 * std::log2(hz / 220);
        QVERIFY2(std::abs(fromA3 - std::round(fromA3)) * 100 <= 0.5,
                 qPrintable(QString::number(hz)));
        ++counts[int(std::lround(fromA3))];
    }
    const double statistic = chiSquare(counts, 25, draws);
    // The 0.1% point for 24 degrees of freedom.
    QVERIFY2(statistic < 51.18, qPrintable(QString::number(statistic)));
    try {
        drawPitch(1000, 1020, ToneOptions::PitchDraw::notes, generator);
        QFAIL("a note was found between 1000 and 1020 Hz");
    } catch (const Failure&) {
    }
}

void TestOptions::neverOverwrite() {
    ToneRun run;
    run.w.optionsPanel->prefix->setText(QStringLiteral("Ear_"));
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();
    run.w.optionsPanel->neverOverwrite->setChecked(true);
    run.w.pushButton1->click();
    QCOMPARE(run.outputFiles(), (QStringList{"Ear_1.wav", "Ear_2.wav", "Ear_3.wav", "Ear_4.wav"}));
    // The key is named after the prefix, so that another prefix's set keeps its own.
    const QStringList key = linesOf(run.output + QStringLiteral("/Ear_tones.csv"));
    QCOMPARE(key.size(), 5);
    QVERIFY(key[1].startsWith(QStringLiteral("Ear_1.wav,")));
    QVERIFY(key[4].startsWith(QStringLiteral("Ear_4.wav,")));
}

// The List draw: only the listed pitches, each equally often when balanced; the rows of the
// panel before it keep their places.
void TestOptions::balancedList() {
    ToneRun run;
    OptionsPanel& options = *run.w.optionsPanel;
    options.pitchDraw->setCurrentIndex(3);
    QCOMPARE(options.pitchDraw->currentText(), QStringLiteral("List"));
    options.pitchList->setText(QStringLiteral("250,1000"));
    options.balanced->setChecked(true);
    run.w.countField->setText(QStringLiteral("4"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{"Done."});
    QMap<QString, int> times;
    for (const QString& row : linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).mid(1))
        ++times[keyField(row, "frequency_hz")];
    QCOMPARE(times, (QMap<QString, int>{{"250", 2}, {"1000", 2}}));
}

// The window's noise rows filtered to the band between From and To.
void TestOptions::noiseBandFromTheBounds() {
    ToneRun run;
    run.w.optionsPanel->noiseBand->setChecked(true);
    run.w.waveformList->setCurrentIndex(int(Waveform::pinkNoise));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QCOMPARE(keyField(linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).value(1),
                      QStringLiteral("band_hz")),
             QStringLiteral("200-400"));
}

// "Sweep down" in the window: from the upper bound to the lower, both in the key.
void TestOptions::sweepFromTheWindow() {
    ToneRun run;
    run.w.optionsPanel->shape->setCurrentIndex(2);
    QCOMPARE(run.w.optionsPanel->shape->currentText(), QStringLiteral("Sweep down"));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    const QString row = linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).value(1);
    QCOMPARE(keyField(row, "frequency_hz") + ' ' + keyField(row, "end_frequency_hz"),
             QStringLiteral("400 200"));
}

// Tones per file and Gap in the window: every tone in the key, the file as long as all.
void TestOptions::sequenceFromTheWindow() {
    ToneRun run;
    run.w.optionsPanel->tonesPerFile->setValue(2);
    run.w.optionsPanel->gap->setValue(100);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    const QString row = linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).value(1);
    QCOMPARE(keyField(row, "frequency_hz").split(';').size(), 2);
    const std::optional<SoundSamples> sound =
        decodeWav(TestSupport::contentOf(run.output + QStringLiteral("/Ziravel_1.wav")));
    QVERIFY(sound);
    QCOMPARE(qsizetype(sound->samples.size()), qsizetype(0.6 * 8000));
}

// Options left changed apply with the panel closed: the button says so, and Reset clears them.
void TestOptions::changedOptionsAtAGlance() {
    ToneRun run;
    OptionsPanel& options = *run.w.optionsPanel;
    QCOMPARE(run.w.moreOptions->text(), QStringLiteral("M&ore options"));
    options.level->setValue(-400);
    options.channel->setCurrentIndex(1);
    QCOMPARE(run.w.moreOptions->text(), QStringLiteral("M&ore options (2 changed)"));
    QCOMPARE(QAccessible::queryAccessibleInterface(run.w.moreOptions)->text(QAccessible::Name),
             QStringLiteral("More options (2 changed)"));
    QVERIFY(run.w.moreOptions->width() >= run.w.moreOptions->sizeHint().width());
    options.resetButton->click();
    QCOMPARE(run.w.moreOptions->text(), QStringLiteral("M&ore options"));
    QCOMPARE(options.options(), ToneOptions());
}

// A preset saved under any name, in the settings file's group of its own; applied and
// deleted again. Built-in ones apply and are never deleted.
void TestOptions::presetsKeptInTheSettings() {
    ToneRun run;
    OptionsPanel& options = *run.w.optionsPanel;
    const auto stored = [&run] {
        QFile file(run.fixture.settingsFile());
        return file.open(QIODevice::ReadOnly) ? readIniText(file.readAll())
                                              : QSettings::SettingsMap();
    };
    options.channel->setCurrentIndex(2);
    options.presetList->setEditText(QStringLiteral("Right, quiet/ear"));
    const QString beforeSave =
        options.presetList->currentText() +
        (options.savePreset->isEnabled() ? " (Save enabled)" : " (Save off)");
    options.savePreset->click();
    const auto presetStored = [&] {
        return stored().value(QStringLiteral("Presets/Right.2C.20quiet.2Fear/OptionChannel")) ==
               QVariant(QStringLiteral("right"));
    };
    const QString held = beforeSave + QLatin1Char(' ') +
                         run.fixture.modals.notices.join(QLatin1Char('|')) + QLatin1Char(' ') +
                         QStringList(stored().keys()).join(QLatin1Char(','));
    QVERIFY2(presetStored(), qPrintable(held));
    options.resetButton->click();
    options.presetList->setCurrentText(QStringLiteral("Right, quiet/ear"));
    options.applyPreset->click();
    QCOMPARE(options.options().channel, ToneOptions::Channel::rightOnly);
    options.deletePreset->click();
    QVERIFY(!stored().keys().join(' ').contains(QStringLiteral("Presets/")));
    QCOMPARE(options.presetList->findText(QStringLiteral("Right, quiet/ear")), -1);

    options.presetList->setCurrentText(QStringLiteral("Ear training"));
    QVERIFY(!options.deletePreset->isEnabled() && !options.savePreset->isEnabled());
    // The list says what a preset sets.
    QVERIFY(options.presetList->toolTip().startsWith(
        QStringLiteral("Type: Triangle; Sample rate: 48000 Hz; Fade in and out: 20 ms; ")));
    // An option the preset does not name goes to its default.
    options.level->setValue(-300);
    // Alt+A applies, with the keyboard alone.
    run.w.show();
    QVERIFY(QTest::qWaitForWindowActive(&run.w));
    run.w.moreOptions->click();
    options.presetList->setFocus();
    QTest::keyClick(run.w.windowHandle(), Qt::Key_A, Qt::AltModifier);
    QTRY_COMPARE(options.options().pitchDraw, ToneOptions::PitchDraw::notes);
    QCOMPARE(options.options().sampleRate, 48000);
    QCOMPARE(options.options().levelDb, 0.0);
    QCOMPARE(run.w.waveformList->currentText(), QStringLiteral("Triangle"));
}

// A row that cannot change the tones is disabled and says why; it comes back with what it
// needs. Alt+O opens the panel.
void TestOptions::idleRowsSayWhy() {
    ToneRun run;
    OptionsPanel& options = *run.w.optionsPanel;
    run.w.show();
    QVERIFY(QTest::qWaitForWindowActive(&run.w));
    QTest::keyClick(run.w.windowHandle(), Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(options.isVisible());
    QWidget* sweep = options.findChild<QWidget*>(QStringLiteral("OptionSweep"));
    QVERIFY(!sweep->isEnabled() && sweep->toolTip().contains(QStringLiteral("Only a sweep")));
    QVERIFY(!options.gap->isEnabled() && !options.balanced->isEnabled() &&
            !options.noiseBand->isEnabled());
    options.shape->setCurrentIndex(1);
    options.tonesPerFile->setValue(2);
    options.pitchDraw->setCurrentIndex(3);
    run.w.waveformList->setCurrentIndex(int(Waveform::pinkNoise));
    QVERIFY(sweep->isEnabled() && options.gap->isEnabled() && options.balanced->isEnabled() &&
            options.noiseBand->isEnabled());
    QCOMPARE(sweep->toolTip(), optionRow(Option::sweep).description);
}

void TestOptions::unsafePrefixGivesDefault_data() {
    QTest::addColumn<QString>("prefix");
    QTest::newRow("climbs out of the folder") << "../x_";
    QTest::newRow("into a folder") << "sub/x_";
    QTest::newRow("a line break") << "a\nb_";
    // Its key's name would pass what a file name may hold.
    QTest::newRow("240 characters") << QString(240, QLatin1Char('p'));
}

void TestOptions::unsafePrefixGivesDefault() {
    QFETCH(QString, prefix);
    ToneRun run;
    run.w.optionsPanel->prefix->setText(prefix);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QCOMPARE(run.outputFiles(), QStringList{"Ziravel_1.wav"});
}

void TestOptions::optionsAreKept() {
    WindowFixture fixture;
    fixture.window->formLoad();
    QVERIFY(fixture.window->toneOptions() == ToneOptions());
    OptionsPanel& options = *fixture.window->optionsPanel;
    options.sampleRate->setCurrentIndex(2);
    options.level->setValue(-120);
    options.channel->setCurrentIndex(1);
    options.prefix->setText(QStringLiteral("Test_"));
    options.neverOverwrite->setChecked(true);
    const ToneOptions chosen = fixture.window->toneOptions();

    RecordingModals modals;
    SettingsStore settings(noticesTo(modals), fixture.settingsFile());
    Form1 again({modals, settings, fixture.sound, fixture.folder(), [] {}});
    again.formLoad();
    QVERIFY(again.toneOptions() == chosen);
    QCOMPARE(again.toneOptions().sampleRate, 22050);

    // Values that are not the options' own give way to the defaults, without a word.
    fixture.store(QStringLiteral("OptionLevel"), QStringLiteral("-150"));
    fixture.store(QStringLiteral("OptionSampleRate"), QStringLiteral("12345"));
    fixture.store(QStringLiteral("OptionChannel"), QStringLiteral("middle"));
    SettingsStore damaged(noticesTo(modals), fixture.settingsFile());
    Form1 third({modals, damaged, fixture.sound, fixture.folder(), [] {}});
    third.formLoad();
    QCOMPARE(third.toneOptions().levelDb, 0);
    QCOMPARE(third.toneOptions().sampleRate, 8000);
    QVERIFY(third.toneOptions().channel == ToneOptions::Channel::mono);
    QVERIFY(modals.reports.isEmpty());
    // The panel opens below the controls and closes again.
    QVERIFY(!third.optionsPanel->isVisible());
    third.show();
    third.moreOptions->click();
    QVERIFY(third.optionsPanel->isVisible());
    // Below the controls, in what the window holds (which scrolls where the screen is small).
    QVERIFY(third.optionsPanel->parentWidget()->height() > third.optionsPanel->geometry().bottom());
    // Every option can be reached with Tab and is named for screen readers.
    const QList<QWidget*> controls{options.sampleRate, options.sampleSize,    options.level,
                                   options.fade,       options.channel,       options.pitchDraw,
                                   options.prefix,     options.neverOverwrite};
    for (QWidget* control : controls) {
        QVERIFY(control->focusPolicy() & Qt::TabFocus);
        QVERIFY(!control->accessibleName().isEmpty());
        QVERIFY(!control->accessibleDescription().isEmpty());
    }
    QVERIFY(third.moreOptions->focusPolicy() & Qt::TabFocus);
}

// A default written otherwise than the option writes its value would count as changed.
void TestOptions::tableDefaultsAreCanonical() {
    for (const OptionRow& option : toneOptionTable())
        QCOMPARE(option.get(ToneOptions()), option.defaultValue);
}

// Scrolling the form over a list or a number field that has not the focus changes nothing:
// a hearing check must not end up in the wrong ear or at the wrong level.
void TestOptions::wheelLeavesUnfocusedControls() {
    WindowFixture fixture;
    fixture.window->formLoad();
    OptionsPanel& panel = *fixture.window->optionsPanel;
    const QList<QWidget*> controls{fixture.window->waveformList, panel.level, panel.channel,
                                   panel.sampleRate};
    const auto values = [&] {
        return QStringList{fixture.window->waveformList->currentText(), panel.level->text(),
                           panel.channel->currentText(), panel.sampleRate->currentText()};
    };
    const QStringList before = values();
    for (QWidget* control : controls) {
        QWheelEvent wheel(QPointF(5, 5), control->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(control, &wheel);
    }
    QCOMPARE(values(), before);
}

void TestOptions::closingThePanelRestoresTheWindow() {
    WindowFixture fixture;
    QVERIFY(fixture.loadAndShow());
    const QSize designed = fixture.window->size();
    fixture.window->moreOptions->click();
    QTRY_VERIFY(fixture.window->height() > designed.height());
    fixture.window->moreOptions->click();
    QTRY_COMPARE(fixture.window->size(), designed);
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
