// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/Form1.h"

#include "app/listening/ListeningTestPanel.h"
#include "app/look/CursorFile.h"
#include "app/look/FocusFrameStyle.h"
#include "app/look/ProgramIcon.h"
#include "app/look/SkinFramework.h"
#include "app/look/WindowPointer.h"
#include "app/options/OptionsPanel.h"
#include "app/set/ListenPanel.h"
#include "app/window/FieldEdit.h"
#include "app/window/Modals.h"
#include "app/window/ToneProgress.h"
#include "app/window/WheelGuard.h"
#include "app/window/WindowActions.h"
#include "options/OptionTable.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/StopSignals.h"
#include "settings/SettingsStore.h"
#include "sound/SoundOutput.h"
#include "tone/NumberText.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QStyle>
#include <QTimer>
#include <cmath>

namespace {

template <typename Control, typename... Args>
Control* place(QWidget* parent, const QRect& geometry, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setGeometry(geometry);
    return control;
}

} // namespace

bool ReturnPresses::eventFilter(QObject* watched, QEvent* event) {
    const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!key || !button || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        key->modifiers() & ~Qt::KeypadModifier)
        return false;
    button->click();
    return true;
}

QString applicationTitle(const QString& name) {
    QString title = name;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

Form1::Form1(WindowServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)),
      m_returnPresses(new ReturnPresses(this)), m_skin(std::make_unique<SkinFramework>()) {
    buildControls();
    connectInputs();
    connectButtons();
}

Form1::~Form1() = default;

QRect Form1::twips(int left, int top, int width, int height) const {
    // 1440 twips make an inch: 15 a pixel at 96 dots per inch, more as the fonts grow.
    const auto px = [this](int t) { return (t + 7) * m_fontDpi / 1440; };
    return {px(left), px(top), px(width), px(height)};
}

QList<QWidget*> Form1::framesAndLabels() const {
    return {frame1, frame3, frame4, label1, label2, label3, label4, frame2, frame5};
}

void Form1::buildControls() {
    // Solid focus frames for every window of the program, the boxes and dialogs too; set
    // before any control is made, so that none is styled twice.
    if (!qobject_cast<FocusFrameStyle*>(QApplication::style()))
        QApplication::setStyle(new FocusFrameStyle);
    // The fonts' dots per inch (QT_FONT_DPI, the desktop's font scaling), at least 96.
    m_fontDpi = std::max(96, logicalDpiY());
    auto* client = new QWidget(this);
    m_client = client;
    setCentralWidget(client);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    setFont(font);
    placeControls(client);
    addOptionsPanel(client);
    addTestPanel(client);

    // White, as designed, until a skin gives them the button face.
    setBackgroundColour(this, Qt::white);
    for (QWidget* control : framesAndLabels())
        setBackgroundColour(control, Qt::white);

    connectKeys();
    m_pointer = new WindowPointer(this, {pushButton1, pushButton2, pushButton3, chooseFolderButton},
                                  {client, frame1, frame2, frame3, frame4, frame5});

    nameForScreenReaders();

    fitToScreen();
}

