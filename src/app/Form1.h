#pragma once

#include <QMainWindow>
#include <functional>

class FieldEdit;
class Modals;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class SettingsStore;

// What the window needs from outside; tests hand in their own.
struct WindowServices {
    Modals& modals;
    SettingsStore& settings;
    // The folder that holds the program, where the pointer and skin files are looked for.
    QString programFolder;
    // Ends the program when the window closes.
    std::function<void()> endProgram;
};

// The application title: the product name cut before its last blank, again while it
// is longer than 40 characters. A name with no blank stays whole.
QString applicationTitle(const QString& productName);

// The program's one window.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(WindowServices services, QWidget* parent = nullptr);

    // The start-up sequence; runs once, before the window is first shown.
    void formLoad();

    FieldEdit* text1;
    FieldEdit* text2;
    FieldEdit* text3;
    FieldEdit* text4;
    FieldEdit* text5;
    QComboBox* combo1;
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
    QPushButton* pushButton9;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void connectInputs();
    void checkNumeric(FieldEdit* field, const QString& putBack);

    WindowServices m_services;
    bool m_checkingField = false;
};
