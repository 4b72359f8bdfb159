#pragma once

#include "main_window/listbox.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

class FormActions;
class PassNotice;
class QPushButton;
class QRadioButton;
class Form2;
class MapLink;
class ReportLink;
class WindowHost;

// The main window: the criteria, the ship and file lists, the three commands
// and the ship photograph. It is the engine's host for the whole run.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);   // runs the start-up steps (Load)
    ~Form1() override;

    // Controls, public, named as everywhere else in the program; indices that
    // belong to no control stay nullptr.
    std::array<QLineEdit *, 15> Text1{};        // 0, 4..14
    std::array<QLabel *, 19> Label1{};          // 0, 4..18
    std::array<QCheckBox *, 3> Check1{};
    std::array<QFrame *, 3> Frame1{};
    std::array<QRadioButton *, 4> Option1{};    // 0, 2, 3
    std::array<QLabel *, 3> Image1{};
    QPushButton *Command1 = nullptr, *Command2 = nullptr;
    QLabel *Label2 = nullptr, *Label3 = nullptr;
    QLabel *Picture1 = nullptr;                 // ship photograph box
    ListBox *List1 = nullptr, *List2 = nullptr;
    QComboBox *Combo1 = nullptr;

    void setPic(const QString &mmsi);
    // What "end the program" does; the default ends the process. Tests replace it.
    void setExitHandler(std::function<void()> handler);
    bool passRunning() const;                   // a Search, ship selection or Open read is under way
    Form2 *viewWindow();                        // the view window, created hidden on first use
    PassNotice *passNotice() const { return m_notice; }
    MapLink *mapLink() const { return m_mapLink; }
    FormActions *actions() const { return m_actions; }
    // Runs `pass` as the main window's commands run: Escape stops it, the
    // notice line says what it left unread.
    void runPass(const std::function<void()> &pass);
    ReportLink *reportLink() const { return m_reportLink; }
    // The desktop's open action for the KML view; tests put in their own.
    void setShellOpener(std::function<bool(const QString &)> opener);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createAreaRow(int k, int latIndex, int lonIndex, int rangeIndex, int nLabel, int eLabel, int rangeLabel);
    void chainTabOrder();
    void load();
    void readSettings();
    void writeSettings();
    void runCommand(void (*command)());
    void runPass(const std::function<void()> &pass, bool search);
    void exitProgram();
    void viewWindowUnloaded();

    std::unique_ptr<WindowHost> m_host;
    std::unique_ptr<Form2> m_form2;
    QButtonGroup *m_options = nullptr;
    PassNotice *m_notice = nullptr;
    MapLink *m_mapLink = nullptr;
    FormActions *m_actions = nullptr;
    ReportLink *m_reportLink = nullptr;
    std::function<void()> m_exitHandler;
    int m_passDepth = 0;
    bool m_closing = false;
};