// Where the designer put them, in twips.
void Form1::placeControls(QWidget* client) {
    frame1 = place<QGroupBox>(client, twips(120, 120, 7800, 825),
                              QStringLiteral("Tone length (in seconds)"));
    lengthField = place<FieldEdit>(frame1, twips(240, 300, 7335, 345));
    frame3 = place<QGroupBox>(client, twips(120, 1020, 7800, 825),
                              QStringLiteral("How many random tones to generate?"));
    countField = place<FieldEdit>(frame3, twips(240, 300, 7335, 345));
    frame4 = place<QGroupBox>(client, twips(120, 1920, 7800, 825),
                              QStringLiteral("Generate tones within this frequency range"));
    label1 = place<QLabel>(frame4, twips(240, 345, 480, 225), QStringLiteral("From:"));
    fromField = place<FieldEdit>(frame4, twips(840, 300, 1935, 345));
    label2 = place<QLabel>(frame4, twips(2880, 345, 210, 225), QStringLiteral("Hz"));
    label3 = place<QLabel>(frame4, twips(3840, 345, 255, 225), QStringLiteral("To:"));
    toField = place<FieldEdit>(frame4, twips(4200, 300, 1935, 345));
    label4 = place<QLabel>(frame4, twips(6240, 345, 210, 225), QStringLiteral("Hz"));
    // "Hz" is a pixel wider than its place in Arial at 9 points: it grows rather than lose
    // the end of its "z"; nothing stands beside it.
    for (QLabel* label : {label1, label2, label3, label4})
        label->resize(std::max(label->width(),
                               label->fontMetrics().tightBoundingRect(label->text()).right() + 1),
                      label->height());
    frame2 = place<QGroupBox>(client, twips(120, 2820, 7800, 825), QStringLiteral("Type"));
    waveformList = place<QComboBox>(frame2, twips(240, 300, 7335, 345));
    pushButton3 = place<QPushButton>(client, twips(120, 3760, 7800, 405),
                                     QStringLiteral("&Preview (Play One Tone)"));
    frame5 = place<QGroupBox>(client, twips(120, 4220, 7800, 810),
                              QStringLiteral("Save Results To This Folder"));
    folderField = place<FieldEdit>(frame5, twips(240, 300, 6495, 345));
    chooseFolderButton =
        place<QPushButton>(frame5, twips(6840, 300, 720, 345), QStringLiteral("..."));
    pushButton1 = place<QPushButton>(client, twips(120, 5160, 7800, 405),
                                     QStringLiteral(" Save Tones As &WAV Files"));
    // Below the WAV button, where the window is made tall enough to show it.
    pushButton2 = place<QPushButton>(client, twips(120, 5640, 7800, 405),
                                     QStringLiteral(" Save Random Tone(s) As &MP3 File"));
    // Under the export buttons, shown while a batch runs.
    progressBar = place<ToneProgress>(client, twips(120, 6120, 4560, 345));
    progressLabel = place<QLabel>(client, twips(4800, 6120, 1920, 345));
    // At the progress line's right end while a batch or a preview is being made.
    stopButton = place<QPushButton>(client, twips(6840, 6120, 1080, 345), QStringLiteral("Stop"));
    stopButton->setAccessibleDescription(QStringLiteral("Stops the tones being made."));
    stopButton->hide();
    progressBar->hide();
    progressLabel->hide();
    statusLine = place<QLabel>(client, twips(120, 6120, 7800, 345));
    // No name of its own: a screen reader announces its text.
    statusLine->setAccessibleDescription(QStringLiteral("Status"));
    statusLine->hide();
}

void Form1::addOptionsPanel(QWidget* client) {
    // The listening-test options, out of the way until asked for.
    moreOptions =
        place<QPushButton>(client, twips(120, 6540, 1800, 345), QStringLiteral("M&ore options"));
    moreOptions->setCheckable(true);
    moreOptions->setAccessibleDescription(QStringLiteral("Shows or hides the options for "
                                                         "listening tests."));
    optionsPanel = new OptionsPanel(m_services.settings, client);
    optionsPanel->hide();
    connect(moreOptions, &QPushButton::toggled, this, [this](bool open) {
        optionsPanel->setVisible(open);
        layOutPanels();
    });
    client->setFixedSize(twips(0, 0, 8040, 7005).size());
    guardWheel(this);
    // Options that differ from their defaults apply while the panel is closed: the button
    // says how many, and grows when its caption needs the room.
    const int designedWidth = moreOptions->width();
    connect(optionsPanel, &OptionsPanel::optionsChanged, this, [this, designedWidth] {
        const int changed = optionsPanel->changedCount();
        moreOptions->setText(changed == 0
                                 ? QStringLiteral("M&ore options")
                                 : QStringLiteral("M&ore options (%1 changed)").arg(changed));
        moreOptions->resize(std::max(designedWidth, moreOptions->sizeHint().width()),
                            moreOptions->height());
    });
    connect(optionsPanel, &OptionsPanel::waveformRowAsked, waveformList,
            &QComboBox::setCurrentIndex);
}

