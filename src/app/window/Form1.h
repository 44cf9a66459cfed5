// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/window/ToneWindow.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <functional>
#include <memory>

class FieldEdit;
class ListenPanel;
class ListeningTestPanel;
class TonePictures;
class Modals;
class OptionsPanel;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;
class SettingsStore;
class SkinFramework;
class SoundOutput;
class StopSignals;
class ToneProgress;
class WindowPointer;

// What the window needs from outside; tests hand in their own.
struct WindowServices {
    Modals& modals;
    SettingsStore& settings;
    SoundOutput& sound;
    // The folder that holds the program, where the pointer and skin files are looked for.
    QString programFolder;
    // Ends the program when the window closes.
    std::function<void()> endProgram;
    // Where tone pictures come from; none draws none.
    TonePictures* pictures = nullptr;
};

// Makes Enter and Return press the push button they are typed on.
class ReturnPresses : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The application title: the product name cut before its last blank, again while it
// is longer than 40 characters. A name with no blank stays whole.
QString applicationTitle(const QString& productName);

// The program's one window.
class Form1 : public QMainWindow, public ToneWindow {
    Q_OBJECT

public:
    explicit Form1(WindowServices services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence; runs once, before the window is first shown.
    void formLoad();
    // A stop signal closes the window as the user would.
    void closeOnStopSignals(StopSignals& stopSignals);

    // Their values are stored under the keys "Text1" to "Text5" and "Combo1".
    FieldEdit* lengthField;
    FieldEdit* countField;
    FieldEdit* fromField;
    FieldEdit* toField;
    FieldEdit* folderField;
    QComboBox* waveformList;
    QGroupBox* frame1;
    QGroupBox* frame2;
    QGroupBox* frame3;
    QGroupBox* frame4;
    QGroupBox* frame5;
    QLabel* label1;
    QLabel* label2;
    QLabel* label3;
    QLabel* label4;
    QPushButton* pushButton1;
    QPushButton* pushButton2;
    QPushButton* pushButton3;
    QPushButton* chooseFolderButton;
    ToneProgress* progressBar;
    QLabel* progressLabel;
    // Says what became of an action where the progress line stands, e.g. a preview that could
    // not be played.
    QLabel* statusLine;
    QPushButton* moreOptions;
    QPushButton* listeningTest;
    QPushButton* stopButton;
    OptionsPanel* optionsPanel;

    int pointerShape() const;

    // ToneWindow
    QString lengthText() const override;
    QString countText() const override;
    QString fromText() const override;
    QString toText() const override;
    QString waveformShownText() const override;
    QString folderText() const override;
    ToneOptions toneOptions() const override;
    std::mt19937_64& toneGenerator() override { return m_generator; }
    ToneSession& toneSession() override { return m_session; }
    bool isBusy() const override { return m_busy; }
    void setBusy(bool busy) override;
    bool stopRequested() const override { return m_stopRequested; }
    // Stops the batch or preview being made, and the sound playing.
    void stop();
    void setPointerShape(int shape) override;
    void showProgress(int tone, int count) override;
    void showStatus(const QString& text) override;
    void showNotice(const QString& text) override;
    ErrorReporter& errorReporter() override;
    bool playSoundFile(const QString& path) override;
    void showSet(const QString& keyPath) override;
    void showTonePicture(const QString& path, bool pitched) override;
    // The set and picture below the options, made when first needed; none until then.
    ListenPanel* listenPanel() const { return m_listen; }
    // Asks for an answer key and shows its set.
    void openAnswerKey();
    // The listening test's panel, made when first opened; none until then.
    ListeningTestPanel* testPanel() const { return m_test; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // A rectangle of the designed layout, in twips, in pixels at the fonts' resolution.
    QRect twips(int left, int top, int width, int height) const;
    // The window as large as what it holds, or, where the screen is smaller, as large as the
    // screen allows, what it holds scrolling.
    void fitToScreen();
    // Moves the window back onto its screen where it has grown past an edge.
    void keepOnScreen();
    // Fits the window to the screen, as small as what it holds allows.
    void fitWindow();
    void buildControls();
    void placeControls(QWidget* client);
    void addOptionsPanel(QWidget* client);
    void addTestPanel(QWidget* client);
    // The panel under the window's controls, made and shown.
    ListenPanel& shownListenPanel();
    // The panels stacked under the controls, and the window fitted to them.
    void layOutPanels();
    void connectKeys();
    void nameForScreenReaders();
    void connectInputs();
    void connectButtons();
    void chooseOutputFolder();
    QList<QWidget*> framesAndLabels() const;
    void checkNumeric(FieldEdit* field, const QString& putBack, Qt::FocusReason reason);

    WindowServices m_services;
    ReturnPresses* m_returnPresses;
    WindowPointer* m_pointer = nullptr;
    std::unique_ptr<SkinFramework> m_skin;
    QElapsedTimer m_progressShown;
    bool m_checkingField = false;
    bool m_busy = false;
    bool m_stopRequested = false;
    // The window was closed while an action ran: the program ends once it has stopped.
    bool m_closing = false;
    std::mt19937_64 m_generator{std::random_device{}()};
    ToneSession m_session;
    int m_fontDpi = 96;
    QWidget* m_client = nullptr;
    // Holds the controls once they do not fit on the screen; none until then.
    QScrollArea* m_scroller = nullptr;
    ListenPanel* m_listen = nullptr;
    ListeningTestPanel* m_test = nullptr;
};