void Form1::addTestPanel(QWidget* client) {
    // At the right of the row, where More options never grows to.
    listeningTest =
        place<QPushButton>(client, twips(6120, 6540, 1800, 345), QStringLiteral("Listening &test"));
    listeningTest->setCheckable(true);
    listeningTest->setAccessibleDescription(
        QStringLiteral("Shows or hides the listening test, which plays trials and takes the "
                       "listener's answers."));
    connect(listeningTest, &QPushButton::toggled, this, [this](bool open) {
        if (!m_test) {
            m_test = new ListeningTestPanel(
                {m_services.modals, m_services.sound, m_session,
                 [this] { return listeningTestTool(*this); },
                 [this] { return expandedFolder(folderText()); },
                 [this] { return toneOptions().prefix; }, [this](bool busy) { setBusy(busy); },
                 [this] { return m_listen ? m_listen->keyPath() : QString(); }},
                m_client);
            connect(m_test, &ListeningTestPanel::shapeChanged, this, &Form1::layOutPanels);
        }
        // A session under way ends only when the listener says so.
        if (!open && m_test->isRunning()) {
            m_test->askToEnd();
            if (m_test->isRunning()) {
                const QSignalBlocker still(listeningTest);
                listeningTest->setChecked(true);
                return;
            }
        }
        m_test->setVisible(open);
        layOutPanels();
    });
}

void Form1::layOutPanels() {
    const QRect column = twips(120, 7005, 7800, 0);
    int bottom = column.top();
    // Laid out when shown: measuring every row's text at start would delay the window.
    for (QWidget* panel : {static_cast<QWidget*>(optionsPanel), static_cast<QWidget*>(m_test),
                           static_cast<QWidget*>(m_listen)})
        if (panel && panel->isVisible()) {
            panel->setGeometry(column.left(), bottom, column.width(), panel->sizeHint().height());
            bottom += panel->height();
        }
    m_client->setFixedSize(twips(0, 0, 8040, 0).width(), bottom == column.top()
                                                             ? twips(0, 0, 0, 7005).height()
                                                             : bottom + column.left());
    fitWindow();
}

ListenPanel& Form1::shownListenPanel() {
    if (!m_listen) {
        m_listen = new ListenPanel(
            {m_services.modals, m_services.sound, m_services.pictures, m_generator}, m_client);
        connect(m_listen, &ListenPanel::shapeChanged, this, &Form1::layOutPanels);
        connect(m_listen, &ListenPanel::openKeyAsked, this, &Form1::openAnswerKey);
    }
    m_listen->show();
    return *m_listen;
}

void Form1::showSet(const QString& keyPath) {
    shownListenPanel().showSet(keyPath);
    layOutPanels();
}

void Form1::showTonePicture(const QString& path, bool pitched) {
    shownListenPanel().showTone(path, pitched);
    layOutPanels();
}

void Form1::openAnswerKey() {
    const QString chosen = m_services.modals.chooseAnswerKey(this, expandedFolder(folderText()));
    if (!chosen.isEmpty())
        shownListenPanel().showSet(chosen);
    layOutPanels();
}

void Form1::fitWindow() {
    fitToScreen();
    // Smaller content gives the window back its designed size.
    adjustSize();
    keepOnScreen();
}

void Form1::keepOnScreen() {
    const QScreen* shownOn = screen();
    if (!shownOn || !isVisible())
        return;
    // A window that grew downwards (a set's list below the form) moves up until its frame is on
    // the screen again; it never moves past the screen's top or left edge.
    const QRect room = shownOn->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveRight(std::min(frame.right(), room.right()));
    frame.moveBottom(std::min(frame.bottom(), room.bottom()));
    frame.moveLeft(std::max(frame.left(), room.left()));
    frame.moveTop(std::max(frame.top(), room.top()));
    if (frame.topLeft() != frameGeometry().topLeft())
        move(frame.topLeft());
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame was guessed before the window was shown; with the real one the window may
    // fit without scrolling.
    if (!event->spontaneous())
        fitWindow();
}

void Form1::fitToScreen() {
    const QSize content = m_client->size();
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    // The window system adds a frame and a title bar: what it adds once shown, a guess before.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(16, 48);
    QSize room = shownOn->availableGeometry().size() - frame;
    // At a fractional scale the screen's size is rounded, up as often as down: a pixel less
    // never passes its edge.
    const qreal ratio = shownOn->devicePixelRatio();
    if (ratio != std::floor(ratio))
        room -= QSize(1, 1);
    if (!m_scroller && content.width() <= room.width() && content.height() <= room.height())
        return;
    if (!m_scroller) {
        // From now on the controls sit in a scroller, which shows a bar only when needed.
        m_scroller = new QScrollArea;
        m_scroller->setFrameShape(QFrame::NoFrame);
        m_scroller->setFocusPolicy(Qt::NoFocus);
        takeCentralWidget();
        m_scroller->setWidget(m_client);
        // The window's own background, plain or skinned, shows through as before.
        m_scroller->viewport()->setAutoFillBackground(false);
        m_client->setAutoFillBackground(false);
        setCentralWidget(m_scroller);
        m_client->show();
        // At once, not when the layout gets round to it.
        if (isVisible())
            m_scroller->show();
        // The control that takes the focus is scrolled into view, whole (the scroller's own
        // way shows only a text field's cursor).
        connect(qApp, &QApplication::focusChanged, m_scroller, [this](QWidget*, QWidget* now) {
            if (!now || !m_client->isAncestorOf(now))
                return;
            const QRect area(now->mapTo(m_client, QPoint(0, 0)), now->size());
            m_scroller->ensureVisible(area.center().x(), area.center().y(), area.width() / 2 + 8,
                                      area.height() / 2 + 8);
        });
    }
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize shown = content;
    if (shown.height() > room.height()) {
        shown.setHeight(room.height());
        shown.rwidth() += bar;
    }
    if (shown.width() > room.width()) {
        shown.setWidth(room.width());
        shown.setHeight(std::min(room.height(), shown.height() + bar));
    }
    m_scroller->setFixedSize(shown);
}

void Form1::connectKeys() {
    // The folder chooser's caption holds no letter to underline.
    auto* chooseFolder = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F), this);
    connect(chooseFolder, &QShortcut::activated, chooseFolderButton, &QPushButton::click);
    // Enter and Return press a focused button, as Space does.
    for (QPushButton* button :
         {pushButton1, pushButton2, pushButton3, chooseFolderButton, moreOptions, stopButton})
        button->installEventFilter(m_returnPresses);

    // Escape stops what runs, and a sound playing.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &Form1::stop);
    connect(stopButton, &QPushButton::clicked, this, &Form1::stop);

    // Ctrl+O opens a set made earlier, from its answer key.
    auto* openKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(openKey, &QShortcut::activated, this, &Form1::openAnswerKey);

    // Ctrl+Q closes the window, as in other desktop programs.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
}

void Form1::nameForScreenReaders() {
    lengthField->setAccessibleName(frame1->title());
    countField->setAccessibleName(frame3->title());
    // "Hz" is the bounds' unit, which screen readers give as the description.
    fromField->setAccessibleName(QStringLiteral("From"));
    toField->setAccessibleName(QStringLiteral("To"));
    fromField->setAccessibleDescription(label2->text());
    toField->setAccessibleDescription(label4->text());
    // The captions begin with a blank, which a screen reader would read out.
    for (QPushButton* button : {pushButton1, pushButton2, pushButton3})
        button->setAccessibleName(button->text().remove(QLatin1Char('&')).trimmed());
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    waveformList->setAccessibleName(frame2->title());
    folderField->setAccessibleName(frame5->title());
    chooseFolderButton->setAccessibleName(QStringLiteral("Choose the folder"));
    label1->setBuddy(fromField);
    label3->setBuddy(toField);
}

void Form1::connectInputs() {
    SettingsStore& settings = m_services.settings;
    const struct {
        FieldEdit* field;
        const SettingKey& key;
        bool numeric;
    } fields[] = {{lengthField, storedSetting(Option::length), true},
                  {countField, storedSetting(Option::count), true},
                  {fromField, storedSetting(Option::from), true},
                  {toField, storedSetting(Option::to), true},
                  {folderField, storedSetting(Option::folder), false}};
    for (const auto& input : fields) {
        connect(
            input.field, &QLineEdit::textChanged, this,
            [&settings, name = input.key.name](const QString& text) { settings.save(name, text); });
        if (input.numeric)
            connect(input.field, &FieldEdit::left, this,
                    [this, field = input.field, putBack = input.key.defaultValue](
                        Qt::FocusReason reason) { checkNumeric(field, putBack, reason); });
    }
    const auto storeRow = [this, &settings] {
        settings.save(storedSetting(Option::type).name,
                      QString::number(waveformList->currentIndex()));
    };
    connect(waveformList, &QComboBox::currentIndexChanged, this, storeRow);
    connect(waveformList, &QComboBox::currentIndexChanged, this, [this] {
        optionsPanel->setNoiseType(isNoiseWord(waveformWord(waveformList->currentText())));
    });
    connect(waveformList, &QComboBox::activated, this, storeRow);
}

void Form1::connectButtons() {
    connect(pushButton1, &QPushButton::clicked, this,
            [this] { saveTones(*this, ExportFormat::wav); });
    connect(pushButton2, &QPushButton::clicked, this,
            [this] { saveTones(*this, ExportFormat::mp3); });
    connect(pushButton3, &QPushButton::clicked, this, [this] { previewTone(*this); });
    connect(chooseFolderButton, &QPushButton::clicked, this, &Form1::chooseOutputFolder);
}

void Form1::chooseOutputFolder() {
    Guard guard(m_services.modals, handlerLocation(QStringLiteral("PushButton9_Click")));
    QString chosen;
    guard.step(100, [&] {
        // The folder chosen last time: a folder typed by hand does not move the start.
        chosen = m_services.modals.chooseFolder(this, QStringLiteral("Please select folder:"),
                                                m_services.settings.value(lastFolderDot));
    });
    bool cancelled = false;
    guard.step(102, [&] { cancelled = chosen.isEmpty(); });
    if (cancelled)
        return;
    bool endsInSeparator = false;
    guard.step(104, [&] {
        m_services.settings.save(lastFolderDot.name, chosen);
        endsInSeparator = chosen.endsWith(QDir::separator());
    });
    if (!endsInSeparator)
        guard.step(106, [&] { folderField->setText(withSeparator(chosen)); });
    else
        guard.step(108, [&] { folderField->setText(chosen); });
}

void Form1::checkNumeric(FieldEdit* field, const QString& putBack, Qt::FocusReason reason) {
    // The box takes the focus itself; that must not check a field again.
    if (m_checkingField || isNumericText(field->text()))
        return;
    // The focus leaves for a button being clicked. The box comes up before the button
    // sees its press and takes the release, so the click goes on once the box is closed.
    QPointer<QAbstractButton> clicked =
        reason == Qt::MouseFocusReason ? qobject_cast<QAbstractButton*>(QApplication::focusWidget())
                                       : nullptr;
    m_checkingField = true;
    m_services.modals.showNotice(
        QStringLiteral("Non numeric value inputted.\r\nValue is changed back to default."));
    field->setText(putBack);
    m_checkingField = false;
    if (clicked)
        QTimer::singleShot(0, clicked, [clicked] {
            clicked->setDown(false);
            clicked->click();
        });
}

void Form1::formLoad() {
    Guard guard(m_services.modals, handlerLocation(QStringLiteral("Form_Load")));
    guard.step(100,
               [&] { applySkin(*this, framesAndLabels(), m_services.programFolder, *m_skin); });
    guard.step(104, [&] { setWindowTitle(productName); });
    guard.step(104, [&] { setWindowIcon(programIcon()); });
    guard.step(104, [&] { m_services.modals.setApplicationTitle(applicationTitle(productName)); });
    const QString pointerFile =
        withSeparator(m_services.programFolder) + QStringLiteral("HAND-M.CUR");
    bool pointerFileFound = true;
    guard.step(106, [&] { pointerFileFound = fileExists(pointerFile); });
    if (pointerFileFound)
        guard.step(108, [&] { m_pointer->setHandImage(loadCursorFile(pointerFile)); });

    for (int row = 0; row < waveformRows.size(); ++row)
        guard.step(128 + 2 * row, [&] {
            // Adding the first row must not select it: the stored row is chosen below.
            const QSignalBlocker quiet(waveformList);
            waveformList->addItem(waveformRows[row]);
            waveformList->setCurrentIndex(-1);
        });
    guard.step(146, [&] {
        const int row = toInt16(m_services.settings.value(storedSetting(Option::type)));
        if (row < -1 || row >= waveformList->count())
            throw Failure(FailureText::invalidPropertyValue);
        waveformList->setCurrentIndex(row);
    });
    guard.step(148, [&] {
        lengthField->setText(m_services.settings.value(storedSetting(Option::length)));
    });
    guard.step(
        150, [&] { countField->setText(m_services.settings.value(storedSetting(Option::count))); });
    guard.step(152,
               [&] { fromField->setText(m_services.settings.value(storedSetting(Option::from))); });
    guard.step(154,
               [&] { toField->setText(m_services.settings.value(storedSetting(Option::to))); });
    guard.step(156, [&] {
        const QString defaultFolder = defaultOutputFolder();
        folderField->setText(
            m_services.settings.value(storedSetting(Option::folder).name, defaultFolder));
    });
    // A stored option that is not one of its own gives way to its default: nothing to report.
    optionsPanel->restore();
}

void Form1::closeOnStopSignals(StopSignals& stopSignals) {
    if (stopSignals.wakeDescriptor() < 0)
        return;
    auto* notifier = new QSocketNotifier(stopSignals.wakeDescriptor(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, &stopSignals] {
        stopSignals.clearWake();
        // A box waiting for an answer would hold the action that must end.
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
        close();
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    letPendingEventsRun();
    letPendingEventsRun();
    if (m_busy) {
        // The action stops as Stop stops it, writes what it made (the answer key above all),
        // and ends the program when it clears Busy.
        m_closing = true;
        stop();
        event->ignore();
        return;
    }
    m_services.endProgram();
}

QString Form1::lengthText() const {
    return lengthField->text();
}

QString Form1::countText() const {
    return countField->text();
}

QString Form1::fromText() const {
    return fromField->text();
}

QString Form1::toText() const {
    return toField->text();
}

QString Form1::waveformShownText() const {
    return waveformList->currentText();
}

QString Form1::folderText() const {
    return folderField->text();
}

ToneOptions Form1::toneOptions() const {
    return optionsPanel->options();
}

void Form1::setBusy(bool busy) {
    m_busy = busy;
    if (busy) {
        m_stopRequested = false;
        statusLine->hide();
    }
    stopButton->setVisible(busy);
    if (!busy && m_closing)
        m_services.endProgram();
}

void Form1::stop() {
    // A listening test is the listener's: Escape asks before it ends, closing ends it.
    if (m_test && m_test->isRunning()) {
        m_closing ? m_test->end() : m_test->askToEnd();
        return;
    }
    if (m_busy) {
        m_stopRequested = true;
        m_session.stop();
    }
    m_services.sound.stopSound();
}

int Form1::pointerShape() const {
    return m_pointer->shape();
}

void Form1::setPointerShape(int shape) {
    m_pointer->setShape(shape);
}

void Form1::showProgress(int tone, int count) {
    progressBar->setVisible(count > 0);
    progressLabel->setVisible(count > 0);
    if (count <= 0)
        return;
    // Tones take a few milliseconds; repainting for each would slow the batch for
    // changes nobody can follow. The first and the last tone are always shown.
    constexpr qint64 repaintEveryMs = 40;
    if (tone != 1 && tone != count && m_progressShown.isValid() &&
        m_progressShown.elapsed() < repaintEveryMs)
        return;
    m_progressShown.start();
    progressBar->showTone(tone, count);
    progressLabel->setText(progressBar->valueText());
}

void Form1::showStatus(const QString& text) {
    statusLine->setText(text);
    statusLine->show();
    QAccessibleEvent said(statusLine, QAccessible::Alert);
    QAccessible::updateAccessibility(&said);
}

void Form1::showNotice(const QString& text) {
    // Closing: nobody waits for the answer.
    if (!m_closing)
        m_services.modals.showNotice(text);
}

ErrorReporter& Form1::errorReporter() {
    return m_services.modals;
}

bool Form1::playSoundFile(const QString& path) {
    return m_services.sound.playSoundFile(path);
}
